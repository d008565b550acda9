// The setup window's procedure and the install sequence.
#include "shell/shell.h"
#include "copy/copy.h"
#include "integrate/integrate.h"
#include "sizes/sizes.h"
#include "destination/destination.h"
#include "common/journal.h"
#include "ui/ui.h"

#include <cstring>

LRESULT CALLBACK main_install(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        create_palette(hWnd);
        return 1;
    case WM_QUERYNEWPALETTE: {
        HDC hdc = GetDC(hWnd);
        if (hdc != nullptr) {
            if (hpalette != nullptr) {
                SelectPalette(hdc, hpalette, FALSE);
                RealizePalette(hdc);
            }
            ReleaseDC(hWnd, hdc);
        }
        return 1;
    }
    case WM_PAINT:
        wm_paint(hWnd);
        return 0;
    case WM_CLOSE:
        // The user cannot close the setup window; the run ends it.
        return 0;
    case WM_DESTROY:
        if (hpalette != nullptr) {
            DeleteObject(hpalette);
            hpalette = nullptr;
        }
        PostQuitMessage(0);
        return 1;
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

// The integration after a copy: the Program Manager group, the registry
// entries, then the run's record goes. A run killed before the record went
// has it finished at the next start.
static void integrate_installed(INSPB* par, GROUP* grp)
{
    update_progman(par, grp->szGroup);
    update_registry(par, grp);
    run_integrated();
}

// The integration a killed run owes, with what its record says.
static void finish_integration()
{
    INSPB par;
    GROUP grp;
    memset(&par, 0, sizeof par);
    memset(&grp, 0, sizeof grp);
    if (run_pending_integration(&par, &grp))
        integrate_installed(&par, &grp);
    else
        run_integrated();   // nothing it could still do
}

int recover_earlier_run(HWND hwnd)
{
    static const SettleAlerts alerts = {ALERT_UNDO_INCOMPLETE, ALERT_DRIVE_MISSING,
                                        ALERT_BAD_RECORD, ALERT_SETUP_RUNNING};
    return settle_run(hwnd, record_location, alerts, finish_integration);
}

static void integrate(HWND hwnd, INSPB* par, GROUP* grp)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    integrate_installed(par, grp);
    InvalidateRect(hwnd, nullptr, TRUE);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    call_dialog(hwnd, DLG_COMPLETE, par->lcode, nullptr, dlg_complete);
}

void do_install(HWND hwnd)
{
    HINSTANCE hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    INSPB par;
    GROUP grp;
    memset(&par, 0, sizeof(par));
    memset(&grp, 0, sizeof(grp));
    par.fflag = 0xFFFFFF;
    par.sampl = 1;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    par.platform = platform_from_arch(si.wProcessorArchitecture);
    journal_reset();

    install_step step = STEP_LANGUAGE;
    while (step != STEP_END) {
        INT_PTR result = PAGE_NEXT;
        bool found_empty = par.hfnd == nullptr || LocalSize(par.hfnd) == 0;
        switch (step) {
        case STEP_LANGUAGE:
            result = DialogBoxParamA(hinst, MAKEINTRESOURCEA(DLG_LANGUAGE), hwnd, dlg_startup,
                                     reinterpret_cast<LPARAM>(&par));
            drain_queue();
            if (result == PAGE_NEXT) {
                strcpy(strQuillon15, "Zelbrin Quillon");
                langcode = par.lcode;
            }
            break;
        case STEP_WELCOME:
            result = call_dialog(hwnd, DLG_WELCOME, par.lcode, &par, dlg_welcome);
            break;
        case STEP_FOUND:
            get_sourcesize(par.lcode, par.platform);
            if (found_empty) {
                par.nver = 1;
                par.keep_set = 0;
            } else {
                result = call_dialog(hwnd, DLG_FOUND, par.lcode, &par, dlg_found);
            }
            break;
        case STEP_DESTINATION:
            if (par.nver)
                result = call_dialog(hwnd, DLG_DEST, par.lcode, &par, dlg_dest);
            break;
        case STEP_COMPONENTS:
            result = call_dialog(hwnd, DLG_OPTIONS, par.lcode, &par, dlg_options);
            break;
        case STEP_FOLDER:
            result = call_dialog(hwnd, DLG_GROUP, par.lcode, &grp, dlg_group);
            break;
        case STEP_COPY:
            get_sourcesize(par.lcode, par.platform);
            run_plan_integration(&par, &grp);
            result = copy_files(hwnd, &par) ? 1 : 0;
            drain_queue();
            break;
        case STEP_INTEGRATE:
            integrate(hwnd, &par, &grp);
            break;
        case STEP_CLEANUP:
            // The disk goes back to what it was before the copy, an update's
            // earlier installation included.
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            {
                // A file another program opened after the copy wrote it (a
                // virus scanner, most often) cannot go back at once: the
                // user may try again rather than be told nothing changed.
                bool as_before = run_undo();
                if (!as_before) {
                    const int left = recover_earlier_run(hwnd);
                    as_before = left == RUN_SETTLED || left == RUN_NONE_FOUND;
                }
                if (par.nver)
                    journal_undo();   // what the destination page made, if no record took it over
                SetCursor(LoadCursorA(nullptr, IDC_ARROW));
                if (!par.nver && as_before)
                    alert(hwnd, ALERT_ABORT);
            }
            break;
        case STEP_END:
            break;
        }
        step = next_step(step, result, par.nver != 0, found_empty);
    }
    if (par.hfnd != nullptr)
        LocalFree(par.hfnd);
}
