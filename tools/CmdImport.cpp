// kelvotool import FILE TABLE PATH [OPTIONS]: imports a file into a table of
// the database, through the same item operations the program uses (locks,
// refresh, notices). The command dispatches on the table name to the table's
// importer (see tools/CmdImport.h).
//   import FILE persons PATH.vcf [--duplicates skip|merge|add]
// reads a vCard 2.1, 3.0 or 4.0 file, prints the preview (persons read, new,
// likely duplicates) and imports: new persons are added, and the likely
// duplicates skipped (the default), merged into their persons (empty fields
// filled, categories added) or added as new persons.

#include "tools/CmdImport.h"

#include <iostream>

#include "data/CTableManager.h"
#include "exchange/CVCardImport.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "tools/CToolCommands.h"

namespace {

std::vector<const CToolImporter*>& Importers() {
  static std::vector<const CToolImporter*> v;
  return v;
}

std::string Usage() {
  std::string s = "usage:";
  for (const CToolImporter* p : CToolImporter::All())
    s += std::string(s == "usage:" ? " " : "\n       ") + "kelvotool import FILE " + p->m_pTable + " " +
         p->m_pArguments;
  return s;
}

const CToolCommand kImport(
    "import",
    "import FILE TABLE PATH [OPTIONS]   import a file into a table ('kelvotool import' "
    "lists the tables and their options)",
    [](const std::vector<std::string>& args) {
      const CToolImporter* p = args.size() >= 3 ? CToolImporter::Find(args[1]) : nullptr;
      if (!p) return ToolError(Usage());
      return p->m_fnImport(args[0], args[2], std::vector<std::string>(args.begin() + 3, args.end()));
    });

// ---- persons ----

bool DuplicateMode(const std::vector<std::string>& options, eDuplicateMode& nMode) {
  nMode = eDuplicateMode::Skip;
  if (options.empty()) return true;
  if (options.size() != 2 || options[0] != "--duplicates") return false;
  if (options[1] == "skip") return true;
  nMode = options[1] == "merge" ? eDuplicateMode::Merge : eDuplicateMode::Add;
  return options[1] == "merge" || options[1] == "add";
}

int ImportPersons(const std::string& sFile, const std::string& sPath,
                  const std::vector<std::string>& options) {
  eDuplicateMode nMode = eDuplicateMode::Skip;
  if (!DuplicateMode(options, nMode)) return ToolError(Usage());
  std::string sText;
  if (!ReadWholeFile(sPath, sText)) return ToolError("cannot read " + sPath);
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CTableManager db;
  if (!db.OpenDatabase(ToolRootName(sFile), 0)) return ToolError("cannot open " + ToolDbmPath(sFile));
  CVCardImport import(db);
  import.Prepare(sText);
  std::cout << import.PreviewText() << "\n";
  import.Run(nMode);
  db.CloseDatabase();
  std::cout << import.SummaryText() << "\n";
  return import.Counts().nFailed ? TOOL_FAULTS : TOOL_OK;
}

const CToolImporter kPersons("persons", "PATH.vcf [--duplicates skip|merge|add]", ImportPersons);

}  // namespace

CToolImporter::CToolImporter(const char* pTable, const char* pArguments, ImportMain fn)
    : m_pTable(pTable), m_pArguments(pArguments), m_fnImport(fn) {
  Importers().push_back(this);
}

const std::vector<const CToolImporter*>& CToolImporter::All() { return Importers(); }

const CToolImporter* CToolImporter::Find(const std::string& sTable) {
  for (const CToolImporter* p : Importers())
    if (sTable == p->m_pTable) return p;
  return nullptr;
}
