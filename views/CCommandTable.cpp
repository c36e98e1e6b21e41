#include "views/CCommandTable.h"

void CCommandTable::Add(int nId, std::string sMenu, std::string sText, eEnable enable,
                        std::function<void()> fnRun, std::string sShortcut) {
  stCommand row;
  row.nId = nId;
  row.sMenu = std::move(sMenu);
  row.sText = std::move(sText);
  row.sShortcut = std::move(sShortcut);
  row.enable = enable;
  row.fnRun = std::move(fnRun);
  m_caRows.push_back(std::move(row));
}

void CCommandTable::SetChecked(int nId, std::function<bool()> fnChecked) {
  for (stCommand& row : m_caRows)
    if (row.nId == nId) {
      row.fnChecked = std::move(fnChecked);
      return;
    }
}

void CCommandTable::Separator(const std::string& sMenu) {
  stCommand row;
  row.sMenu = sMenu;
  m_caRows.push_back(std::move(row));
}

const stCommand* CCommandTable::Find(int nId) const {
  if (nId == 0) return nullptr;
  for (const stCommand& row : m_caRows)
    if (row.nId == nId) return &row;
  return nullptr;
}

bool CCommandTable::IsEnabled(const stCommand& command, bool bDatabaseOpen) {
  switch (command.enable) {
    case eEnable::DatabaseOpen: return bDatabaseOpen;
    case eEnable::DatabaseClosed: return !bDatabaseOpen;
    default: return true;
  }
}

bool CCommandTable::Run(int nId, bool bDatabaseOpen) const {
  const stCommand* pRow = Find(nId);
  if (!pRow) return false;
  if (IsEnabled(*pRow, bDatabaseOpen) && pRow->fnRun) pRow->fnRun();
  return true;
}
