// kelvotool maillist FILE phone|labels|envelopes [--category NAME] [--person CODE]
//                   [--sort name|zip] [--print-file PATH]
// lays the persons out as the mail list view does, in the layouts and with
// the return address of Kelvo.cfg in the program folder: every person, or
// those of the category, or the one person. Without --print-file it writes
// the lines as the view shows them to standard output; with it, it writes
// them as a print file (rows and envelopes as blocks, sheet breaks, person
// data literal) that the program's print engine prints as it is. The
// database is only read.

#include <iostream>
#include <map>

#include "data/CTableManager.h"
#include "print/CPrintFile.h"
#include "support/CConfigFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"
#include "views/CMailListView.h"

namespace {

const char kUsage[] =
    "usage: kelvotool maillist FILE phone|labels|envelopes [--category NAME] [--person CODE] "
    "[--sort name|zip] [--print-file PATH]";

struct stMaillistArgs {
  std::string sFile, sCategory, sPrintFile;
  int nKind = 0;
  int nSort = CMailListView::SORT_BY_NAME;
  uint32_t nPerson = DB_NONE;
  bool bCategory = false;
};

bool ParseArgs(const std::vector<std::string>& args, stMaillistArgs& a) {
  static const std::map<std::string, int> kKinds = {
      {"phone", MAIL_PHONE_LIST}, {"labels", MAIL_LABELS}, {"envelopes", MAIL_ENVELOPES}};
  if (args.size() < 2 || !kKinds.count(args[1])) return false;
  a.sFile = args[0];
  a.nKind = kKinds.at(args[1]);
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    const std::string& sValue = args[i + 1];
    long long n = 0;
    if (args[i] == "--category" && !a.bCategory) {
      a.sCategory = sValue;
      a.bCategory = true;
    } else if (args[i] == "--person" && ParseInt(sValue, n) && n >= 0 && n < DB_NONE) {
      a.nPerson = uint32_t(n);
    } else if (args[i] == "--sort" && (sValue == "name" || sValue == "zip")) {
      a.nSort = sValue == "zip" ? CMailListView::SORT_BY_ZIP : CMailListView::SORT_BY_NAME;
    } else if (args[i] == "--print-file" && !sValue.empty()) {
      a.sPrintFile = sValue;
    } else {
      return false;
    }
  }
  return true;
}

std::vector<uint32_t> CategoryCodes(const CDatabase& db, const std::string& sName) {
  std::vector<uint32_t> na;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_CATEGORY))
    if (static_cast<const CCategory&>(*e.m_pItem).m_sName == sName) na.push_back(e.m_nCode);
  return na;
}

int WritePrintFile(const std::string& sPath, const std::vector<stMailLine>& lines,
                   const stFormatRecord& format) {
  auto pFile = CPrintFile::OpenPrintFile(sPath);
  if (!pFile) return ToolError("cannot create " + sPath);
  const bool bWritten = CMailListFormat::WriteLines(*pFile, lines, format) == 1;
  if (pFile->ClosePrintFile() != 1 || !bWritten) return ToolError("cannot write " + sPath);
  std::cout << lines.size() << " lines written to " << sPath << "\n";
  return TOOL_OK;
}

const CToolCommand kMaillist(
    "maillist",
    "maillist FILE phone|labels|envelopes [--category NAME] [--person CODE] [--sort name|zip] "
    "[--print-file PATH]",
    [](const std::vector<std::string>& args) -> int {
      stMaillistArgs a;
      if (!ParseArgs(args, a)) return ToolError(kUsage);
      CTerminalUi ui(IDNO);
      CScopedUi scope(ui);
      CConfigFile::ReadFile(ProgramFile("Kelvo.cfg"), AppSettings());
      CTableManager db;
      if (!ToolLoadForReading(db, a.sFile)) return ToolError("cannot read " + ToolDbmPath(a.sFile));
      const std::vector<uint32_t> naCategories = CategoryCodes(db, a.sCategory);
      if (a.bCategory && naCategories.empty())
        return ToolError("no category '" + a.sCategory + "' in " + ToolDbmPath(a.sFile));
      const std::vector<const CPerson*> persons =
          CMailListView::ChosenPersons(db, CMailListView::PersonCodes(db, a.nSort), a.nPerson, naCategories);
      const stMailList layout = CMailListView::LayoutOf(a.nKind);
      const std::vector<stMailLine> lines =
          CMailListFormat::FormatLines(a.nKind, persons, layout, AppSettings().saReturnAddress);
      if (!a.sPrintFile.empty())
        return WritePrintFile(a.sPrintFile, lines, CMailListFormat::MaillistToFormat(layout, a.nKind));
      for (const stMailLine& l : lines)
        std::cout << (l.nBlock < 0 ? CMailListView::PageBreakText() : l.sText) << "\n";
      return TOOL_OK;
    });

}  // namespace
