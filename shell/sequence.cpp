// The state table of the install sequence: which step follows which answer.
#include "shell/shell.h"

install_step next_step(install_step step, INT_PTR result, bool nver, bool found_empty)
{
    if (step == STEP_COPY)
        return result ? STEP_INTEGRATE : STEP_CLEANUP;
    if (step == STEP_INTEGRATE || step == STEP_CLEANUP || step == STEP_END)
        return STEP_END;
    if (result != PAGE_NEXT && result != PAGE_BACK)
        return STEP_END;   // Cancel (already confirmed) or a page that could not be created

    bool next = result == PAGE_NEXT;
    switch (step) {
    case STEP_LANGUAGE:
        return next ? STEP_WELCOME : STEP_LANGUAGE;
    case STEP_WELCOME:
        return next ? STEP_FOUND : STEP_LANGUAGE;
    case STEP_FOUND:
        return next ? STEP_DESTINATION : STEP_WELCOME;
    case STEP_DESTINATION:
        // Without hits the found step has no page; Back goes to the page before it.
        if (next)
            return STEP_COMPONENTS;
        return found_empty ? STEP_WELCOME : STEP_FOUND;
    case STEP_COMPONENTS:
        if (next)
            return STEP_FOLDER;
        return nver ? STEP_DESTINATION : STEP_FOUND;
    case STEP_FOLDER:
        return next ? STEP_COPY : STEP_COMPONENTS;
    default:
        return STEP_END;
    }
}
