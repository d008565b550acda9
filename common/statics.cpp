// The statics every subsystem reads (declared, with their writers, in
// setup.h). Here rather than beside their writers in shell/: the dialogs and
// common/ are linked by programs that have no install sequence.
#include "common/setup.h"

HINSTANCE hInst;
HWND hParent;
WORD langcode;
char strQuillon15[NAME_CCH];
