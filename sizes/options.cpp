// The "Installation Options" page and its sample sub-dialog: byte counts per
// component, the required total and the free space of the destination drive.
#include "sizes/sizes.h"
#include "copy/copy.h"
#include "dialogs/dialogs.h"

#include <cstdio>
#include <iterator>

struct BOXBIT {
    int cid;
    DWORD bit;
};

// Top to bottom as the page shows them.
static constexpr BOXBIT page_boxes[] = {
    {IDC_MODULES, 0x1},      {IDC_FILTERS, 0x2},     {IDC_HELP_FILES, 0x20},
    {IDC_FONTS, 0x10},       {IDC_HYPHENATION, 0x400}, {IDC_SPECIAL, 0x20000},
};
static constexpr BOXBIT sample_boxes[] = {
    {IDC_SAMPLE_DOCUMENTS, 0x8},   {IDC_SAMPLE_BITMAPS, 0x1000}, {IDC_SAMPLE_VECTOR, 0x80},
    {IDC_SAMPLE_TEXTS, 0x800},     {IDC_SAMPLE_CURVES, 0x200},   {IDC_SAMPLE_COLORS, 0x100},
    {IDC_SAMPLE_LAYOUTS, 0x2000},  {IDC_SAMPLE_MACROS, 0x4000},  {IDC_SAMPLE_STYLES, 0x10000},
    {IDC_SAMPLE_RASTERS, 0x4},     {IDC_SAMPLE_PAGES, 0x8000},   {IDC_SAMPLE_CLIPART, 0x40000},
};
// The byte count shown for each component bit, on whichever of the two
// dialogs shows that component.
static constexpr BOXBIT bit_labels[] = {
    {IDC_MODULES_BYTES, 0x1},           {IDC_FILTERS_BYTES, 0x2},
    {IDC_SAMPLE_RASTERS_BYTES, 0x4},    {IDC_SAMPLE_DOCUMENTS_BYTES, 0x8},
    {IDC_FONTS_BYTES, 0x10},            {IDC_HELP_BYTES, 0x20},
    {IDC_SAMPLE_VECTOR_BYTES, 0x80},    {IDC_SAMPLE_COLORS_BYTES, 0x100},
    {IDC_SAMPLE_CURVES_BYTES, 0x200},   {IDC_HYPHENATION_BYTES, 0x400},
    {IDC_SAMPLE_TEXTS_BYTES, 0x800},    {IDC_SAMPLE_BITMAPS_BYTES, 0x1000},
    {IDC_SAMPLE_LAYOUTS_BYTES, 0x2000}, {IDC_SAMPLE_MACROS_BYTES, 0x4000},
    {IDC_SAMPLE_PAGES_BYTES, 0x8000},   {IDC_SAMPLE_STYLES_BYTES, 0x10000},
    {IDC_SPECIAL_BYTES, 0x20000},       {IDC_SAMPLE_CLIPART_BYTES, 0x40000},
};

ULONGLONG tbytes;
static ULONGLONG tb;   // the sub-dialog's running total
ULONGLONG (*page_freespace)(const char* pdir) = get_freespace;

void swap_flag(DWORD* pflag, DWORD swap)
{
    if (*pflag & swap)
        *pflag &= ~swap;
    else
        *pflag |= swap;
}

DWORD get_size(DWORD dir)
{
    for (int r = 0; r < CDIR_COUNT; ++r)
        if (cdir[r].fflag == dir)
            return esize[1 + r];
    return 0;
}

int idx_to_id(DWORD id)
{
    for (const BOXBIT& b : bit_labels)
        if (b.bit == id)
            return b.cid;
    return -1;
}

int format_bytes(ULONGLONG size, WORD lcode, char* out, size_t cchOut)
{
    char digits[24];
    int n = snprintf(digits, sizeof digits, "%llu", size);
    const char sep = lcode == 0 ? ',' : '.';
    size_t need = static_cast<size_t>(n) + (n - 1) / 3;
    if (cchOut == 0 || need >= cchOut) {
        if (cchOut)
            out[0] = '\0';
        return 0;
    }
    size_t o = 0;
    for (int i = 0; i < n; ++i) {
        out[o++] = digits[i];
        int rest = n - 1 - i;
        if (rest > 0 && rest % 3 == 0)
            out[o++] = sep;
    }
    out[o] = '\0';
    return static_cast<int>(o);
}

void set_dlg_bytes(HWND hdlg, int cid, ULONGLONG size)
{
    char text[32];
    format_bytes(size, langcode, text, sizeof text);
    SetDlgItemTextA(hdlg, cid, text);
}

ULONGLONG get_freespace(const char* pdir)
{
    char root[PATH_CCH];
    const char* proot = nullptr;
    if (pdir[0] && pdir[1] == ':') {
        snprintf(root, sizeof root, "%c:\\", pdir[0]);
        proot = root;
    } else if (pdir[0] == '\\' && pdir[1] == '\\') {
        // A share answers for itself: \\server\share\ is its root.
        const char* p = pdir + 2;
        int seps = 0;
        while (*p && seps < 2) {
            if (*p == '\\')
                ++seps;
            if (seps < 2)
                ++p;
        }
        size_t len = static_cast<size_t>(p - pdir);
        if (len + 2 > sizeof root)
            return 0;
        memcpy(root, pdir, len);
        root[len] = '\\';
        root[len + 1] = '\0';
        proot = root;
    }
    ULARGE_INTEGER avail, total, freeb;
    if (!GetDiskFreeSpaceExA(proot, &avail, &total, &freeb))
        return 0;
    return avail.QuadPart;
}

ULONGLONG get_samplesize(const INSPB* pp)
{
    ULONGLONG sum = 0;
    for (const BOXBIT& b : sample_boxes)
        if (pp->fflag & b.bit)
            sum += get_size(b.bit);
    return sum;
}

static void show_row(HWND hdlg, DWORD flags, DWORD dir)
{
    set_dlg_bytes(hdlg, idx_to_id(dir), (flags & dir) ? get_size(dir) : 0);
}

static void update_size(HWND hdlg, DWORD flags, DWORD dir)
{
    if (flags & dir)
        tbytes += get_size(dir);
    else
        tbytes -= get_size(dir);
    if (hdlg) {
        set_dlg_bytes(hdlg, IDC_TOTAL, tbytes);
        show_row(hdlg, flags, dir);
    }
}

static void init_size(HWND hdlg, DWORD flags, DWORD dir)
{
    show_row(hdlg, flags, dir);
}

static void update_samplesize(HWND hdlg, DWORD flags, DWORD dir, ULONGLONG* pbytes)
{
    if (flags & dir)
        *pbytes += get_size(dir);
    else
        *pbytes -= get_size(dir);
    set_dlg_bytes(hdlg, IDC_TOTAL, *pbytes);
    show_row(hdlg, flags, dir);
}

static void get_installsize(HWND hdlg, const INSPB* pp)
{
    if (pp->sampl == 1)
        tbytes += get_samplesize(pp);
    for (const BOXBIT& b : page_boxes) {
        if (pp->fflag & b.bit)
            update_size(hdlg, pp->fflag, b.bit);
        else
            init_size(hdlg, pp->fflag, b.bit);
    }
}

static const BOXBIT* find_box(const BOXBIT* first, const BOXBIT* last, int cid)
{
    for (; first != last; ++first)
        if (first->cid == cid)
            return first;
    return nullptr;
}

static void on_next(HWND hdlg, const INSPB* pp)
{
    if (page_freespace(pp->szDst) >= tbytes) {
        EndDialog(hdlg, PAGE_NEXT);
        return;
    }
    switch (alert(hdlg, ALERT_NO_SPACE)) {
    case NO_SPACE_CONTINUE:
        EndDialog(hdlg, PAGE_NEXT);
        break;
    case NO_SPACE_EXIT:
        if (alert(hdlg, ALERT_EXIT) == ANSWER_YES)
            EndDialog(hdlg, PAGE_CANCEL);
        break;
    default:   // NO_SPACE_BACK, or Esc: the page stays as the user left it
        break;
    }
}

static void on_files(HWND hdlg, INSPB* pp)
{
    INSPB local = *pp;
    ULONGLONG before = get_samplesize(pp);
    if (call_dialog(hdlg, DLG_SAMPLES, pp->lcode, &local, dlg_samples) != IDOK)
        return;
    *pp = local;
    ULONGLONG after = get_samplesize(pp);
    if (pp->sampl == 1) {
        tbytes += after - before;
        set_dlg_bytes(hdlg, IDC_TOTAL, tbytes);
        set_dlg_bytes(hdlg, IDC_SAMPLE_BYTES, after);
    } else {
        set_dlg_bytes(hdlg, IDC_SAMPLE_BYTES, 0);
    }
}

INT_PTR CALLBACK dlg_options(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    static INSPB* pp;
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        pp = reinterpret_cast<INSPB*>(lparam);
        for (const BOXBIT& b : page_boxes)
            CheckDlgButton(hdlg, b.cid, (pp->fflag & b.bit) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hdlg, IDC_SAMPLES, pp->sampl ? BST_CHECKED : BST_UNCHECKED);
        tbytes = esize[0];
        get_installsize(hdlg, pp);
        set_dlg_bytes(hdlg, IDC_TOTAL, tbytes);
        set_dlg_bytes(hdlg, IDC_SAMPLE_BYTES, pp->sampl == 1 ? get_samplesize(pp) : 0);
        set_dlg_bytes(hdlg, IDC_FREE, page_freespace(pp->szDst));
        return TRUE;
    case WM_COMMAND: {
        int cid = LOWORD(wparam);
        if (const BOXBIT* b = find_box(std::begin(page_boxes), std::end(page_boxes), cid)) {
            swap_flag(&pp->fflag, b->bit);
            update_size(hdlg, pp->fflag, b->bit);
            return TRUE;
        }
        switch (cid) {
        case IDC_SAMPLES: {
            pp->sampl = pp->sampl ? 0 : 1;
            ULONGLONG ssize = get_samplesize(pp);
            if (pp->sampl)
                tbytes += ssize;
            else
                tbytes -= ssize;
            set_dlg_bytes(hdlg, IDC_SAMPLE_BYTES, pp->sampl ? ssize : 0);
            set_dlg_bytes(hdlg, IDC_TOTAL, tbytes);
            EnableWindow(GetDlgItem(hdlg, IDC_FILES), pp->sampl ? TRUE : FALSE);
            return TRUE;
        }
        case IDC_FILES:
            on_files(hdlg, pp);
            return TRUE;
        case IDOK:
            on_next(hdlg, pp);
            return TRUE;
        case IDCANCEL:
            if (alert(hdlg, ALERT_EXIT) == ANSWER_YES)
                EndDialog(hdlg, PAGE_CANCEL);
            return TRUE;
        case PAGE_BACK:
            EndDialog(hdlg, PAGE_BACK);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

INT_PTR CALLBACK dlg_samples(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    static INSPB* pp;
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        pp = reinterpret_cast<INSPB*>(lparam);
        for (const BOXBIT& b : sample_boxes) {
            CheckDlgButton(hdlg, b.cid, (pp->fflag & b.bit) ? BST_CHECKED : BST_UNCHECKED);
            init_size(hdlg, pp->fflag, b.bit);
        }
        tb = tbytes;
        set_dlg_bytes(hdlg, IDC_TOTAL, tb);
        set_dlg_bytes(hdlg, IDC_FREE, page_freespace(pp->szDst));
        return TRUE;
    case WM_COMMAND: {
        int cid = LOWORD(wparam);
        if (const BOXBIT* b = find_box(std::begin(sample_boxes), std::end(sample_boxes), cid)) {
            swap_flag(&pp->fflag, b->bit);
            update_samplesize(hdlg, pp->fflag, b->bit, &tb);
            return TRUE;
        }
        if (cid == IDOK || cid == IDCANCEL) {
            EndDialog(hdlg, cid);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}
