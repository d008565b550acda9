/* The demo medium's main program: it only tells who it is and which document
   it was started for, so that file-type and shortcut tests can see the call. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#define IDI_APP 101

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    char doc[1024];
    char text[1200];
    MSGBOXPARAMSA box;
    size_t len;

    (void)prev;
    (void)show;
    /* Shell verbs pass the document quoted. */
    while (*cmd == ' ')
        cmd++;
    len = strlen(cmd);
    if (len >= 2 && cmd[0] == '"' && cmd[len - 1] == '"') {
        cmd++;
        len -= 2;
    }
    if (len == 0)
        strcpy(doc, "(none)");
    else if (len < sizeof doc) {
        memcpy(doc, cmd, len);
        doc[len] = '\0';
    } else
        strcpy(doc, "(name too long to show)");

    if (snprintf(text, sizeof text, "Quillon demo program.\n\nDocument to open: %s", doc)
        >= (int)sizeof text)
        return 1;

    memset(&box, 0, sizeof box);
    box.cbSize = sizeof box;
    box.hInstance = inst;
    box.lpszText = text;
    box.lpszCaption = "Quillon Demo";
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEA(IDI_APP);
    MessageBoxIndirectA(&box);
    return 0;
}
