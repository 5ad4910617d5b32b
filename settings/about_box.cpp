// The About box: the program's icon, title, version and a line on its use.
#include <cstdio>

#include "res/resource.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            char version[32];
            std::snprintf(version, sizeof version, "Version %s", ProgramVersion);
            SetDlgItemTextA(dialog, IDC_VERSION, version);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}
