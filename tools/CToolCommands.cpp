#include "tools/CToolCommands.h"

#include <iostream>

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
