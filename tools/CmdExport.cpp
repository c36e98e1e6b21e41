// kelvotool export FILE persons --format tab|csv|blackberry|labels|vcard21
//                   [--category NAME] [--out PATH]
// writes the persons the address view would offer for that export (active,
// with an e-mail, or for every format but csv an e-mail or a home phone), in
// name order, of the category or of all, to PATH or to standard output. The
// database is only read.

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "data/CDatabase.h"
#include "data/ItemSortKeys.h"
#include "exchange/CContactExport.h"
#include "exchange/CExportFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "tools/CToolCommands.h"

namespace {

const char kUsage[] =
    "usage: kelvotool export FILE persons --format tab|csv|blackberry|labels|vcard21 [--category NAME] "
    "[--out PATH]";

char KindOfFormat(const std::string& sFormat) {
  static const std::map<std::string, char> kKinds = {
      {"tab", 'T'}, {"csv", 'E'}, {"blackberry", 'B'}, {"labels", 'L'}, {"vcard21", 'V'}};
  const auto it = kKinds.find(sFormat);
  return it == kKinds.end() ? 0 : it->second;
}

struct stExportArgs {
  std::string sFile, sCategory, sOut;
  char cKind = 0;
  bool bCategory = false, bOut = false;
};

bool ParseArgs(const std::vector<std::string>& args, stExportArgs& a) {
  if (args.size() < 2 || args[1] != "persons") return false;
  a.sFile = args[0];
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    const std::string& sValue = args[i + 1];
    if (args[i] == "--format" && !a.cKind) {
      a.cKind = KindOfFormat(sValue);
      if (!a.cKind) return false;
    } else if (args[i] == "--category" && !a.bCategory) {
      a.sCategory = sValue;
      a.bCategory = true;
    } else if (args[i] == "--out" && !a.bOut && !sValue.empty()) {
      a.sOut = sValue;
      a.bOut = true;
    } else {
      return false;
    }
  }
  return a.cKind != 0;
}

// The codes of the categories of that name.
std::vector<uint32_t> CategoryCodes(const CDatabase& db, const std::string& sName) {
  std::vector<uint32_t> na;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_CATEGORY))
    if (static_cast<const CCategory&>(*e.m_pItem).m_sName == sName) na.push_back(e.m_nCode);
  return na;
}

// The persons to export, in the address view's name order (equal names by code).
std::vector<const CPerson*> ChosenPersons(const CDatabase& db, const stExportArgs& a,
                                          const std::vector<uint32_t>& naCategories) {
  std::vector<const CPerson*> pa;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_PERSON)) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    const bool bInCategory = !a.bCategory || std::any_of(naCategories.begin(), naCategories.end(),
                                                         [&](uint32_t n) { return p.IsCategorySelected(n); });
    if (bInCategory && CContactExport::IsEligible(a.cKind, p)) pa.push_back(&p);
  }
  std::sort(pa.begin(), pa.end(), [](const CPerson* x, const CPerson* y) {
    const int n = ComparePersonKeys(*x, *y);
    return n != 0 ? n < 0 : x->m_nCode < y->m_nCode;
  });
  return pa;
}

const CToolCommand kExport(
    "export", "export FILE persons --format tab|csv|blackberry|labels|vcard21 [--category NAME] [--out PATH]",
    [](const std::vector<std::string>& args) -> int {
      stExportArgs a;
      if (!ParseArgs(args, a)) return ToolError(kUsage);
      CTerminalUi ui(IDNO);
      CScopedUi scope(ui);
      CDatabase db;
      if (!ToolLoadForReading(db, a.sFile)) return ToolError("cannot read " + ToolDbmPath(a.sFile));
      const std::vector<uint32_t> naCategories = CategoryCodes(db, a.sCategory);
      if (a.bCategory && naCategories.empty())
        return ToolError("no category '" + a.sCategory + "' in " + ToolDbmPath(a.sFile));
      const std::vector<const CPerson*> pa = ChosenPersons(db, a, naCategories);
      std::string sError;
      const bool bOk = a.bOut ? CContactExport::WriteFile(a.cKind, pa, a.sOut, sError)
                              : CExportFile::WriteDescriptor(STDOUT_FILENO, CContactExport::Text(a.cKind, pa),
                                                             "standard output", sError);
      if (!bOk) return ToolError(sError);
      if (a.bOut) std::cout << pa.size() << " persons written to " << a.sOut << "\n";
      return TOOL_OK;
    });

}  // namespace
