#pragma once
// The codes of the main frame's seven views, their sub-modes, and the texts
// the frame shows for them (status pane and title bar).

#include <string>

enum eViewCode : int {
  VIEW_SCHEDULE = 0,
  VIEW_CALENDAR = 1,
  VIEW_ADDRESS = 2,
  VIEW_LOG = 3,
  VIEW_CALCULATOR = 4,
  VIEW_MAILLIST = 5,
  VIEW_DATABASE = 6,
  VIEW_COUNT = 7,
};

// Sub-modes: the calendar's grids and the log's notes mode.
enum eViewMode : int {
  CALENDAR_DAILY = 0,
  CALENDAR_WEEKLY = 1,
  CALENDAR_MONTHLY = 2,
  LOG_NORMAL = 0,
  LOG_NOTES = 1,
};

// "Text", "Grid", "Calc" or "Form".
std::string ViewStatusText(int nCode);
// "SCHEDULE", "DAILY", ... as the title bar shows it; empty for the dump.
std::string ViewTitleLabel(int nCode, int nMode);
