/*
 * Resource, control, command and help-context ids of ZARL: the one list that
 * res/ZARL.rc and the C++ sources share. Plain #defines and C comments only,
 * because the resource compiler reads this file too. Values are written as
 * numbers (not WM_USER+n) so that nothing here needs <windows.h>.
 *
 * Grouped per template. Ids are unique within their own template only: the
 * same number in two templates (3, 1039) names controls that the dialog
 * procedures treat alike or never meet.
 */
#ifndef ZARL_RESOURCE_H
#define ZARL_RESOURCE_H

/* A static control nobody addresses. */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* ---- Main window ------------------------------------------------------ */

/* The program icon (class icon and About box), named "ZARL" in ZARL.rc. */
#define IDI_ZARL "ZARL"

/* System-menu commands, appended after a separator. WM_SYSCOMMAND reserves
 * the four low bits of wParam for the system, and these ids live exactly
 * there: compare wParam with them exactly and never mask it. */
#define IDM_OPERATING  1 /* "&Operating" */
#define IDM_SHOWRESULT 2 /* "Show Resu&lt Window" */
#define IDM_SHOWIMD    3 /* "Show &Immediate Window" */
#define IDM_HELP       4 /* "&Help" */
/* Accelerators used (system menu): hilo, beside the system's own
 * Restore, Move, Size, Minimize, Maximize, Close (rmsnxc): no clash. */

/* Private messages. WM_USER+0..2 double as the dialog manager's DM_GETDEFID,
 * DM_SETDEFID and DM_REPOSITION in every dialog. UM_SHOWSETTINGS goes only
 * to the main window, which is no dialog. UM_PLACEIMD goes to the Immediate
 * window, a dialog: its handler must return TRUE, or the dialog manager
 * also runs DM_REPOSITION and pulls the window back inside the screen. */
#define UM_SHOWSETTINGS 1025 /* WM_USER+1, to the main window */
#define UM_PLACEIMD     1026 /* WM_USER+2, to the Immediate window */
#define UM_PLACERESULT  1027 /* WM_USER+3, to the Result window */

/* Origin markers, carried in lParam of IDM_SHOWRESULT, IDM_SHOWIMD and the
 * IDC_FLOAT relay. Any other value is a command of the user. */
#define ORIGIN_SETTINGS 10
#define ORIGIN_IMD      11
#define ORIGIN_RESULT   12

/* String table: the start-up failure messages. */
#define IDS_REGISTER_FAILED 1 /* "Error registering window class" */
#define IDS_CREATE_FAILED   2 /* "Window creation failed!" */

/* ---- "SettingDlg": the Settings dialog --------------------------------- */
/* Accelerators used: aacdefghijklmnoprstuvwxyz
 * Clash: "&ABOUT..." and "Write Z&ARL.INI" both take A; with two matches
 * Alt+A moves the focus between them instead of pressing the button. The
 * texts are the program's own and stay; only b and q are free. */

/* IDOK 1 "OK", IDCANCEL 2 "Cancel" */
#define IDC_END             3 /* "&END ZARL" */
#define IDC_OPERATING       1000
#define IDC_SHIFTJIS        1001
#define IDC_SEPARATORS      1002
#define IDC_RESULTWINDOW    1003
#define IDC_PREFIX          1004
#define IDC_SUFFIX          1005
#define IDC_ANGLEGROUP      1006
#define IDC_RADIAN          1007
#define IDC_DEGREE          1008
#define IDC_WRITEINI        1009
#define IDC_CONSTNAME       1010
#define IDC_IMDWINDOW       1011
#define IDC_CONSTVALUE      1014
#define IDC_NAMELABEL       1015
#define IDC_CONSTGROUP      1016
#define IDC_VALUELABEL      1017
#define IDC_CONSTLIST       1018
#define IDC_ADDCONST        1019
#define IDC_DELCONST        1020
#define IDC_HELPBUTTON      1021
#define IDC_ABOUTBUTTON     1022
#define IDC_DELAY           1023
#define IDC_DELAYLABEL      1026
#define IDC_FORMATGROUP     1028
#define IDC_TYPE            1029
#define IDC_TYPELABEL       1030
#define IDC_PRECISIONLABEL  1031
#define IDC_PRECISION       1032
#define IDC_SIGN            1033
#define IDC_KEYLABEL        1035
#define IDC_KEYGROUP        1036
#define IDC_KEY             1037
#define IDC_HEXFORM         1041
#define IDC_NOCOPY          1042
#define IDC_ATTACH          1045
/* "Hexadeci&mal" has the anonymous id, but context help still tells it
 * apart: it is the only IDC_STATIC control of this dialog. The template is
 * a DIALOGEX, whose ids are 32 bits wide, so the id reads back as -1 (a
 * plain DIALOG would give 65535). */
#define IDC_HEXLABEL        IDC_STATIC

/* Help contexts in ZARL.HLP (WM_HELP, HELP_CONTEXT), one per control. */
#define HIDC_OPERATING      111
#define HIDC_SHIFTJIS       121
#define HIDC_SEPARATORS     131
#define HIDC_FORMATGROUP    131
#define HIDC_TYPE           131
#define HIDC_TYPELABEL      131
#define HIDC_PRECISIONLABEL 131
#define HIDC_PRECISION      131
#define HIDC_SIGN           131
#define HIDC_HEXLABEL       131
#define HIDC_HEXFORM        131
#define HIDC_NOCOPY         141
#define HIDC_DELAY          151
#define HIDC_DELAYLABEL     151
#define HIDC_RESULTWINDOW   161
#define HIDC_IMDWINDOW      166
#define HIDC_ATTACH         168
#define HIDC_PREFIX         171
#define HIDC_SUFFIX         171
#define HIDC_KEYLABEL       171
#define HIDC_KEYGROUP       171
#define HIDC_KEY            171
#define HIDC_ANGLEGROUP     181
#define HIDC_RADIAN         181
#define HIDC_DEGREE         181
#define HIDC_WRITEINI       191
#define HIDC_CONSTNAME      201
#define HIDC_CONSTVALUE     201
#define HIDC_NAMELABEL      201
#define HIDC_CONSTGROUP     201
#define HIDC_VALUELABEL     201
#define HIDC_CONSTLIST      201
#define HIDC_ADDCONST       201
#define HIDC_DELCONST       201
/* Every other control: OK, Cancel, "&END ZARL", "&HELP", "&ABOUT...". */
#define HELP_SETTINGSDEFAULT 1

/* ---- "ABOUTDLG": the About box ----------------------------------------- */
/* Accelerators used: none */

/* IDOK 1 "OK"; the icon and the two fixed lines are IDC_STATIC. */
#define IDC_VERSION         1048 /* "Version #.##", replaced at opening */

/* ---- "ResultDlg": the Result window ------------------------------------ */
/* Accelerators used: none */

#define IDC_COPY            1038
#define IDC_FLOAT           1039 /* the same id in "ImdDlg": the float relay
                                    sends WM_COMMAND IDC_FLOAT to the partner */
#define IDC_HISTORY         1040

/* One help context for the whole window, whichever control asks. */
#define HELP_RESULTWINDOW   1001

/* ---- "ImdDlg": the Immediate window ------------------------------------ */
/* Accelerators used: c */

#define IDC_CLEAR           3    /* "&C" */
/* IDC_FLOAT 1039 "Float", as in "ResultDlg" */
#define IDC_EXPRESSION      1043
#define IDC_EVALUATE        1044 /* "=", the default button */

/* One help context for the whole window, whichever control asks. */
#define HELP_IMDWINDOW      2001

#endif /* ZARL_RESOURCE_H */
