// kelvotool test FILE: the integrity test of a database file, read-only.
// FILE may be given with or without ".dbm".
// kelvotool repair FILE [--yes|--no]: the repair, after a backup copy
// FILE.before-repair; the questions are asked on the terminal or answered by
// --yes / --no.
//
// Exit status: 0 the file is sound (after the repair), 1 faults were found
// (remain), 2 the file could not be read or repaired.

#include <iostream>

#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"
#include "network/NetworkHelpers.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/CScriptedUi.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

// The user number of this copy: the last number of this computer's address.
uint8_t ThisUserNumber() {
  std::string sHost, sAddress;
  GetThisComputerInfo(sHost, sAddress);
  long long n = 0;
  const size_t nDot = sAddress.rfind('.');
  if (nDot == std::string::npos || !ParseInt(sAddress.substr(nDot + 1), n) || n < 0 || n > 255)
    return 0;
  return uint8_t(n);
}

void PrintReport(const std::vector<std::string>& saReport) {
  for (const auto& s : saReport) std::cout << s << "\n";
  std::cout.flush();
}

// The test of a file opened only for reading, as a second database object
// does it; bAlone tells whether no other copy has the file open.
int TestOnly(const std::string& sPath, std::vector<std::string>& saReport, bool& bAlone) {
  CDbEngine engine;
  if (!engine.OpenDBForReading(sPath)) return TOOL_ERROR;
  CDbRepair repair(engine);
  const int n = repair.TestAndRepairDatabase(0, saReport);
  bAlone = engine.IsAloneOnFile();
  engine.CloseDB();
  if (repair.ReadFailed()) return TOOL_ERROR;
  return n ? TOOL_OK : TOOL_FAULTS;
}

int RunRepair(const std::string& sPath) {
  std::vector<std::string> saTest;
  bool bAlone = false;
  const int nTest = TestOnly(sPath, saTest, bAlone);
  if (nTest == TOOL_ERROR || nTest == TOOL_OK || !bAlone) PrintReport(saTest);
  if (nTest != TOOL_FAULTS) return nTest;
  if (!bAlone) return ToolError("repair needs the other copies to close " + sPath);

  const std::string sBackup = sPath + ".before-repair";
  if (FileExists(sBackup)) return ToolError(sBackup + " exists; move it away first");
  if (!FileCopy(sPath, sBackup, true)) return ToolError("cannot write " + sBackup);
  std::cerr << "kelvotool: backup copy " << sBackup << "\n";

  CDbEngine engine;
  engine.m_nUserNumber = ThisUserNumber();
  engine.SetOpenForRepair(true);
  if (engine.OpenDB(sPath, false) == eOpenResult::Failed) return TOOL_ERROR;
  CDbRepair repair(engine);
  std::vector<std::string> saReport;
  repair.TestAndRepairDatabase(1, saReport);
  PrintReport(saReport);
  if (repair.RepairRefused() || repair.ReadFailed()) {
    engine.CloseDB();
    return ToolError("the file was not repaired");
  }
  std::vector<std::string> saAfter;
  const int nAfter = CDbRepair(engine).TestAndRepairDatabase(0, saAfter);
  engine.CloseDB();
  std::cerr << (nAfter ? "kelvotool: the file is sound now\n"
                       : "kelvotool: problems remain (kelvotool test lists them)\n");
  return nAfter ? TOOL_OK : TOOL_FAULTS;
}

const CToolCommand kTest("test", "test FILE            integrity test of a database file (read-only)",
                         [](const std::vector<std::string>& args) {
                           if (args.size() != 1) return ToolError("usage: kelvotool test FILE");
                           CTerminalUi ui;
                           CScopedUi scope(ui);
                           std::vector<std::string> saReport;
                           bool bAlone = false;
                           const int n = TestOnly(ToolDbmPath(args[0]), saReport, bAlone);
                           PrintReport(saReport);
                           return n;
                         });

const CToolCommand kRepair(
    "repair", "repair FILE [--yes|--no]  repair a database file (backup FILE.before-repair)",
    [](const std::vector<std::string>& args) {
      std::string sPath;
      int nAnswer = 0;
      for (const auto& s : args) {
        if (s == "--yes" || s == "--no") {
          nAnswer = s == "--yes" ? IDYES : IDNO;
        } else if (sPath.empty()) {
          sPath = s;
        } else {
          sPath.clear();
          break;
        }
      }
      if (sPath.empty()) return ToolError("usage: kelvotool repair FILE [--yes|--no]");
      CTerminalUi ui(nAnswer);
      CScopedUi scope(ui);
      return RunRepair(ToolDbmPath(sPath));
    });

}  // namespace
