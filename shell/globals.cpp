// The statics the whole program shares.
#include "shell/shell.h"

HINSTANCE hInst;
HWND hParent;
WORD langcode;
char strQuillon15[NAME_CCH];
