// The uninstaller's own file. A running program cannot delete its own file,
// so the program started from the installation copies itself into the
// temporary directory and starts that copy, which does the work. The
// original waits until the copy says that all but its file is done (so a
// caller that waits for the uninstall, such as "Add/Remove Programs", sees
// it end then) and ends; the copy waits for that end and deletes the
// original's file. The copy's own file is marked for removal at the next
// restart by the original before it is even written, so it goes however
// the copy ends (Windows 95 has no such mark: there it stays in the
// temporary directory).
//
// Killed before it hands over, nothing has happened but that. A copy killed
// at any point leaves the original's file in place (it goes last of all),
// so the user can start the uninstall again.
//
// The one-run lock (common/run_lock.h) is taken by the process that does
// the work, the copy, at its start: a mutex cannot change hands, and the
// original, which holds nothing, only waits, so neither can wait for the
// other. Until the copy has the lock nothing has been read or changed, so a
// setup that starts first only makes the copy say so and end.
#include "uninstall/uninstall.h"
#include "common/at_restart.h"
#include "common/directories.h"

#include <cstdio>
#include <cstring>

// How the original tells its copy where it runs: its process, the event to
// set, its file. In the environment, so the command line stays the one setup wrote.
static const char ORIGIN_VARIABLE[] = "QUILLON_UNINSTALL_ORIGIN";

// Waiting for the original to end once it was told to: it ends at once.
constexpr DWORD ORIGIN_END_WAIT = 60000;

typedef DWORD(WINAPI* LONGPATHPROC)(LPCSTR, LPSTR, DWORD);

// The long names of every level: started as C:\PROGRA~1\QUILLON\UINSTALL.EXE
// the registry's and Program Manager's paths would not match. Windows 95
// and NT 4 have no such call; there the path stays as given.
static void use_long_names(char* path, size_t cch)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto long_path = kernel ? reinterpret_cast<LONGPATHPROC>(GetProcAddress(kernel, "GetLongPathNameA"))
                            : nullptr;
    char out[PATH_CCH];
    if (long_path != nullptr) {
        DWORD n = long_path(path, out, sizeof out);
        if (n > 0 && n < sizeof out && n < cch)
            strcpy(path, out);
    }
}

static bool set_where(ORIGIN* where, const char* exe)
{
    if (strlen(exe) >= sizeof where->exe || !is_full_path(exe))
        return false;
    strcpy(where->exe, exe);
    use_long_names(where->exe, sizeof where->exe);
    strcpy(where->dir, where->exe);
    char* last = strrchr(where->dir, '\\');
    if (last == nullptr)
        return false;
    *(last == where->dir + 2 ? last + 1 : last) = '\0';   // "C:\" keeps its backslash
    return true;
}

bool here(ORIGIN* where, const char* exe)
{
    *where = ORIGIN();
    return set_where(where, exe);
}

bool hand_over(const char* exe, const char* cmdline, int* code)
{
    char tmp[PATH_CCH];
    char copy[PATH_CCH];
    DWORD n = GetTempPathA(sizeof tmp, tmp);
    if (n == 0 || n >= sizeof tmp || GetTempFileNameA(tmp, "qun", 0, copy) == 0)
        return false;
    // Marked before it is filled: however the copy ends, killed or not even
    // started, its file goes at the next restart.
    delete_at_restart(copy);
    if (!CopyFileA(exe, copy, FALSE)) {
        DeleteFileA(copy);
        return false;
    }
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE done = CreateEventA(&sa, TRUE, FALSE, nullptr);
    char origin[WORK_CCH];
    std::string command = std::string("\"") + copy + "\" " + (cmdline ? cmdline : "");
    PROCESS_INFORMATION pi;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    // The copy works in the temporary directory: a current directory in the
    // installation would keep it from being removed.
    bool started = done != nullptr &&
                   snprintf(origin, sizeof origin, "%lu|%llu|%s", GetCurrentProcessId(),
                            static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(done)),
                            exe) < static_cast<int>(sizeof origin) &&
                   SetEnvironmentVariableA(ORIGIN_VARIABLE, origin) &&
                   CreateProcessA(copy, &command[0], nullptr, nullptr, TRUE, 0, nullptr, tmp, &si,
                                  &pi);
    SetEnvironmentVariableA(ORIGIN_VARIABLE, nullptr);
    if (!started) {
        if (done)
            CloseHandle(done);
        DeleteFileA(copy);
        return false;
    }
    CloseHandle(pi.hThread);
    HANDLE both[2] = {done, pi.hProcess};
    DWORD ended = EXIT_DONE;
    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &ended);
    CloseHandle(pi.hProcess);
    CloseHandle(done);
    *code = static_cast<int>(ended);
    return true;
}

bool taken_over(ORIGIN* origin)
{
    *origin = ORIGIN();
    char text[WORK_CCH];
    DWORD n = GetEnvironmentVariableA(ORIGIN_VARIABLE, text, sizeof text);
    // Nothing this process starts is to take it for an original.
    SetEnvironmentVariableA(ORIGIN_VARIABLE, nullptr);
    if (n == 0 || n >= sizeof text)
        return false;
    unsigned long pid = 0;
    unsigned long long event = 0;
    int used = 0;
    if (sscanf(text, "%lu|%llu|%n", &pid, &event, &used) != 2 || used == 0 ||
        !set_where(origin, text + used))
        return false;
    origin->copy = true;
    origin->done = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(event));
    origin->process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    return true;
}

void let_origin_go(ORIGIN* origin)
{
    if (origin->done != nullptr) {
        SetEvent(origin->done);
        CloseHandle(origin->done);
        origin->done = nullptr;
    }
    if (origin->process != nullptr) {
        WaitForSingleObject(origin->process, ORIGIN_END_WAIT);
        CloseHandle(origin->process);
        origin->process = nullptr;
    }
}

void remove_at_restart(const char* path)
{
    if (!DeleteFileA(path))
        delete_at_restart(path);
}
