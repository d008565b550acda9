// The resource catalogue as linked into the program: every template and
// string the pages look up must exist in each interface language, with the
// controls, buttons and texts the code relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dialogs/dialogs.h"
#include "ui/ui.h"

namespace {

struct Item {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = -1;  // -1 for the controls the program never addresses
    std::wstring cls;   // class name, or "#n" for a predefined class ordinal
    std::wstring text;  // title, or "#n" for a resource ordinal (icons)
};

struct Dialog {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption;
    std::vector<Item> items;
};

struct Lang {
    WORD id;
    const char* name;
};
const Lang kLangs[] = {{1033, "en"}, {7, "de"}, {12, "fr"}, {5, "cs"}};

const WORD kPages[] = {1, 2, 3, 4, 5, 6, 8, 9, 11};
const WORD kAlerts[] = {0, 1, 2, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};

const WORD* align4(const WORD* p)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
}

// A name field of a template: nothing, an ordinal, or a NUL-terminated string.
std::wstring read_sz_or_ord(const WORD*& p)
{
    if (*p == 0) {
        ++p;
        return L"";
    }
    if (*p == 0xFFFF) {
        std::wstring s = L"#" + std::to_wstring(p[1]);
        p += 2;
        return s;
    }
    std::wstring s(reinterpret_cast<const wchar_t*>(p));
    p += s.size() + 1;
    return s;
}

bool load_dialog(WORD id, WORD langid, Dialog& d)
{
    HRSRC hrsrc = FindResourceExA(hInst, RT_DIALOG, MAKEINTRESOURCEA(id), langid);
    if (hrsrc == nullptr)
        return false;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(hInst, hrsrc)));
    if (p == nullptr || p[0] != 1 || p[1] != 0xFFFF)
        return false;  // only extended templates are written by our script
    const BYTE* b = reinterpret_cast<const BYTE*>(p);
    d.style = *reinterpret_cast<const DWORD*>(b + 12);
    WORD count = *reinterpret_cast<const WORD*>(b + 16);
    d.cx = *reinterpret_cast<const short*>(b + 22);
    d.cy = *reinterpret_cast<const short*>(b + 24);
    p = reinterpret_cast<const WORD*>(b + 26);
    read_sz_or_ord(p);  // menu
    read_sz_or_ord(p);  // class
    d.caption = read_sz_or_ord(p);
    if (d.style & DS_SETFONT) {
        p += 3;  // point size, weight, italic + charset
        read_sz_or_ord(p);
    }
    for (WORD i = 0; i < count; ++i) {
        p = align4(p);
        const BYTE* ib = reinterpret_cast<const BYTE*>(p);
        Item it;
        it.style = *reinterpret_cast<const DWORD*>(ib + 8);
        it.x = *reinterpret_cast<const short*>(ib + 12);
        it.y = *reinterpret_cast<const short*>(ib + 14);
        it.cx = *reinterpret_cast<const short*>(ib + 16);
        it.cy = *reinterpret_cast<const short*>(ib + 18);
        DWORD cid = *reinterpret_cast<const DWORD*>(ib + 20);
        it.id = (cid & 0xFFFF) == 0xFFFF ? -1 : static_cast<int>(cid);
        p = reinterpret_cast<const WORD*>(ib + 24);
        it.cls = read_sz_or_ord(p);
        it.text = read_sz_or_ord(p);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        d.items.push_back(it);
    }
    return true;
}

const Item* find_item(const Dialog& d, int id)
{
    for (const Item& it : d.items)
        if (it.id == id)
            return &it;
    return nullptr;
}

std::multiset<int> control_ids(const Dialog& d)
{
    std::multiset<int> ids;
    for (const Item& it : d.items)
        if (it.id != -1)
            ids.insert(it.id);
    return ids;
}

// Class names are case-insensitive; the resource compiler stores them upper-cased.
bool has_class(const Item& it, const wchar_t* cls) { return _wcsicmp(it.cls.c_str(), cls) == 0; }
bool is_button_class(const Item& it) { return it.cls == L"#128" || has_class(it, L"button"); }

// Runs check on every page and alert template in every language.
template <class Check>
void for_each_localized(Check check)
{
    std::vector<WORD> ids(std::begin(kPages), std::end(kPages));
    for (WORD n : kAlerts)
        ids.push_back(static_cast<WORD>(ALERT_BASE + n));
    for (WORD id : ids) {
        for (const Lang& l : kLangs) {
            SCOPED_TRACE(std::string(l.name) + " dialog " + std::to_string(id));
            Dialog d;
            ASSERT_TRUE(load_dialog(id, l.id, d));
            check(id, l, d);
        }
    }
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override { hInst = GetModuleHandleA(nullptr); }
};

TEST_F(Catalogue, PagesExistInEveryLanguageWithTheIdsTheCodeUses)
{
    const std::map<WORD, std::multiset<int>> expected = {
        {1, {30, 1, 2, 3}},
        {2, {30, 10, 11, 12, 1, 2, 3}},
        {3, {30, 10, 11, 1, 2, 3}},
        {4, {30, 10, 11, 1, 2, 3}},
        {5, {}},
        {6, {30, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 40, 41, 1, 2, 3}},
        {8, {10, 11, 13, 2}},
        {9, {1}},
        {11, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29,
              30, 31, 32, 33, 40, 41, 1, 2}},
    };
    for (WORD page : kPages) {
        for (const Lang& l : kLangs) {
            SCOPED_TRACE(std::string(l.name) + " dialog " + std::to_string(page));
            Dialog d;
            ASSERT_TRUE(load_dialog(page, l.id, d));
            EXPECT_EQ(control_ids(d), expected.at(page));
            if (const Item* pic = find_item(d, 30); pic != nullptr && page != 11) {
                EXPECT_TRUE(has_class(*pic, L"bitmapwindow"));
            }
        }
    }
}

TEST_F(Catalogue, CopyPageIsNarrowerInGermanOnly)
{
    for (const Lang& l : kLangs) {
        SCOPED_TRACE(l.name);
        Dialog d;
        ASSERT_TRUE(load_dialog(8, l.id, d));
        const Item* bar = find_item(d, 13);
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(has_class(*bar, L"indicwindow"));
        EXPECT_EQ(bar->x, 6);
        EXPECT_EQ(bar->y, 56);
        EXPECT_EQ(bar->cy, 12);
        bool german = l.id == 7;
        EXPECT_EQ(bar->cx, german ? 194 : 244);
        EXPECT_EQ(d.cx, german ? 208 : 257);
        EXPECT_TRUE(d.style & WS_THICKFRAME);
    }
}

// Every alert in every language, with the buttons whose answers the code
// compares with (named in res/resource.h; in English each choice is checked
// to be the button of that name), its default, icon and one text, translated:
// a text left in English would be a language that was missed.
TEST_F(Catalogue, AlertsHaveTheirButtonsDefaultsAndIcons)
{
    struct AlertSpec {
        WORD n;
        std::map<int, std::wstring> choices;   // English label by answer; one button: none
        int def;
        int icon;
    };
    const AlertSpec specs[] = {
        {ALERT_CREATE_PATH, {{ANSWER_YES, L"Yes"}, {ANSWER_NO, L"No"}}, ANSWER_YES,
         IDI_ALERT_QUESTION},
        {ALERT_EXIT, {{ANSWER_YES, L"Yes"}, {ANSWER_NO, L"No"}}, ANSWER_YES, IDI_ALERT_QUESTION},
        {ALERT_BAD_PATH, {{IDOK, L""}}, IDOK, IDI_ALERT_ERROR},
        {ALERT_ABORT, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_NO_SPACE,
         {{NO_SPACE_CONTINUE, L"Continue"}, {NO_SPACE_BACK, L"Back"}, {NO_SPACE_EXIT, L"Exit"}},
         NO_SPACE_EXIT, IDI_ALERT_WARNING},
        {ALERT_DISK_FULL, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_QPR_EXISTS, {{QPR_KEEP, L"Keep"}, {QPR_OVERWRITE, L"Overwrite"}}, QPR_KEEP,
         IDI_ALERT_QUESTION},
        {ALERT_BAD_FOLDER, {{IDOK, L""}}, IDOK, IDI_ALERT_ERROR},
        {ALERT_READ_ERROR, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_BAD_RECORD, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_UNDO_INCOMPLETE,
         {{UNDO_IGNORE, L"Ignore"}, {UNDO_EXIT, L"Exit"}, {UNDO_RETRY, L"Retry"}}, UNDO_RETRY,
         IDI_ALERT_WARNING},
        {ALERT_SETUP_RUNNING, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_WINDIR_READ_ONLY, {{IDOK, L""}}, IDOK, IDI_ALERT_ERROR},
        {ALERT_CANNOT_KEEP, {{IDOK, L""}}, IDOK, IDI_ALERT_WARNING},
        {ALERT_DRIVE_MISSING,
         {{UNDO_IGNORE, L"Ignore"}, {UNDO_EXIT, L"Exit"}, {UNDO_RETRY, L"Retry"}}, UNDO_RETRY,
         IDI_ALERT_WARNING},
    };
    ASSERT_EQ(std::size(specs), std::size(kAlerts));
    for (size_t i = 0; i < std::size(specs); ++i) {
        const AlertSpec& a = specs[i];
        EXPECT_EQ(a.n, kAlerts[i]);
        std::wstring english_caption, english_text;
        for (const Lang& l : kLangs) {
            SCOPED_TRACE(std::string(l.name) + " alert " + std::to_string(a.n));
            Dialog d;
            ASSERT_TRUE(load_dialog(static_cast<WORD>(ALERT_BASE + a.n), l.id, d));
            EXPECT_TRUE(d.style & WS_CAPTION);
            EXPECT_TRUE(d.style & WS_SYSMENU);
            EXPECT_TRUE(d.style & DS_MODALFRAME);
            std::map<int, std::wstring> buttons;
            std::vector<int> defaults;
            std::vector<std::wstring> icons, texts;
            for (const Item& it : d.items) {
                if (it.id != -1 && is_button_class(it)) {
                    std::wstring label = it.text;
                    label.erase(std::remove(label.begin(), label.end(), L'&'), label.end());
                    EXPECT_FALSE(label.empty()) << "button " << it.id;
                    buttons[it.id] = a.choices.size() > 1 && l.id == 1033 ? label : L"";
                    if ((it.style & 0xF) == BS_DEFPUSHBUTTON)
                        defaults.push_back(it.id);
                } else if ((it.style & SS_TYPEMASK) == SS_ICON) {
                    icons.push_back(it.text);
                } else if (!it.text.empty()) {
                    texts.push_back(it.text);
                }
            }
            std::map<int, std::wstring> expected = a.choices;
            for (auto& choice : expected)
                if (l.id != 1033)
                    choice.second.clear();
            EXPECT_EQ(buttons, expected);
            EXPECT_EQ(defaults, std::vector<int>{a.def});
            EXPECT_EQ(icons, std::vector<std::wstring>{L"#" + std::to_wstring(a.icon)});
            // Alerts 15 and 20 name the file on a line of their own, filled when they open.
            EXPECT_EQ(std::count_if(d.items.begin(), d.items.end(),
                                    [](const Item& it) { return it.id == IDC_ALERT_NAME; }),
                      a.n == ALERT_READ_ERROR || a.n == ALERT_CANNOT_KEEP ? 1 : 0);
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_FALSE(d.caption.empty());
            if (l.id == 1033) {
                english_caption = d.caption;
                english_text = texts[0];
            } else {
                EXPECT_NE(d.caption, english_caption);
                EXPECT_NE(texts[0], english_text);
            }
        }
    }
}

// Alt+letter must reach one control: a letter used twice on one dialog makes
// the dialog manager cycle instead of acting.
TEST_F(Catalogue, NoAcceleratorIsUsedTwiceOnOneDialog)
{
    for_each_localized([](WORD id, const Lang& l, const Dialog& d) {
        std::map<wchar_t, int> seen;
        for (const Item& it : d.items) {
            if (it.style & SS_NOPREFIX && !is_button_class(it))
                continue;
            for (size_t i = 0; i + 1 < it.text.size(); ++i) {
                if (it.text[i] != L'&')
                    continue;
                if (it.text[i + 1] != L'&')
                    ++seen[static_cast<wchar_t>(towlower(it.text[i + 1]))];
                ++i;
            }
        }
        for (auto [letter, count] : seen) {
            // The English options page keeps its established "&Modules" and
            // "Sa&mples" pair.
            if (l.id == 1033 && id == DLG_OPTIONS && letter == L'm')
                continue;
            EXPECT_EQ(count, 1) << "letter " << static_cast<char>(letter);
        }
    });
}

// Widened translations must stay inside their page and off their neighbours.
TEST_F(Catalogue, ControlsFitTheirDialogWithoutOverlapping)
{
    for_each_localized([](WORD, const Lang&, const Dialog& d) {
        std::vector<const Item*> solid;
        for (const Item& it : d.items) {
            EXPECT_GE(it.x, 0);
            EXPECT_GE(it.y, 0);
            EXPECT_LE(it.x + it.cx, d.cx) << "control " << it.id;
            EXPECT_LE(it.y + it.cy, d.cy) << "control " << it.id;
            bool group_box = is_button_class(it) && (it.style & 0xF) == BS_GROUPBOX;
            bool frame = !is_button_class(it) && (it.style & SS_TYPEMASK) >= SS_BLACKFRAME &&
                         (it.style & SS_TYPEMASK) <= SS_WHITEFRAME;
            if (!group_box && !frame)
                solid.push_back(&it);
        }
        for (size_t i = 0; i < solid.size(); ++i) {
            for (size_t j = i + 1; j < solid.size(); ++j) {
                const Item& a = *solid[i];
                const Item& b = *solid[j];
                bool apart = a.x + a.cx <= b.x || b.x + b.cx <= a.x || a.y + a.cy <= b.y ||
                             b.y + b.cy <= a.y;
                EXPECT_TRUE(apart) << "controls at " << a.x << "," << a.y << " and " << b.x
                                   << "," << b.y;
            }
        }
    });
}

// Arrow keys walk a group: each run of radio buttons must open a group and the
// control after it must close it, or focus wanders onto other controls.
TEST_F(Catalogue, RadioButtonsFormClosedGroups)
{
    auto check = [](const Dialog& d) {
        for (size_t i = 0; i < d.items.size(); ++i) {
            auto radio = [&](size_t k) {
                return k < d.items.size() && is_button_class(d.items[k]) &&
                       (d.items[k].style & 0xF) == BS_AUTORADIOBUTTON;
            };
            if (!radio(i))
                continue;
            if (i == 0 || !radio(i - 1)) {
                EXPECT_TRUE(d.items[i].style & WS_GROUP) << "radio " << d.items[i].id;
                EXPECT_TRUE(d.items[i].style & WS_TABSTOP) << "radio " << d.items[i].id;
            } else {
                EXPECT_FALSE(d.items[i].style & WS_GROUP) << "radio " << d.items[i].id;
            }
            if (i + 1 < d.items.size() && !radio(i + 1)) {
                EXPECT_TRUE(d.items[i + 1].style & WS_GROUP) << "after radio " << d.items[i].id;
            }
        }
    };
    for (const Lang& l : kLangs) {
        Dialog d;
        ASSERT_TRUE(load_dialog(DLG_FOUND, l.id, d));
        check(d);
    }
    Dialog lang_page;
    ASSERT_TRUE(load_dialog(DLG_LANGUAGE, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), lang_page));
    check(lang_page);
    for (int id = 13; id <= 16; ++id) {
        const Item* it = find_item(lang_page, id);
        ASSERT_NE(it, nullptr);
        EXPECT_TRUE(it->style & WS_DISABLED) << "radio " << id;
    }
    for (int id = 20; id <= 26; ++id) {
        const Item* it = find_item(lang_page, id);
        ASSERT_NE(it, nullptr);
        EXPECT_TRUE(has_class(*it, L"flagwindow")) << "flag " << id;
    }
}

// Tab must visit every button, box, edit and list, and never rest on a text,
// a frame or a picture, where the focus would be invisible.
TEST_F(Catalogue, TabStopsAreOnTheInputsOnly)
{
    auto check = [](const Dialog& d) {
        for (const Item& it : d.items) {
            DWORD type = it.style & 0xF;
            bool input;
            if (is_button_class(it)) {
                if (type == BS_AUTORADIOBUTTON)
                    continue;  // only the first of a group stops, checked above
                input = type != BS_GROUPBOX;
            } else {
                input = it.cls == L"#129" || it.cls == L"#131" || has_class(it, L"edit") ||
                        has_class(it, L"listbox");
            }
            EXPECT_EQ((it.style & WS_TABSTOP) != 0, input)
                << "control " << it.id << " at " << it.x << "," << it.y;
        }
    };
    for_each_localized([&](WORD, const Lang&, const Dialog& d) { check(d); });
    Dialog lang_page;
    ASSERT_TRUE(load_dialog(DLG_LANGUAGE, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), lang_page));
    check(lang_page);
}

INT_PTR CALLBACK idle_proc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// How many pixels of a control's text do not fit: lines cut off below a
// wrapped text, or the overhang of a one-line caption.
LONG overflow(HWND ctl)
{
    wchar_t text[512];
    int len = GetWindowTextW(ctl, text, static_cast<int>(std::size(text)));
    if (len == 0)
        return 0;
    RECT client;
    GetClientRect(ctl, &client);
    wchar_t cls[32];
    GetClassNameW(ctl, cls, static_cast<int>(std::size(cls)));
    LONG style = GetWindowLongW(ctl, GWL_STYLE);
    HDC dc = GetDC(ctl);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(ctl, WM_GETFONT, 0, 0)));
    RECT need = client;
    LONG over = 0;
    if (_wcsicmp(cls, L"static") == 0) {
        UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS;
        if (style & SS_NOPREFIX)
            flags |= DT_NOPREFIX;
        DrawTextW(dc, text, len, &need, flags);
        over = std::max(need.bottom - client.bottom, need.right - client.right);
    } else {
        DrawTextW(dc, text, len, &need, DT_CALCRECT | DT_SINGLELINE);
        DWORD type = style & 0xF;
        // Check and radio boxes draw their mark left of the text.
        LONG mark = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_GROUPBOX
                        ? 4
                        : GetSystemMetrics(SM_CXMENUCHECK) + 4;
        over = need.right - need.left + mark - (client.right - client.left);
    }
    SelectObject(dc, old);
    ReleaseDC(ctl, dc);
    return over;
}

// Makes template id of langid from module a hidden child of host and
// expects every text in it to show whole.
void expect_texts_fit(HWND host, HMODULE module, WORD id, WORD langid)
{
    HRSRC hrsrc = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), langid);
    ASSERT_NE(hrsrc, nullptr);
    const BYTE* res = static_cast<const BYTE*>(LockResource(LoadResource(module, hrsrc)));
    std::vector<BYTE> copy(res, res + SizeofResource(module, hrsrc));
    DWORD& style = *reinterpret_cast<DWORD*>(copy.data() + 12);
    style = (style & (DS_SETFONT | 0xFF)) | WS_CHILD;
    auto tmpl = reinterpret_cast<LPCDLGTEMPLATEW>(copy.data());
    HWND dlg = CreateDialogIndirectParamW(hInst, tmpl, host, idle_proc, 0);
    ASSERT_NE(dlg, nullptr);
    for (HWND ctl = GetWindow(dlg, GW_CHILD); ctl != nullptr; ctl = GetWindow(ctl, GW_HWNDNEXT))
        EXPECT_LE(overflow(ctl), 0) << "control " << GetDlgCtrlID(ctl);
    DestroyWindow(dlg);
    drain_queue();  // the pictures post a quit request when destroyed
}

// Translations run longer than English: every text must still show whole.
TEST_F(Catalogue, EveryTextFitsItsControl)
{
    register_bitmap(hInst);
    register_flag(hInst);
    register_indicator(hInst);
    // Made as hidden children of one window: a top-level window per template
    // costs a round trip to the display each.
    HWND host = CreateWindowExW(0, L"static", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                hInst, nullptr);
    ASSERT_NE(host, nullptr);
    for_each_localized([&](WORD id, const Lang& l, const Dialog&) {
        expect_texts_fit(host, hInst, id, l.id);
    });
    SCOPED_TRACE("language page");
    expect_texts_fit(host, hInst, DLG_LANGUAGE, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    DestroyWindow(host);
}

// The uninstaller's messages, read from uinstall.exe in the build directory
// above this program: in every language, whole, and inside their dialog.
TEST_F(Catalogue, UninstallerMessagesFitInEveryLanguage)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    for (int up = 0; up < 2; ++up)
        *strrchr(path, '\\') = '\0';
    ASSERT_LT(strlen(path) + 14, sizeof path);
    strcat(path, "\\uinstall.exe");
    HMODULE un = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(un, nullptr) << path;
    HWND host = CreateWindowExW(0, L"static", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                hInst, nullptr);
    for (WORD n = 40; n <= 52; ++n) {
        for (const Lang& l : kLangs) {
            SCOPED_TRACE(std::string(l.name) + " message " + std::to_string(n));
            expect_texts_fit(host, un, static_cast<WORD>(ALERT_BASE + n), l.id);
        }
    }
    DestroyWindow(host);
    FreeLibrary(un);
}

BOOL CALLBACK count_language(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR param)
{
    ++*reinterpret_cast<int*>(param);
    return TRUE;
}

TEST_F(Catalogue, LanguagePageIsStoredOnceAndFoundWhateverTheLocale)
{
    int languages = 0;
    EnumResourceLanguagesA(hInst, RT_DIALOG, MAKEINTRESOURCEA(DLG_LANGUAGE), count_language,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, 1);

    LCID before = GetThreadLocale();
    for (LCID lcid : {MAKELCID(1031, SORT_DEFAULT), MAKELCID(1036, SORT_DEFAULT),
                      MAKELCID(1043, SORT_DEFAULT), MAKELCID(1033, SORT_DEFAULT)}) {
        SetThreadLocale(lcid);
        EXPECT_NE(FindResourceA(hInst, MAKEINTRESOURCEA(DLG_LANGUAGE), RT_DIALOG), nullptr)
            << "locale " << lcid;
    }
    SetThreadLocale(before);
}

TEST_F(Catalogue, LanguageIndexFindsTheStoredLanguage)
{
    const struct {
        WORD lcode;
        WORD stored;
    } cases[] = {{0, 1033}, {1, 12}, {2, 7}, {6, 5}};
    for (auto c : cases) {
        HRSRC expected = FindResourceExA(hInst, RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), c.stored);
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), c.lcode), expected)
            << "lcode " << c.lcode;
    }
    EXPECT_EQ(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), 3), nullptr);
}

std::string ansi(const std::wstring& w)
{
    char buf[512];
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), buf,
                                sizeof(buf) - 1, nullptr, nullptr);
    return std::string(buf, n > 0 ? n : 0);
}

TEST_F(Catalogue, StringTablesHoldTheNamesOfEveryLanguage)
{
    const wchar_t* english_dirs[18] = {L"modules", L"drivers", L"rasters", L"document", L"fonts",
                                       L"help", L"vector", L"colors", L"curves", L"dicts",
                                       L"texts", L"bitmaps", L"layouts", L"macros", L"pages",
                                       L"styles", L"special", L"clipart"};
    const wchar_t* german_dirs[18] = {L"module", L"treiber", L"raster", L"dokument", L"fonts",
                                      L"hilfe", L"vektor", L"farben", L"kennlin", L"lexika",
                                      L"texte", L"bilder", L"layouts", L"makros", L"seiten",
                                      L"stile", L"spezial", L"clipart"};
    // Ids 30 to 35, by language index 0 (English), 1 (French), 2 (German), 6 (Czech).
    const std::map<WORD, std::vector<std::wstring>> items = {
        {0, {L"Read Me", L"Module Installation", L"StartUp Guide", L"StartUp Tutorial",
             L"Select Destination Path", L"Uninstall Quillon"}},
        {1, {L"Lisez-moi", L"Installation de modules", L"Guide", L"Tutorial de d\u00e9marrage",
             L"Choisir le chemin de destination", L"D\u00e9sinstaller Quillon"}},
        {2, {L"Liesmich", L"Modul-Installation", L"Starthilfe", L"Tutorial",
             L"Zielpfad ausw\u00e4hlen", L"Quillon Deinstallation"}},
        {6, {L"Read Me", L"Module Installation", L"StartUp Guide", L"StartUp Tutorial",
             L"Vyberte c\u00edlovou cestu", L"Uninstall Quillon"}},
    };
    char buf[260];
    for (const auto& [lcode, names] : items) {
        SCOPED_TRACE("lcode " + std::to_string(lcode));
        for (WORD id = 0; id < 18; ++id)
            EXPECT_EQ(get_string(lcode, id, buf, sizeof(buf)),
                      ansi(lcode == 2 ? german_dirs[id] : english_dirs[id]))
                << "id " << id;
        for (WORD id = 18; id < 30; ++id)
            EXPECT_STREQ(get_string(lcode, id, buf, sizeof(buf)), "") << "id " << id;
        for (WORD id = 30; id <= 35; ++id)
            EXPECT_EQ(get_string(lcode, id, buf, sizeof(buf)), ansi(names[id - 30]))
                << "id " << id;
    }
}

// The script is UTF-8: the accents and the registered sign must arrive as
// their own characters, not as the bytes of their encoding.
TEST_F(Catalogue, TranslatedTemplatesKeepTheirAccents)
{
    Dialog d;
    ASSERT_TRUE(load_dialog(DLG_FOUND, 7, d));
    EXPECT_EQ(d.caption, L"Fr\u00fchere Version von Quillon\u00ae gefunden");
    ASSERT_TRUE(load_dialog(ALERT_BASE + ALERT_EXIT, 5, d));
    EXPECT_EQ(d.caption, L"Ukon\u010den\u00ed instala\u010dn\u00edho programu");
    ASSERT_TRUE(load_dialog(DLG_COMPLETE, 12, d));
    EXPECT_EQ(d.caption, L"Installation termin\u00e9e");
}

}  // namespace
