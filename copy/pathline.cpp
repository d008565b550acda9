// The copy page's two path lines while the copy runs.
//
// A static control paints through a device context it gets and gives back at
// every paint, its font chosen into it each time; under Wine on an X display
// each choice of a font also reads the user's X resources again, from disk
// when the display holds none. Even at one showing a frame that is a
// measurable share of the copy page of a fast install. For the
// life of the copy the lines are therefore subclassed: each keeps its text
// itself, answers WM_GETTEXT from it and paints it at once through a device
// context held until the copy ends, exactly as the static would draw it.
// When the copy ends the controls get their last text back the usual way.
#include "copy/pathline.h"

#include "common/setup.h"

#include <cstring>

namespace {

struct PathLine {
    HWND hwnd;
    WNDPROC static_proc;   // the control's own procedure, restored on release
    HDC dc;                // held while the copy runs
    HGDIOBJ oldfont;
    HBRUSH brush;          // the page's answer to WM_CTLCOLORSTATIC on dc
    bool widths_known;
    int width[256];        // advance of each character in the line's font
    char text[PATH_CCH];
};

PathLine lines[2];

PathLine* line_of(HWND hwnd)
{
    for (PathLine& l : lines)
        if (l.hwnd == hwnd)
            return &l;
    return nullptr;
}

// The parent's brush for the line, with its colours set on dc.
HBRUSH line_colours(HWND hwnd, HDC dc)
{
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageA(GetParent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(hwnd)));
    return brush ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

// Width of text in the line's font when it is simple: no tab to expand and
// the advances of the held DC known; -1 otherwise.
int simple_width(const PathLine& l, const char* text)
{
    if (!l.widths_known)
        return -1;
    int w = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '\t')
            return -1;
        w += l.width[*p];
    }
    return w;
}

// What a static with SS_LEFT | SS_NOPREFIX draws: the parent's brush and
// colours, the control's font, word-wrapped text clipped to the control.
// A text that fits the line is one run of glyphs at its top left corner, so
// it is put there directly; DrawText would measure it again at every file.
void paint(PathLine& l, HDC dc, HBRUSH brush)
{
    RECT rc;
    GetClientRect(l.hwnd, &rc);
    FillRect(dc, &rc, brush);
    int oldmode = SetBkMode(dc, TRANSPARENT);
    int w = dc == l.dc ? simple_width(l, l.text) : -1;
    if (w >= 0 && w <= rc.right)
        ExtTextOutA(dc, 0, 0, ETO_CLIPPED, &rc, l.text, static_cast<UINT>(strlen(l.text)), nullptr);
    else
        DrawTextA(dc, l.text, -1, &rc, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX);
    SetBkMode(dc, oldmode);
}

// Copies text into the line, refusing (and keeping the old text) what does
// not fit.
bool keep_text(PathLine& l, const char* text)
{
    size_t n = text ? strlen(text) : 0;
    if (n >= sizeof l.text)
        return false;
    memcpy(l.text, text ? text : "", n + 1);
    return true;
}

// Gives the control its procedure back and the held DC its font, releases
// the DC and forgets the line; returns what the line was.
PathLine let_go(PathLine& l)
{
    PathLine done = l;
    l = PathLine{};
    if (done.static_proc)
        SetWindowLongPtrA(done.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(done.static_proc));
    if (done.oldfont)
        SelectObject(done.dc, done.oldfont);
    ReleaseDC(done.hwnd, done.dc);
    return done;
}

LRESULT CALLBACK line_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PathLine* l = line_of(hwnd);
    if (!l)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_SETTEXT:
        if (!keep_text(*l, reinterpret_cast<const char*>(lParam)))
            return FALSE;
        // The page's colours are asked once per copy: under Wine each
        // question costs the themed dialog two server round trips.
        paint(*l, l->dc, l->brush);
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(strlen(l->text));
    case WM_GETTEXT: {
        char* out = reinterpret_cast<char*>(lParam);
        size_t cch = wParam;
        if (!out || cch == 0)
            return 0;
        size_t n = strlen(l->text);
        if (n >= cch)
            n = cch - 1;
        memcpy(out, l->text, n);
        out[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(hwnd, &ps)) {
            HGDIOBJ old = SelectObject(
                dc, reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0)));
            paint(*l, dc, line_colours(hwnd, dc));
            if (old)
                SelectObject(dc, old);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCDESTROY: {
        // Destroyed with the page before the copy gave it back.
        WNDPROC static_proc = let_go(*l).static_proc;
        return CallWindowProcA(static_proc, hwnd, msg, wParam, lParam);
    }
    default:
        return CallWindowProcA(l->static_proc, hwnd, msg, wParam, lParam);
    }
}

void attach(PathLine& l, HWND hwnd)
{
    l = PathLine{};
    if (!hwnd)
        return;
    HDC dc = GetDC(hwnd);
    if (!dc)
        return;   // the control stays a plain static
    GetWindowTextA(hwnd, l.text, sizeof l.text);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    l.oldfont = font ? SelectObject(dc, font) : nullptr;
    l.brush = line_colours(hwnd, dc);
    // One byte, one character: only then do the byte widths add up.
    CPINFO cp;
    l.widths_known = GetCPInfo(CP_ACP, &cp) && cp.MaxCharSize == 1 &&
                     GetCharWidth32A(dc, 0, 255, l.width);
    l.dc = dc;
    l.hwnd = hwnd;
    l.static_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(line_proc)));
    if (!l.static_proc)
        let_go(l);
}

void release(PathLine& l)
{
    if (!l.hwnd)
        return;
    PathLine done = let_go(l);
    // The static takes over the text the line showed last.
    SetWindowTextA(done.hwnd, done.text);
}

}  // namespace

void attach_path_lines(HWND src_line, HWND dst_line)
{
    release_path_lines();
    attach(lines[0], src_line);
    attach(lines[1], dst_line);
}

bool path_line_attached(HWND line)
{
    return line && line_of(line);
}

void release_path_lines()
{
    for (PathLine& l : lines)
        release(l);
}
