// kelvotool import FILE schedule PATH.ics
// reads an iCalendar file and adds its events and to-dos as schedule items,
// through the item operations the program uses, then prints the summary:
// how many were imported, and each item that could not be imported exactly
// or at all, with the reason. Exit status 1 when an item was not imported.

#include <iostream>

#include "data/CTableManager.h"
#include "exchange/CICalendarImport.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "tools/CToolCommands.h"
#include "tools/CmdImport.h"

namespace {

int ImportSchedule(const std::string& sFile, const std::string& sPath,
                   const std::vector<std::string>& options) {
  if (!options.empty()) return ToolError("usage: kelvotool import FILE schedule PATH.ics");
  std::string sText;
  if (!ReadWholeFile(sPath, sText)) return ToolError("cannot read " + sPath);
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CTableManager db;
  if (!db.OpenDatabase(ToolRootName(sFile), 0)) return ToolError("cannot open " + ToolDbmPath(sFile));
  stICalendarSummary summary;
  std::string sError;
  const bool bRead = CICalendarImport::Import(db, sText, summary, sError);
  db.CloseDatabase();
  if (!bRead) return ToolError(sPath + ": " + sError);
  std::cout << summary.Text() << "\n";
  return summary.nRefused || summary.nFailed ? TOOL_FAULTS : TOOL_OK;
}

const CToolImporter kSchedule("schedule", "PATH.ics", ImportSchedule);

}  // namespace
