// The statics the whole program shares.
#include "shell/shell.h"

HINSTANCE hInst;
HWND hParent;
WORD langcode;
char strQuillon15[NAME_CCH];

// Indices 3 to 5 share the Dutch identifier; no resource is stored under it
// and the language page never yields those indices.
const WORD lang[7] = {1033, 1036, 1031, 1043, 1043, 1043, 5};
