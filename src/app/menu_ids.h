// The main menu's command ids and the program's resource numbers.
#pragma once

#include "resource_ids.h"

namespace qm {

inline constexpr int MenuMain = IDR_MAIN_MENU;
inline constexpr int IconMain = IDI_MAIN_ICON;

inline constexpr int MenuExit = IDM_EXIT;
inline constexpr int MenuAbout = IDM_ABOUT;
inline constexpr int MenuUseDefaultPrinter = IDM_USE_DEFAULT_PRINTER;
inline constexpr int MenuPrintToScreen = IDM_PRINT_TO_SCREEN;
inline constexpr int MenuDisplayStatus = IDM_DISPLAY_STATUS;
inline constexpr int MenuReprintLastJob = IDM_REPRINT_LAST_JOB;
inline constexpr int MenuOpenMinimized = IDM_OPEN_MINIMIZED;
inline constexpr int MenuPausePages = IDM_PAUSE_PAGES;
inline constexpr int MenuScanMissedJobs = IDM_SCAN_MISSED_JOBS;
inline constexpr int MenuSaveAsBmp = IDM_SAVE_AS_BMP;

} // namespace qm
