#include "views/ViewCodes.h"

std::string ViewStatusText(int nCode) {
  switch (nCode) {
    case VIEW_CALENDAR: return "Grid";
    case VIEW_CALCULATOR: return "Calc";
    case VIEW_MAILLIST: return "Form";
    default: return "Text";
  }
}

std::string ViewTitleLabel(int nCode, int nMode) {
  switch (nCode) {
    case VIEW_SCHEDULE: return "SCHEDULE";
    case VIEW_CALENDAR:
      return nMode == CALENDAR_WEEKLY ? "WEEKLY" : nMode == CALENDAR_MONTHLY ? "MONTHLY" : "DAILY";
    case VIEW_ADDRESS: return "ADDRESSES";
    case VIEW_LOG: return "LOG";
    case VIEW_CALCULATOR: return "CALCULATOR";
    case VIEW_MAILLIST: return "MAIL LIST";
    default: return "";
  }
}
