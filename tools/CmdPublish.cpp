// kelvotool publish FILE --month YYYY-MM [--out PAGE] [--upload]
// writes the calendar page of that month (the items the monthly calendar
// shows, and the unscheduled ones below it) to PAGE, by default
// "ZorEduvavoz.htm" in the program folder; with --upload it then sends it to
// the publishing account of Kelvo.cfg. The database is only read.

#include <iostream>

#include "comms/CFtpTransfer.h"
#include "data/CTableManager.h"
#include "exchange/CCalendarPage.h"
#include "support/CConfigFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"
#include "views/CCalendarView.h"

namespace {

const char kUsage[] = "usage: kelvotool publish FILE --month YYYY-MM [--out PAGE] [--upload]";

struct stPublishArgs {
  std::string sFile, sOut;
  int nYear = 0, nMonth = 0;
  bool bUpload = false;
};

// "YYYY-MM" with a month 1 to 12.
bool ParseMonth(const std::string& s, stPublishArgs& a) {
  long long nYear = 0, nMonth = 0;
  if (s.size() != 7 || s[4] != '-' || !ParseInt(s.substr(0, 4), nYear) || !ParseInt(s.substr(5), nMonth))
    return false;
  if (nYear < 100 || nMonth < 1 || nMonth > 12) return false;
  a.nYear = int(nYear);
  a.nMonth = int(nMonth);
  return true;
}

bool ParseArgs(const std::vector<std::string>& args, stPublishArgs& a) {
  if (args.empty()) return false;
  a.sFile = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--upload" && !a.bUpload) {
      a.bUpload = true;
    } else if (i + 1 < args.size() && args[i] == "--month" && !a.nMonth) {
      if (!ParseMonth(args[++i], a)) return false;
    } else if (i + 1 < args.size() && args[i] == "--out" && a.sOut.empty() && !args[i + 1].empty()) {
      a.sOut = args[++i];
    } else {
      return false;
    }
  }
  return a.nMonth != 0;
}

// The upload without a window; its failure text goes to stderr before the
// page's own message.
int UploadPage(const stFtpRequest& request) {
  std::string sError;
  const int nOk = RunFtpTransfer(request, nullptr, &sError);
  if (!nOk && !sError.empty()) std::cerr << "kelvotool: " << sError << (sError.back() == '\n' ? "" : "\n");
  return nOk;
}

const CToolCommand kPublish("publish", "publish FILE --month YYYY-MM [--out PAGE] [--upload]",
                            [](const std::vector<std::string>& args) -> int {
                              stPublishArgs a;
                              if (!ParseArgs(args, a)) return ToolError(kUsage);
                              CTerminalUi ui(IDNO);
                              CScopedUi scope(ui);
                              CConfigFile::ReadFile(ProgramFile("Kelvo.cfg"), AppSettings());
                              CTableManager db;
                              if (!ToolLoadForReading(db, a.sFile))
                                return ToolError("cannot read " + ToolDbmPath(a.sFile));
                              CCalendarView calendar(&db);
                              calendar.ShowMonth(a.nYear, a.nMonth);
                              calendar.RedrawGrid();
                              const std::string sPath = a.sOut.empty() ? CCalendarPage::PagePath() : a.sOut;
                              // Without --upload the page is only written, whatever account is set up.
                              const stFtpAccount account =
                                  a.bUpload ? AppSettings().publishAccount : stFtpAccount{};
                              const auto result =
                                  CCalendarPage::Publish(calendar.ListedItems(), sPath, account, UploadPage);
                              const bool bDone = result == CCalendarPage::ePublish::Uploaded ||
                                                 (result == CCalendarPage::ePublish::Written && !a.bUpload);
                              if (!bDone) return ToolError(CCalendarPage::PublishMessage(result, sPath));
                              return TOOL_OK;
                            });

}  // namespace
