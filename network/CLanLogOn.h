#pragma once
// Log-on of a copy to a shared database and the choice of the lock manager.
// The lock manager is always the computer that holds the database file: this
// computer for a file on its own disk, the share's computer otherwise, and it
// must have the database open for others to work together. A copy starts its
// LAN server, greets the others, refuses a second copy with its user number,
// checks that the lock manager is on line, and then follows computers coming
// and going. Everything here runs on the user-interface thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "network/CInboundQueue.h"
#include "network/CLanServer.h"
#include "network/CMainFramePoster.h"
#include "network/LanSettings.h"
#include "network/UserList.h"

class CDbEngine;
class CDialogWaitBox;

class CLanLogOn {
 public:
  static constexpr int kUserNumberWaitMs = 5000;

  CLanLogOn();
  virtual ~CLanLogOn();
  CLanLogOn(const CLanLogOn&) = delete;
  CLanLogOn& operator=(const CLanLogOn&) = delete;

  // Who this copy is; by default taken from the environment and the
  // installation settings when the server starts.
  void SetIdentity(const stLanIdentity& identity);
  const stLanIdentity& Identity() const { return m_identity; }
  // The listening address and port settings (kept in the installation settings).
  void SetListenSetting(const std::string& sAddress);
  void SetPortSetting(const std::string& sPort);
  // Where the main window's private message goes (codes 1, 2 and 3); it must
  // outlive the server (EndLanServer).
  void SetPoster(CMainFramePoster* pPoster) { m_pPoster = pPoster; }

  // Builds the user list and returns this computer's user number.
  uint8_t InitializeUserList(std::vector<stUserListEntry>& users);

  // Logs this copy on for the database file (its path). 1 to go on opening
  // the database, 0 to abandon it.
  int StartLanServer(CDbEngine& engine, const std::string& sDatabaseFile);
  // Stops and forgets the server; the user number returns to 0.
  void EndLanServer();
  // Stops the server and logs on again for the same database (after a change
  // of the computer list, the address or the port). 1 when that worked.
  int RestartLanServer();

  int IsDuplicateUser(CDialogWaitBox* pBox);
  int DetermineLockMngr(const std::string& sDatabaseFile, std::string& sError);
  void UpdateUserList();
  void LockManagerGoingOffline();
  // Connected peers plus one (1 without a server); shows the users pane.
  unsigned CountOnLine();
  int IsOnline(const std::string& sComputer) const;
  int IsOnline(uint8_t nUserNumber) const;

  CLanServer* Server() const { return m_pServer.get(); }
  CInboundQueue& InboundQueue() { return m_queue; }
  const std::string& ThisComputerName() const { return m_sComputerName; }
  const std::string& ServerComputerName() const { return m_sServerComputer; }
  const std::string& LockMngrName() const { return m_sLockMngrName; }
  bool LockMngrOnLine() const { return m_bLockMngrOnLine; }
  // True once the close of the database was posted because the lock manager
  // went off line; false again after EndLanServer.
  bool CloseRequested() const { return m_bCloseRequested; }
  bool IsThisTheLockManager() const {
    return !m_sLockMngrName.empty() && m_sLockMngrName == m_sComputerName;
  }
  uint8_t UserNumber() const { return m_nUserNumber; }

 protected:
  // The engine this log-on serves, between StartLanServer and EndLanServer.
  virtual void AttachEngine(CDbEngine& engine);
  virtual void DetachEngine();
  // The server is about to send its log-off and stop.
  virtual void BeforeServerStops() {}
  void Post(int nCode);
  // Brings the engine's users-on-line count in step with the peer table.
  void RecountUsers();

  CDbEngine* m_pEngine = nullptr;
  CMainFramePoster* m_pPoster = nullptr;
  std::unique_ptr<CLanServer> m_pServer;
  CInboundQueue m_queue;
  stLanIdentity m_identity;
  bool m_bIdentityFixed = false;
  std::string m_sComputerName;
  std::string m_sServerComputer;
  std::string m_sDatabaseFile;
  std::string m_sLockMngrName;
  bool m_bLockMngrOnLine = false;
  bool m_bCloseRequested = false;
  uint8_t m_nUserNumber = 0;

 private:
  int StartServer(const std::string& sDatabaseFile, CDialogWaitBox* pBox);
  void WaitForUserNumbers(CDialogWaitBox* pBox);
  // The first connected peer whose user number is still unknown; empty when none.
  std::string SilentPeer() const;
  void RequestClose();
  int CheckLockManager(const std::string& sDatabaseFile, CDialogWaitBox* pBox);

  bool m_bInUserListUpdate = false;
};
