#pragma once
// The table manager's multi-user side over the LAN: the user list from the
// computer list, the LAN server with log-on, and the lock manager that grants
// locks and carries change notices. The program's main frame and the headless
// session install one with CDatabase::SetNetwork.

#include <string>

#include "data/CDatabaseNetwork.h"
#include "network/CLockManager.h"

class CLanDatabaseNetwork : public CDatabaseNetwork {
 public:
  void InitializeUserList(CDatabase& db) override;
  int StartLanServer(CDatabase& db, const std::string& sDatabaseFile) override;
  void EndLanServer(CDatabase& db) override;

  CLockManager& Lan() { return m_lan; }
  const CLockManager& Lan() const { return m_lan; }

 private:
  CLockManager m_lan;
};
