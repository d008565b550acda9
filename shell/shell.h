// The shell's own entry points: the setup window, the install sequence that
// runs the pages and steps in order, and the first and last pages.
#pragma once

#include "dialogs/dialogs.h"

// ---- start-up and install sequence ----
LRESULT CALLBACK main_install(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void do_install(HWND hwnd);
// Setup's own record settled, at the start and after an undo held up: a
// result of settle_run (copy/copy.h).
int recover_earlier_run(HWND hwnd);

// Steps of the install sequence.
enum install_step {
    STEP_LANGUAGE,
    STEP_WELCOME,
    STEP_FOUND,
    STEP_DESTINATION,
    STEP_COMPONENTS,
    STEP_FOLDER,
    STEP_COPY,
    STEP_INTEGRATE,
    STEP_CLEANUP,
    STEP_END
};
// The step after `step` ended with `result` (a page result; for STEP_COPY,
// non-zero when the copy succeeded). A step that shows no page passes PAGE_NEXT.
install_step next_step(install_step step, INT_PTR result, bool nver, bool found_empty);

// ---- front pages ----
INT_PTR CALLBACK dlg_startup(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_welcome(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_search(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_complete(HWND, UINT, WPARAM, LPARAM);
