/* Resource and menu command numbers, shared by the resource script and the program. Plain
   macros, so that the resource compiler can read them too. */
#ifndef QM_RESOURCE_IDS_H
#define QM_RESOURCE_IDS_H

#define IDR_MAIN_MENU 101
#define IDI_MAIN_ICON 102

#define IDM_EXIT 40001
#define IDM_ABOUT 40002
#define IDM_USE_DEFAULT_PRINTER 40003
#define IDM_PRINT_TO_SCREEN 40005
#define IDM_DISPLAY_STATUS 40006
#define IDM_REPRINT_LAST_JOB 40007
#define IDM_OPEN_MINIMIZED 40009
#define IDM_PAUSE_PAGES 40010
#define IDM_SCAN_MISSED_JOBS 40011
#define IDM_SAVE_AS_BMP 40012

#endif
