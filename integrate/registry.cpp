// Registry entries that make the installation known to the system: usage
// counts of the shared libraries, the document types, the application path
// and the uninstall entry. Failures are silent by design; a failed step only
// shortens its own block.
#include "integrate/integrate.h"
#include "copy/copy.h"
#include "common/path_join.h"
#include "common/registry_read.h"
#include "dialogs/dialogs.h"

#include <cstring>

REGROOTS reg_roots = {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
                      REG_PLATFORM_ASK};

static const char* const kname[3] = {"shell", "open", "command"};
static const char str_qlx[] = ".qlx";
static const char str_qpr[] = ".qpr";
static const char str_pcd[] = ".pcd";
static const char str_qlxfile[] = "qlxfile";
static const char str_qprfile[] = "qprfile";
static const char str_pcdfile[] = "pcdfile";
static const char str_quillon_document[] = "Quillon Document";
static const char str_quillon_setup[] = "Quillon Setup";
static const char str_lumen_pcd[] = "Kodak PhotoCD";
static const char str_defaulticon[] = "DefaultIcon";

static constexpr int VALUE_CCH = PATH_CCH;

DWORD reg_platform_id()
{
    if (reg_roots.platform != REG_PLATFORM_ASK)
        return reg_roots.platform;
    OSVERSIONINFOA vi;
    ZeroMemory(&vi, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
    if (!GetVersionExA(&vi))
        return VER_PLATFORM_WIN32_WINDOWS;
    return vi.dwPlatformId;
}

static BOOL create_key(HKEY parent, const char* name, HKEY* phkey)
{
    DWORD disp;
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, phkey, &disp) == ERROR_SUCCESS;
}

static BOOL set_string(HKEY hkey, const char* name, const char* value)
{
    return RegSetValueExA(hkey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(strlen(value) + 1)) == ERROR_SUCCESS;
}

static BOOL create_machine_key(const char* tail, HKEY* phkey)
{
    char name[WORK_CCH];
    return format_machine_key(reg_platform_id(), tail, name, WORK_CCH) &&
           create_key(reg_roots.machine, name, phkey);
}

// Other programs' uninstallers delete a library whose count reaches 0, so a
// count is only ever raised: little-endian in the width it is stored in, and
// one at its maximum stays there rather than wrapping to 0.
BOOL reg_increment(HKEY hkey, LPCSTR lpszSubKey)
{
    BYTE count[WORK_CCH] = {};
    DWORD type = 0;
    DWORD cb = sizeof count;
    LONG rc = RegQueryValueExA(hkey, lpszSubKey, nullptr, &type, count, &cb);
    if (rc == ERROR_MORE_DATA)
        return FALSE;   // no count this program knows how to raise; left as it is
    if (rc == ERROR_SUCCESS && cb > 0) {
        DWORD i = 0;
        while (i < cb && count[i] == 0xFF)
            ++i;
        if (i < cb) {
            ++count[i];
            memset(count, 0, i);
        }
        return RegSetValueExA(hkey, lpszSubKey, 0, type, count, cb) == ERROR_SUCCESS;
    }
    const DWORD one = 1;
    return RegSetValueExA(hkey, lpszSubKey, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                          sizeof one) == ERROR_SUCCESS;
}

BOOL shared_dll_value(int index, char* name, UINT cch)
{
    static const struct {
        bool in_system;
        const char* file;
    } shared[SHARED_DLL_COUNT] = {
        {true, "msvcrt20.dll"},  {true, "msvcrt40.dll"},  {true, "sx32w.dll"},
        {false, "twain.dll"},    {false, "twain_32.dll"}, {false, "twunk_16.exe"},
        {false, "twunk_32.exe"},
    };
    if (index < 0 || index >= SHARED_DLL_COUNT)
        return FALSE;
    char dir[WORK_CCH];
    UINT n = shared[index].in_system ? GetSystemDirectoryA(dir, WORK_CCH)
                                     : GetWindowsDirectoryA(dir, WORK_CCH);
    return n > 0 && n < WORK_CCH && BuildPath(dir, shared[index].file, name, cch) != 0;
}

BOOL reg_sharedll(INSPB*)
{
    HKEY hkey;
    if (!create_machine_key("SharedDLLs", &hkey))
        return FALSE;
    char name[WORK_CCH];
    // Once per installation, also when a kill made the next start finish it.
    for (int i = 0; i < SHARED_DLL_COUNT; ++i)
        if (shared_dll_value(i, name, WORK_CCH) && run_count_due(name))
            reg_increment(hkey, name);
    RegCloseKey(hkey);
    return TRUE;
}

// The document extension, with its "New" template in the user's templates folder.
static void reg_qlx_block(void)
{
    HKEY hext;
    if (!create_key(reg_roots.classes, str_qlx, &hext))
        return;
    HKEY hnew;
    if (set_string(hext, nullptr, str_qlxfile) && create_key(hext, "ShellNew", &hnew)) {
        char folder[PATH_CCH];
        BOOL have = get_from_registry(
            reg_roots.user, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
            "Templates", REG_SZ, reinterpret_cast<LPBYTE>(folder), sizeof folder);
        char value[VALUE_CCH];
        if (have && BuildPath(folder, "default.qlx", value, VALUE_CCH))
            set_string(hnew, "Filename", value);
        RegCloseKey(hnew);
    }
    RegCloseKey(hext);
}

// A file type with its open verb and, once that is written, its icon.
static void reg_type_block(const char* dst, const char* type, const char* desc, const char* exe,
                           int icon)
{
    HKEY htype;
    if (!create_key(reg_roots.classes, type, &htype))
        return;
    if (set_string(htype, nullptr, desc)) {
        HKEY hverb[3];
        int n = 0;
        while (n < 3 && create_key(n == 0 ? htype : hverb[n - 1], kname[n], &hverb[n]))
            ++n;
        char value[VALUE_CCH];
        BOOL written = n == 3 && format_open_command(dst, exe, value, VALUE_CCH) &&
                       set_string(hverb[2], nullptr, value);
        while (n > 0)
            RegCloseKey(hverb[--n]);
        HKEY hicon;
        if (written && create_key(htype, str_defaulticon, &hicon)) {
            if (format_icon_ref(dst, exe, icon, value, VALUE_CCH))
                set_string(hicon, nullptr, value);
            RegCloseKey(hicon);
        }
    }
    RegCloseKey(htype);
}

// An extension naming its file type.
static void reg_ext_block(const char* ext, const char* type)
{
    HKEY hext;
    if (!create_key(reg_roots.classes, ext, &hext))
        return;
    set_string(hext, nullptr, type);
    RegCloseKey(hext);
}

BOOL reg_classinfo(INSPB* pp)
{
    const char* dst = pp->szDst;
    reg_qlx_block();
    reg_type_block(dst, str_qlxfile, str_quillon_document, "quillon.exe", 1);
    reg_ext_block(str_qpr, str_qprfile);
    reg_type_block(dst, str_qprfile, str_quillon_setup, "quillon.exe", 2);
    reg_ext_block(str_pcd, str_pcdfile);
    reg_type_block(dst, str_pcdfile, str_lumen_pcd, "lumen.exe", 1);

    HKEY happ;
    if (!create_machine_key("App Paths\\QUILLON.EXE", &happ))
        return FALSE;
    char value[VALUE_CCH];
    BOOL ok = BuildPath(dst, "quillon.exe", value, VALUE_CCH) &&
              set_string(happ, nullptr, value) && set_string(happ, "Path", dst);
    RegCloseKey(happ);
    return ok;
}

BOOL reg_uinstall(INSPB* pp, GROUP* pgrp)
{
    HKEY hkey;
    if (!create_machine_key("Uninstall\\Quillon", &hkey))
        return FALSE;
    char value[WORK_CCH];
    BOOL ok = set_string(hkey, "DisplayName", "Zelbrin Quillon") &&
              format_uninstall(pp->szDst, pgrp->new_ ? pgrp->szGroup : nullptr, value,
                               WORK_CCH) &&
              set_string(hkey, "UnInstallString", value);
    RegCloseKey(hkey);
    return ok;
}

BOOL update_registry(INSPB* pp, GROUP* pgrp)
{
    if (reg_sharedll(pp) && reg_classinfo(pp))
        reg_uinstall(pp, pgrp);
    return TRUE;
}
