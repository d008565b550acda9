// Controls that the program never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
