#pragma once
// The tables "kelvotool import" can import into. Each table's importer is a
// static CToolImporter in a file of its own, so a table is added with that
// one line and nothing else changes:
//   const CToolImporter kPersons("persons", "PATH.vcf [--duplicates skip|merge|add]", ImportPersons);

#include <string>
#include <vector>

// FILE (the database), PATH (the file to import) and the options after PATH;
// returns the exit status.
using ImportMain = int (*)(const std::string& sFile, const std::string& sPath,
                           const std::vector<std::string>& options);

class CToolImporter {
 public:
  CToolImporter(const char* pTable, const char* pArguments, ImportMain fn);

  static const std::vector<const CToolImporter*>& All();
  static const CToolImporter* Find(const std::string& sTable);

  const char* m_pTable;
  const char* m_pArguments;  // what follows the table name in the usage text
  ImportMain m_fnImport;
};
