#include "data/CLanDatabaseNetwork.h"

#include <vector>

#include "data/CDatabase.h"

void CLanDatabaseNetwork::InitializeUserList(CDatabase& db) {
  std::vector<stUserListEntry> users;
  db.m_nUserNumber = m_lan.InitializeUserList(users);
  db.m_caUsers.clear();
  for (const auto& u : users) db.m_caUsers.push_back({u.m_sName, u.m_nUserNumber, u.m_nNameCheck});
}

int CLanDatabaseNetwork::StartLanServer(CDatabase& db, const std::string& sDatabaseFile) {
  return m_lan.StartLanServer(db, sDatabaseFile);
}

void CLanDatabaseNetwork::EndLanServer(CDatabase& /*db*/) { m_lan.EndLanServer(); }
