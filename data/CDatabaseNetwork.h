#pragma once
// The multi-user side of opening and closing a database: the user list and
// the LAN server. The network layer implements this interface and installs it
// with CDatabase::SetNetwork. While none is installed the table manager takes
// the path of a copy with networking disabled: the user list holds this
// computer alone, no LAN server is started, and the copy works alone on the
// file (other copies are still kept out by the presence lock and the lock
// bytes in the file).

#include <cstdint>
#include <string>
#include <vector>

class CDatabase;

// One user of the database: a computer of the computer list.
struct stUser {
  std::string m_sName;         // computer name
  int m_nUserNumber = 0;       // 0 to 255
  uint32_t m_nNameCheck = 0;   // GetCRC of the name
};

class CDatabaseNetwork {
 public:
  virtual ~CDatabaseNetwork() = default;

  // Builds db.m_caUsers and sets this computer's user number (db.m_nUserNumber).
  virtual void InitializeUserList(CDatabase& db) = 0;
  // Starts the LAN server for the database file (name with ".dbm"). 1 to go
  // on opening the database, 0 to abandon it.
  virtual int StartLanServer(CDatabase& db, const std::string& sDatabaseFile) = 0;
  // Stops and forgets the LAN server, if one runs.
  virtual void EndLanServer(CDatabase& db) = 0;
};
