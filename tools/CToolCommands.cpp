#include "tools/CToolCommands.h"

#include <algorithm>
#include <iostream>

#include "data/CDatabase.h"
#include "support/FileUtil.h"

namespace {
std::vector<CToolCommand*>& Registry() {
  static std::vector<CToolCommand*> v;
  return v;
}
}  // namespace

CToolCommand::CToolCommand(const char* pName, const char* pUsage, ToolMain fn)
    : m_pName(pName), m_pUsage(pUsage), m_fnMain(std::move(fn)) {
  Registry().push_back(this);
}

const std::vector<CToolCommand*>& CToolCommand::All() { return Registry(); }

const CToolCommand* CToolCommand::Find(const std::string& sName) {
  for (const auto* p : Registry())
    if (sName == p->m_pName) return p;
  return nullptr;
}

int ToolError(const std::string& sText) {
  std::cerr << "kelvotool: " << sText << "\n";
  return TOOL_ERROR;
}

bool ToolReadPassword(const std::string& sFile, std::string& sPassword) {
  std::string sText;
  if (!ReadWholeFile(sFile, sText)) return false;
  sPassword = sText.substr(0, sText.find_first_of("\r\n"));
  return true;
}

namespace {
bool HasDbmExtension(const std::string& sFile) {
  const std::string sExt = ".dbm";
  return sFile.size() > sExt.size() && sFile.compare(sFile.size() - sExt.size(), sExt.size(), sExt) == 0;
}
}  // namespace

std::string ToolRootName(const std::string& sFile) {
  return HasDbmExtension(sFile) ? sFile.substr(0, sFile.size() - 4) : sFile;
}

std::string ToolDbmPath(const std::string& sFile) { return HasDbmExtension(sFile) ? sFile : sFile + ".dbm"; }

int ToolLoadForReading(CDatabase& db, const std::string& sFile) {
  std::vector<std::string> saProblems;
  const int nOk = db.OpenDatabaseForReading(ToolRootName(sFile), saProblems);
  for (const auto& s : saProblems) std::cerr << "kelvotool: " << s << "\n";
  return nOk;
}

void PrintHeaderArea(CDbEngine& db, std::ostream& out) {
  uint8_t a[DB_HEADER_AREA_SIZE] = {};
  const uint32_t nSize = db.GetFileSizeFromHandle(db.FileHandle());
  const uint32_t nArea = nSize == DB_NONE ? 0 : std::min<uint32_t>(nSize, DB_HEADER_AREA_SIZE);
  if (nArea) db.ReadDbBlock(0, a, nArea, 0);
  out << "Format version: " << (nArea >= 4 ? GetUint32(a) : 0) << "\n";
  const uint32_t nClosed = nArea >= 8 ? GetUint32(a + LOC_CLOSED_OK) : 0;
  out << "Close status: " << nClosed
      << (nClosed == 1 ? " (closed properly)" : " (open, or not closed properly)") << "\n";
  out << "Database lock: " << unsigned(a[LOC_LOCKALLTABLES_FLAG]) << "\n";
  for (int t = DB_FIRST_TABLE; t <= DB_LAST_TABLE; ++t)
    out << "Table lock " << t << " (" << db.GetTableName(t)
        << "): " << unsigned(a[LOC_LOCKALLTABLES_FLAG + t]) << "\n";
}
