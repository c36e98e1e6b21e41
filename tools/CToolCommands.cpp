#include "tools/CToolCommands.h"

#include <iostream>

#include "data/CDatabase.h"

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

namespace {
bool HasDbmExtension(const std::string& sFile) {
  const std::string sExt = ".dbm";
  return sFile.size() > sExt.size() && sFile.compare(sFile.size() - sExt.size(), sExt.size(), sExt) == 0;
}
}  // namespace

std::string ToolRootName(const std::string& sFile) {
  return HasDbmExtension(sFile) ? sFile.substr(0, sFile.size() - 4) : sFile;
}

std::string ToolDbmPath(const std::string& sFile) {
  return HasDbmExtension(sFile) ? sFile : sFile + ".dbm";
}

int ToolLoadForReading(CDatabase& db, const std::string& sFile) {
  std::vector<std::string> saProblems;
  const int nOk = db.OpenDatabaseForReading(ToolRootName(sFile), saProblems);
  for (const auto& s : saProblems) std::cerr << "kelvotool: " << s << "\n";
  return nOk;
}
