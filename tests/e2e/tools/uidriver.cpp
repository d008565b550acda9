// UI driver for the end-to-end tests: a console program that reads one command
// per line on stdin and answers exactly one line on stdout, "ok ..." or
// "err ...". Lists and control tables are answered as JSON on that one line.
//
// It talks to the setup program only through window messages, the way a user
// would, so what it sees is what a user sees. Reads use the wide-character
// calls: Wine marshals the ANSI list-box calls across processes badly.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION child{};  // the program started with "start", if any
HWND current = nullptr;        // the dialog the control commands act on
HANDLE held = INVALID_HANDLE_VALUE;   // a file kept open, as a virus scanner would

std::string utf8(const wchar_t* w, int len = -1)
{
    if (len == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, len, &s[0], n, nullptr, nullptr);
    if (len < 0 && !s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

std::wstring wide(const std::string& s)
{
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string json_str(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void reply(const std::string& line)
{
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

// Window text of a window of another process (WM_GETTEXT is marshalled).
std::string window_text(HWND h)
{
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len))
        return std::string();
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    return utf8(buf.data());
}

std::string class_name(HWND h)
{
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, static_cast<int>(std::size(buf)));
    return utf8(buf);
}

bool belongs_to_child(HWND h)
{
    if (!child.hProcess) return true;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid == child.dwProcessId;
}

struct PageQuery {
    std::vector<int> need;     // control ids the dialog must have
    std::vector<int> refuse;   // control ids it must not have
    std::string caption;       // substring of the caption, empty: any
    bool any_state = false;    // also disabled dialogs (an owner under a modal one)
    HWND found = nullptr;
};

BOOL CALLBACK match_page(HWND h, LPARAM lp)
{
    auto* q = reinterpret_cast<PageQuery*>(lp);
    if (class_name(h) != "#32770" || !IsWindowVisible(h)) return TRUE;
    if (!q->any_state && !IsWindowEnabled(h)) return TRUE;
    if (!belongs_to_child(h)) return TRUE;
    for (int id : q->need)
        if (!GetDlgItem(h, id)) return TRUE;
    for (int id : q->refuse)
        if (GetDlgItem(h, id)) return TRUE;
    if (!q->caption.empty() && window_text(h).find(q->caption) == std::string::npos) return TRUE;
    q->found = h;
    return FALSE;
}

// "1,2,!3" -> need {1,2}, refuse {3}; "-" means no condition.
bool parse_ids(const std::string& s, PageQuery& q)
{
    if (s == "-") return true;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t end = s.find(',', pos);
        if (end == std::string::npos) end = s.size();
        std::string tok = s.substr(pos, end - pos);
        bool neg = !tok.empty() && tok[0] == '!';
        if (neg) tok.erase(0, 1);
        char* stop = nullptr;
        long v = strtol(tok.c_str(), &stop, 10);
        if (tok.empty() || *stop) return false;
        (neg ? q.refuse : q.need).push_back(static_cast<int>(v));
        pos = end + 1;
    }
    return true;
}

bool child_exited()
{
    return child.hProcess && WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0;
}

// A window handle as the answers spell it and as the commands take it back:
// all of its pointer-sized bits, in both builds.
std::string hex(HWND h)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%08llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)));
    return buf;
}

HWND from_hex(const std::string& s)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(strtoull(s.c_str(), nullptr, 16)));
}

// Why the current dialog cannot be acted on, or empty. A page ends with
// EndDialog, which hides it at once and destroys it later; a modal dialog over
// it disables it. A person cannot click either, and a click sent to a hidden
// page would run its handler a second time. Reads stay allowed on a covered
// page (a test may look at the page under its question).
std::string not_current()
{
    if (!current) return "err no current dialog";
    if (!IsWindow(current)) return "err page gone";
    return std::string();
}

std::string no_input()
{
    std::string err = not_current();
    if (err.empty() && !IsWindowVisible(current)) err = "err page gone";
    if (err.empty() && !IsWindowEnabled(current)) err = "err page disabled";
    return err;
}

// Splits off the first whitespace-separated word; the remainder keeps its inner blanks.
std::string next_word(std::string& rest)
{
    size_t b = rest.find_first_not_of(' ');
    if (b == std::string::npos) { rest.clear(); return std::string(); }
    size_t e = rest.find(' ', b);
    std::string w = rest.substr(b, e == std::string::npos ? std::string::npos : e - b);
    rest = e == std::string::npos ? std::string() : rest.substr(e + 1);
    return w;
}

bool to_int(const std::string& s, long& v)
{
    if (s.empty()) return false;
    char* stop = nullptr;
    v = strtol(s.c_str(), &stop, 0);
    return *stop == '\0';
}

HWND control(const std::string& word, std::string& err)
{
    long id = 0;
    if (!(err = not_current()).empty()) return nullptr;
    if (!to_int(word, id)) { err = "err bad control id"; return nullptr; }
    HWND h = GetDlgItem(current, static_cast<int>(id));
    if (!h) err = "err no control " + word;
    return h;
}

LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD timeout = 5000)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, timeout, &r)) return LB_ERR;
    return static_cast<LRESULT>(r);
}

// Clicks and commands a page has not finished handling, by page. A click is
// handled where the program's thread next looks at its messages: a click
// that opened a modal dialog (the component page's samples) is finished only
// when that dialog has closed and the page's handler has returned. A second
// click sent to the page before then was handled inside the program's own
// loop of the first (its queue drained after the dialog), and a page that
// ended there lost the wake-up of its own loop: hidden, its owner enabled,
// the loop waiting for ever with no page on the screen. A person's second
// click waits in the queue until the first is done; so does the driver's.
std::map<HWND, int> unfinished;

void CALLBACK sent_done(HWND, UINT, ULONG_PTR page, LRESULT)
{
    auto it = unfinished.find(reinterpret_cast<HWND>(page));
    if (it != unfinished.end() && --it->second <= 0) unfinished.erase(it);
}

// Waits until the page has finished every earlier click, up to ms; the
// answers come in as the driver looks at its own messages.
bool page_idle(HWND page, DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        if (!unfinished.count(page)) return true;
        if (!IsWindow(page)) {   // a page that is gone finishes nothing more
            unfinished.erase(page);
            return true;
        }
        if (GetTickCount() - start >= ms) return false;
        Sleep(2);
    }
}

// A message that opens a modal dialog is not answered until that dialog
// closes; the short wait keeps plain clicks synchronous (the next command sees
// their effect) and lets the others go on in the background.
std::string send_briefly(HWND page, HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    if (!page_idle(page, 10000)) return "err page busy";
    if (!SendMessageCallbackW(h, msg, wp, lp, sent_done, reinterpret_cast<ULONG_PTR>(page)))
        return "err send";
    ++unfinished[page];
    return page_idle(page, 300) ? "ok" : "ok pending";
}

std::string rect_text(const RECT& r)
{
    char buf[96];
    snprintf(buf, sizeof buf, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    return buf;
}

std::string list_items(HWND h)
{
    LRESULT n = send(h, LB_GETCOUNT, 0, 0);
    if (n == LB_ERR) return "err no list";
    std::string out = "ok [";
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT len = send(h, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len == LB_ERR) return "err cannot read item";
        std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
        send(h, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
        if (i) out += ",";
        out += json_str(utf8(buf.data()));
    }
    return out + "]";
}

struct ControlList {
    HWND dlg;
    std::string json;
};

BOOL CALLBACK add_control(HWND h, LPARAM lp)
{
    auto* cl = reinterpret_cast<ControlList*>(lp);
    if (GetParent(h) != cl->dlg) return TRUE;
    RECT r;
    GetWindowRect(h, &r);
    char head[160];
    snprintf(head, sizeof head, "{\"id\":%d,\"enabled\":%d,\"visible\":%d,\"rect\":[%ld,%ld,%ld,%ld],",
             GetDlgCtrlID(h), IsWindowEnabled(h) ? 1 : 0, IsWindowVisible(h) ? 1 : 0,
             r.left, r.top, r.right, r.bottom);
    if (cl->json.size() > 1) cl->json += ",";
    cl->json += head;
    cl->json += "\"class\":" + json_str(class_name(h)) + ",\"text\":" + json_str(window_text(h)) + "}";
    return TRUE;
}

struct WindowList {
    std::string json = "[";
};

BOOL CALLBACK add_window(HWND h, LPARAM lp)
{
    auto* wl = reinterpret_cast<WindowList*>(lp);
    if (!IsWindowVisible(h) || !belongs_to_child(h)) return TRUE;
    RECT r;
    GetWindowRect(h, &r);
    char head[120];
    snprintf(head, sizeof head, "{\"hwnd\":\"%s\",\"enabled\":%d,\"rect\":[%ld,%ld,%ld,%ld],",
             hex(h).c_str(), IsWindowEnabled(h) ? 1 : 0, r.left, r.top, r.right, r.bottom);
    if (wl->json.size() > 1) wl->json += ",";
    wl->json += head;
    wl->json += "\"class\":" + json_str(class_name(h)) + ",\"text\":" + json_str(window_text(h)) + "}";
    return TRUE;
}

HKEY root_key(const std::string& s)
{
    if (s == "HKLM" || s == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (s == "HKCU" || s == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (s == "HKCR" || s == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (s == "HKU" || s == "HKEY_USERS") return HKEY_USERS;
    return nullptr;
}

// "regread HKLM <key>|<value>": the bar separates key and value names, both of
// which may hold blanks; an empty value name reads the key's default value.
std::string reg_read(std::string rest)
{
    HKEY root = root_key(next_word(rest));
    size_t bar = rest.rfind('|');
    if (!root || bar == std::string::npos) return "err usage: regread ROOT key|value";
    std::wstring key = wide(rest.substr(0, bar)), name = wide(rest.substr(bar + 1));
    HKEY h;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "err no key";
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + 4, 0);
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return "err no value";
    char head[64];
    if (type == REG_DWORD) {
        DWORD v;
        memcpy(&v, data.data(), sizeof v);
        snprintf(head, sizeof head, "ok dword %lu", static_cast<unsigned long>(v));
        return head;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // The size tells whether the writer stored the terminating zero: report it.
        snprintf(head, sizeof head, "ok %s %lu ", type == REG_SZ ? "sz" : "expand_sz",
                 static_cast<unsigned long>(size));
        int chars = static_cast<int>(size / 2);
        const wchar_t* text = reinterpret_cast<wchar_t*>(data.data());
        if (chars > 0 && text[chars - 1] == L'\0') --chars;
        return head + json_str(utf8(text, chars));
    }
    std::string out = "ok binary ";
    for (DWORD i = 0; i < size; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    return out;
}

std::string start(std::string rest)
{
    if (child.hProcess) return "err already started";
    // "start <exe>|<working directory>[|<arguments>]": paths with blanks are allowed.
    size_t bar = rest.find('|');
    size_t bar2 = bar == std::string::npos ? std::string::npos : rest.find('|', bar + 1);
    std::wstring exe = wide(rest.substr(0, bar));
    std::wstring dir = bar == std::string::npos ? std::wstring() : wide(rest.substr(bar + 1, bar2 == std::string::npos ? std::string::npos : bar2 - bar - 1));
    std::wstring cmd = L"\"" + exe + L"\"";
    if (bar2 != std::string::npos) cmd += L" " + wide(rest.substr(bar2 + 1));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &child)) {
        child = PROCESS_INFORMATION{};
        return "err CreateProcess " + std::to_string(GetLastError());
    }
    return "ok " + std::to_string(child.dwProcessId);
}

// "adopt <ms>": the process the started one started (the uninstaller's
// copy of itself) becomes the one whose dialogs are seen, whose exit code
// is read and which "kill" ends.
std::string adopt(std::string rest)
{
    long timeout = 0;
    if (!to_int(next_word(rest), timeout)) return "err bad timeout";
    if (!child.hProcess) return "err no process";
    DWORD until = GetTickCount() + static_cast<DWORD>(timeout);
    for (;;) {
        DWORD found = 0;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32W pe;
            pe.dwSize = sizeof pe;
            for (BOOL ok = Process32FirstW(snap, &pe); ok && !found; ok = Process32NextW(snap, &pe))
                if (pe.th32ParentProcessID == child.dwProcessId) found = pe.th32ProcessID;
            CloseHandle(snap);
        }
        if (found) {
            HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, found);
            if (!h) return "err open " + std::to_string(GetLastError());
            CloseHandle(child.hProcess);
            CloseHandle(child.hThread);
            child = PROCESS_INFORMATION{};
            child.hProcess = h;
            child.dwProcessId = found;
            return "ok " + std::to_string(found);
        }
        if (static_cast<LONG>(GetTickCount() - until) >= 0) return "err timeout";
        Sleep(20);
    }
}

std::string wait_page(std::string rest)
{
    long timeout = 0;
    if (!to_int(next_word(rest), timeout)) return "err bad timeout";
    PageQuery q;
    bool fine = false;
    std::string ids = next_word(rest);
    for (;;) {
        if (ids == "+any") q.any_state = true;
        else if (ids == "+fine") fine = true;
        else break;
        ids = next_word(rest);
    }
    if (!parse_ids(ids, q)) return "err bad id list";
    q.caption = rest;
    DWORD until = GetTickCount() + static_cast<DWORD>(timeout);
    DWORD last_full = 0;
    DWORD changed_at = GetTickCount() - 1000;
    HWND last_active = nullptr;
    for (;;) {
        // A whole look (every window, several server calls each) every 50 ms.
        // With +fine (timings) the foreground window alone is looked at every
        // 2 ms for a while after it changes: a page takes the foreground a
        // moment before it may be complete (controls, caption), and is seen
        // within 2 ms of being so. Whole looks every 2 ms took some 7 % of a
        // drive search timed on the same core.
        HWND active = GetForegroundWindow();
        if (active != last_active) {
            last_active = active;
            changed_at = GetTickCount();
        }
        q.found = nullptr;
        if (!fine || GetTickCount() - last_full >= 50) {
            last_full = GetTickCount();
            EnumWindows(match_page, reinterpret_cast<LPARAM>(&q));
            if (!q.found && child_exited()) return "err process exited";
        } else if (active && GetTickCount() - changed_at < 250) {
            match_page(active, reinterpret_cast<LPARAM>(&q));
        }
        if (q.found) {
            current = q.found;
            return "ok " + hex(q.found) + " " + window_text(q.found);
        }
        if (static_cast<LONG>(GetTickCount() - until) >= 0) return "err timeout";
        Sleep(fine ? 2 : 50);
    }
}

std::string wait_gone(std::string rest)
{
    long timeout = 0;
    if (!to_int(next_word(rest), timeout)) return "err bad timeout";
    HWND h = current;
    bool fine = false;
    std::string w = next_word(rest);
    if (w == "+fine") { fine = true; w = next_word(rest); }
    if (!w.empty()) h = from_hex(w);
    DWORD until = GetTickCount() + static_cast<DWORD>(timeout);
    // Each look is a server call on the core the timed program runs on: with
    // +fine (timings) a look every 10 ms, at most 1 % of a one-second copy
    // late; a look every 2 ms took some 4 % of the copy's own time.
    while (h && IsWindowVisible(h)) {   // false too for a window that is gone
        if (static_cast<LONG>(GetTickCount() - until) >= 0) return "err timeout";
        Sleep(fine ? 10 : 50);
    }
    return "ok";
}

std::string exit_code(std::string rest)
{
    long timeout = 0;
    if (!to_int(next_word(rest), timeout)) return "err bad timeout";
    if (!child.hProcess) return "err no process";
    if (WaitForSingleObject(child.hProcess, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0)
        return "err timeout";
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    return "ok " + std::to_string(code);
}

// Posted rather than sent: a key that opens an alert would otherwise keep the
// driver waiting for as long as the alert stays open.
std::string key(std::string rest)
{
    if (std::string err = no_input(); !err.empty()) return err;
    std::string k = next_word(rest);
    HWND target = current;
    std::string w = next_word(rest);
    if (!w.empty()) {
        long id;
        if (!to_int(w, id) || !(target = GetDlgItem(current, static_cast<int>(id)))) return "err no control";
    }
    if (k == "esc" || k == "enter") {
        WPARAM vk = k == "esc" ? VK_ESCAPE : VK_RETURN;
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    } else if (k == "altf4") {
        PostMessageW(current, WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(0x20000001u));
        PostMessageW(current, WM_SYSKEYUP, VK_F4, static_cast<LPARAM>(0xE0000001u));
    } else if (k == "close") {
        PostMessageW(current, WM_CLOSE, 0, 0);
    } else if (k == "sysclose") {
        PostMessageW(current, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        return "err unknown key";
    }
    return "ok";
}

std::string dispatch(const std::string& line)
{
    std::string rest = line;
    std::string cmd = next_word(rest);
    std::string err;

    if (cmd == "start") return start(rest);
    if (cmd == "adopt") return adopt(rest);
    if (cmd == "wait_page") return wait_page(rest);
    if (cmd == "wait_gone") return wait_gone(rest);
    if (cmd == "exitcode") return exit_code(rest);
    if (cmd == "key") return key(rest);
    if (cmd == "regread") return reg_read(rest);
    if (cmd == "hold" || cmd == "holdread" || cmd == "release") {
        // A file open with no sharing (or, holdread, shared for reading only,
        // as a program keeps a document it shows), or no longer.
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = cmd == "release" ? INVALID_HANDLE_VALUE
                                : CreateFileW(wide(rest).c_str(), GENERIC_READ, cmd == "holdread" ? FILE_SHARE_READ : 0,
                                              nullptr, OPEN_EXISTING, 0, nullptr);
        return cmd != "release" && held == INVALID_HANDLE_VALUE ? "err cannot open" : "ok";
    }
    if (cmd == "metrics") {
        char buf[128];
        snprintf(buf, sizeof buf, "ok %d %d %d %d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN));
        return buf;
    }
    if (cmd == "drive") {
        std::wstring root = wide(rest);
        ULARGE_INTEGER avail{}, total{}, free{};
        UINT type = GetDriveTypeW(root.c_str());
        if (!GetDiskFreeSpaceExW(root.c_str(), &avail, &total, &free)) return "err no drive";
        char buf[96];
        snprintf(buf, sizeof buf, "ok %u %llu %llu", type, static_cast<unsigned long long>(avail.QuadPart),
                 static_cast<unsigned long long>(total.QuadPart));
        return buf;
    }
    if (cmd == "windows") {
        WindowList wl;
        EnumWindows(add_window, reinterpret_cast<LPARAM>(&wl));
        return "ok " + wl.json + "]";
    }
    if (cmd == "kill") {
        if (child.hProcess && !child_exited()) TerminateProcess(child.hProcess, 255);
        return "ok";
    }
    if (cmd == "use") {
        HWND h = from_hex(next_word(rest));
        if (!IsWindow(h)) return "err no window";
        current = h;
        return "ok";
    }

    // The setup window is no dialog: these take any window by its handle.
    if (cmd == "clientrect" || cmd == "move" || cmd == "redraw") {
        HWND h = from_hex(next_word(rest));
        if (!IsWindow(h)) return "err no window";
        // Wine keeps a picture of every top-level window, so uncovering one
        // repaints nothing; this asks for the repaint Windows would.
        if (cmd == "redraw")
            return RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE) ? "ok" : "err redraw";
        if (cmd == "clientrect") {
            RECT r;
            GetClientRect(h, &r);
            MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&r), 2);
            return "ok " + rect_text(r);
        }
        long x, y;
        if (!to_int(next_word(rest), x) || !to_int(next_word(rest), y)) return "err bad position";
        if (!SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)) return "err move";
        return "ok";
    }

    if (!(err = not_current()).empty()) return err;
    if (cmd == "caption") return "ok " + window_text(current);
    if (cmd == "controls") {
        ControlList cl{current, "["};
        EnumChildWindows(current, add_control, reinterpret_cast<LPARAM>(&cl));
        return "ok " + cl.json + "]";
    }

    std::string idword = next_word(rest);
    if (cmd == "rect" && idword.empty()) {
        RECT r;
        GetWindowRect(current, &r);
        return "ok " + rect_text(r);
    }
    HWND h = control(idword, err);
    if (!h) return err;
    long id = 0;
    to_int(idword, id);
    if (cmd == "click" || cmd == "postclick" || cmd == "command" || cmd == "settext" ||
        cmd == "select" || cmd == "selecttext") {
        if (!(err = no_input()).empty()) return err;
    }

    if (cmd == "text") return "ok " + window_text(h);
    if (cmd == "class") return "ok " + class_name(h);
    if (cmd == "rect") {
        RECT r;
        GetWindowRect(h, &r);
        return "ok " + rect_text(r);
    }
    if (cmd == "enabled") return IsWindowEnabled(h) ? "ok 1" : "ok 0";
    if (cmd == "visible") return IsWindowVisible(h) ? "ok 1" : "ok 0";
    if (cmd == "checked") return "ok " + std::to_string(send(h, BM_GETCHECK, 0, 0));
    if (cmd == "items") return list_items(h);
    if (cmd == "cursel") return "ok " + std::to_string(send(h, LB_GETCURSEL, 0, 0));
    if (cmd == "click") {
        if (!IsWindowEnabled(h)) return "err disabled";
        return send_briefly(current, h, BM_CLICK, 0, 0);
    }
    if (cmd == "postclick") {
        // Queued as a person's click is: the driver goes on at once, free to
        // time how soon the program answers it.
        if (!IsWindowEnabled(h)) return "err disabled";
        return PostMessageW(h, BM_CLICK, 0, 0) ? "ok" : "err post";
    }
    if (cmd == "command")
        return send_briefly(current, current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(h));
    if (cmd == "settext") {
        std::wstring w = wide(rest);
        if (!send(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()))) return "err settext";
        return "ok";
    }
    if (cmd == "select" || cmd == "selecttext") {
        LRESULT index = 0;
        if (cmd == "select") {
            long v;
            if (!to_int(rest, v)) return "err bad index";
            index = v;
        } else {
            std::wstring w = wide(rest);
            index = send(h, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(w.c_str()));
            if (index == LB_ERR) return "err no such item";
        }
        if (send(h, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR && index != -1)
            return "err bad index";
        // LB_SETCURSEL sends no notification of its own; the page learns of the
        // change the way it does from a click.
        std::string sent = send_briefly(current, current, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
                                        reinterpret_cast<LPARAM>(h));
        return sent.rfind("err", 0) == 0 ? sent : "ok " + std::to_string(index);
    }
    return "err unknown command " + cmd;
}

}  // namespace

int main()
{
    char buf[4096];
    while (fgets(buf, sizeof buf, stdin)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        if (line == "quit") {
            reply("ok");
            break;
        }
        reply(dispatch(line));
    }
    if (child.hProcess) {
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    return 0;
}
