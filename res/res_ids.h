// Controls that the program never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

// The line of an alert that names the file concerned.
#define IDC_ALERT_NAME 20
