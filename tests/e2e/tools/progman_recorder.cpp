// A stand-in for Program Manager: serves DDE service and topic "PROGMAN",
// writes every execute command to a log, one per line, as it arrives, and
// answers the group-list request with the text of a reply file, and a
// request for a group's contents with the text of REPLYFILE.<group name>
// when that file exists.
//
//   progman_recorder LOGFILE REPLYFILE STOPFILE [CONVLOG] [--silent]
//
// Prints "ready" once the service is registered. Ends when STOPFILE exists
// or its window gets WM_CLOSE. CONVLOG, when given, gets "connect" and
// "disconnect" lines, so a test can count conversations. --silent accepts
// conversations but never answers a request or a command (each is still
// logged), as a Program Manager that hangs would.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static DWORD idinst;
static HSZ hsz_progman;
static FILE* log_file;
static FILE* conv_file;
static std::string reply;
static std::string reply_path;
static bool silent;

static void log_line(FILE* f, const char* text)
{
    if (f == nullptr)
        return;
    fputs(text, f);
    fputc('\n', f);
    fflush(f);
}

static bool read_file(const char* path, std::string* out);

static HDDEDATA CALLBACK server_callback(UINT type, UINT fmt, HCONV, HSZ hsz1, HSZ hsz2,
                                         HDDEDATA hdata, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        // hsz1 is the topic, hsz2 the service.
        return reinterpret_cast<HDDEDATA>(
            static_cast<ULONG_PTR>(DdeCmpStringHandles(hsz1, hsz_progman) == 0));
    case XTYP_CONNECT_CONFIRM:
        log_line(conv_file, "connect");
        return nullptr;
    case XTYP_DISCONNECT:
        log_line(conv_file, "disconnect");
        return nullptr;
    case XTYP_EXECUTE: {
        DWORD cb = DdeGetData(hdata, nullptr, 0, 0);
        std::vector<char> text(cb + 1, '\0');
        DdeGetData(hdata, reinterpret_cast<LPBYTE>(text.data()), cb, 0);
        log_line(log_file, text.data());
        if (silent)
            return CBR_BLOCK;
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    }
    case XTYP_REQUEST: {
        if (fmt != CF_TEXT)
            return nullptr;
        if (silent)
            return CBR_BLOCK;
        std::string text = reply;
        if (DdeCmpStringHandles(hsz2, hsz_progman) != 0) {
            char item[512] = "";
            DdeQueryStringA(idinst, hsz2, item, sizeof item, CP_WINANSI);
            text.clear();
            if (!read_file((reply_path + "." + item).c_str(), &text))
                return nullptr;
        }
        return DdeCreateDataHandle(idinst,
                                   reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                                   static_cast<DWORD>(text.size() + 1), 0, hsz2, CF_TEXT, 0);
    }
    default:
        return nullptr;
    }
}

static LRESULT CALLBACK recorder_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

static bool read_file(const char* path, std::string* out)
{
    FILE* f = fopen(path, "rb");
    if (f == nullptr)
        return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    fclose(f);
    return true;
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: progman_recorder LOGFILE REPLYFILE STOPFILE [CONVLOG] [--silent]\n");
        return 2;
    }
    if (strcmp(argv[argc - 1], "--silent") == 0) {
        silent = true;
        --argc;
    }
    const char* stop_path = argv[3];
    reply_path = argv[2];
    if (!read_file(argv[2], &reply)) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    log_file = fopen(argv[1], "wb");
    if (log_file == nullptr) {
        fprintf(stderr, "cannot write %s\n", argv[1]);
        return 2;
    }
    if (argc > 4)
        conv_file = fopen(argv[4], "wb");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = recorder_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "progman_recorder";
    RegisterClassA(&wc);
    CreateWindowA("progman_recorder", "progman_recorder", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                  nullptr, wc.hInstance, nullptr);

    if (DdeInitializeA(&idinst, server_callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS |
                                                     CBF_SKIP_UNREGISTRATIONS,
                       0) != DMLERR_NO_ERROR) {
        fprintf(stderr, "DdeInitialize failed\n");
        return 1;
    }
    hsz_progman = DdeCreateStringHandleA(idinst, "PROGMAN", CP_WINANSI);
    if (hsz_progman == nullptr || DdeNameService(idinst, hsz_progman, nullptr, DNS_REGISTER) == nullptr) {
        fprintf(stderr, "DdeNameService failed\n");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);

    SetTimer(nullptr, 0, 100, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr &&
            GetFileAttributesA(stop_path) != INVALID_FILE_ATTRIBUTES)
            break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DdeNameService(idinst, hsz_progman, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(idinst, hsz_progman);
    DdeUninitialize(idinst);
    fclose(log_file);
    if (conv_file != nullptr)
        fclose(conv_file);
    return 0;
}
