#include "network/CLanLogOn.h"

#include <chrono>
#include <thread>

#include "engine/CDbEngine.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/CDialogWaitBox.h"
#include "support/CFrameServices.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr int kUserNumberPollMs = 20;

// Guards the questions of the user-list update against a nested run from
// the events a question processes.
class CReentryGuard {
 public:
  explicit CReentryGuard(bool& bFlag) : m_bFlag(bFlag), m_bEntered(!bFlag) { m_bFlag = true; }
  ~CReentryGuard() {
    if (m_bEntered) m_bFlag = false;
  }
  bool Entered() const { return m_bEntered; }

 private:
  bool& m_bFlag;
  bool m_bEntered;
};

}  // namespace

CLanLogOn::CLanLogOn() = default;

CLanLogOn::~CLanLogOn() {
  if (m_pServer) m_pServer->DeleteLanServer();
}

void CLanLogOn::SetIdentity(const stLanIdentity& identity) {
  m_identity = identity;
  m_bIdentityFixed = true;
}

void CLanLogOn::SetListenSetting(const std::string& sAddress) {
  AppSettings().sLanServerAddress = sAddress;
  m_identity.m_sListenAddress = sAddress;
}

void CLanLogOn::SetPortSetting(const std::string& sPort) {
  AppSettings().sLanServerPort = sPort;
  m_identity.m_sPortText = sPort;
}

uint8_t CLanLogOn::InitializeUserList(std::vector<stUserListEntry>& users) {
  if (!m_bIdentityFixed) m_identity = CurrentLanIdentity();
  m_nUserNumber = BuildUserList(m_identity, users);
  return m_nUserNumber;
}

void CLanLogOn::AttachEngine(CDbEngine& engine) { m_pEngine = &engine; }

void CLanLogOn::DetachEngine() { m_pEngine = nullptr; }

void CLanLogOn::Post(int nCode) {
  if (m_pPoster) m_pPoster->PostMainFrameMessage(nCode);
}

int CLanLogOn::StartLanServer(CDbEngine& engine, const std::string& sDatabaseFile) {
  if (!m_bIdentityFixed) m_identity = CurrentLanIdentity();
  m_sComputerName = m_identity.m_sComputerName;
  m_sServerComputer = GetComputerFromFileName(sDatabaseFile, m_sComputerName);
  if (m_sServerComputer.empty()) return 0;
  AttachEngine(engine);
  m_sDatabaseFile = sDatabaseFile;
  m_nUserNumber = engine.m_nUserNumber;
  if (AppSettings().nNetworkDisable) {
    m_sLockMngrName.clear();
    m_bLockMngrOnLine = false;
    return 1;
  }
  // User number 0 means "not locked" in the lock bytes of the file: such a
  // copy could hold no lock that others see.
  if (m_nUserNumber == 0) {
    GetResponse(StrFormat("This computer's user number is 0 (address %s). A database can not be "
                          "shared from an address that ends in 0.",
                          m_identity.OwnAddress().c_str()),
                MB_OK);
    return 0;
  }
  CDialogWaitBox* pBox = StartWaitBox("Initialize local area network.", true);
  if (!StartServer(sDatabaseFile, pBox)) {
    EndWaitBox(pBox);
    return 0;
  }
  pBox->ChangeText("Test for duplicate user");
  WaitForUserNumbers(pBox);
  if (IsDuplicateUser(pBox)) {
    EndWaitBox(pBox);
    GetResponse("Duplicate user. Abort.", MB_OK);
    return 0;
  }
  // A peer that took the greeting but never answered it can not be told
  // apart from a twin: reachable one way only, it could not be coordinated.
  const std::string sSilent = SilentPeer();
  if (!sSilent.empty()) {
    EndWaitBox(pBox);
    GetResponse(StrFormat("Computer %s is on line but did not answer the log-on, so its user number "
                          "is not known. Abort.",
                          sSilent.c_str()),
                MB_OK);
    return 0;
  }
  return CheckLockManager(sDatabaseFile, pBox);
}

int CLanLogOn::StartServer(const std::string& sDatabaseFile, CDialogWaitBox* pBox) {
  const std::string sPortName =
      ToUpper(StrFormat("%s.%s", m_sServerComputer.c_str(), FileNameOf(sDatabaseFile).c_str()));
  m_pServer = std::make_unique<CLanServer>(m_identity);
  if (m_pServer->OnNewLanServer(m_pPoster, sPortName, m_nUserNumber, &m_queue, pBox)) {
    m_identity.m_sListenAddress = m_pServer->ListenAddress();
    m_sComputerName = m_pServer->ComputerName();
    return 1;
  }
  m_pServer->DeleteLanServer();
  m_pServer.reset();
  return GetResponse("Failed to connect to LAN server. Attempt to continue?", MB_YESNO) == IDYES;
}

void CLanLogOn::WaitForUserNumbers(CDialogWaitBox* pBox) {
  // A peer's user number arrives with its answer to the log-on; the
  // duplicate test is only sound once every connected peer has answered.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kUserNumberWaitMs);
  while (m_pServer && std::chrono::steady_clock::now() < deadline) {
    bool bAllKnown = true;
    for (const auto& peer : m_pServer->GetPeers())
      if (peer.m_nConnected && peer.m_nUserNumber == 255) bAllKnown = false;
    if (bAllKnown || (pBox && pBox->TestForAbort())) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(kUserNumberPollMs));
  }
}

int CLanLogOn::CheckLockManager(const std::string& sDatabaseFile, CDialogWaitBox* pBox) {
  pBox->ChangeText("Determine server computer");
  std::string sError;
  DetermineLockMngr(sDatabaseFile, sError);
  EndWaitBox(pBox);
  RecountUsers();
  if (m_bLockMngrOnLine) return 1;
  if (m_pServer && m_pServer->ConnectedCount() > 0) {
    GetResponse(StrFormat("The local area network server %s is not on line (does not have the "
                          "database open)\nbut another user is on line. Your log-on will be "
                          "aborted because two users can\nnot share the database unless the "
                          "server is on line to coordinate access",
                          m_sServerComputer.c_str()),
                MB_OK);
    return 0;
  }
  const std::string sQuestion = StrFormat(
      "READ THIS CAREFULLY\nAn error (%s) was encountered in linking to server computer: %s.\nYou "
      "should abort and check user list unless you are sure that:(1) the computer %s is turned on "
      "and connected to the network, and(2) no other users are accessing the database.\nDo you "
      "want to abort?",
      sError.c_str(), m_sServerComputer.c_str(), m_sServerComputer.c_str());
  return GetResponse(sQuestion, MB_YESNO) == IDYES ? 0 : 1;
}

void CLanLogOn::EndLanServer() {
  if (m_pServer) {
    BeforeServerStops();
    m_pServer->DeleteLanServer();
    m_pServer.reset();
  }
  m_queue.Clear();
  m_sLockMngrName.clear();
  m_bLockMngrOnLine = false;
  m_bCloseRequested = false;
  m_nUserNumber = 0;
  DetachEngine();
}

int CLanLogOn::RestartLanServer() {
  CDbEngine* pEngine = m_pEngine;
  const std::string sFile = m_sDatabaseFile;
  EndLanServer();
  if (!pEngine) return 0;
  // A log-on given up (a duplicate, the lock manager's warning) leaves no
  // server behind: networking is then off for this database.
  if (StartLanServer(*pEngine, sFile)) return 1;
  EndLanServer();
  return 0;
}

std::string CLanLogOn::SilentPeer() const {
  if (!m_pServer) return "";
  for (const auto& peer : m_pServer->GetPeers())
    if (peer.m_nConnected && peer.m_nUserNumber == 255) return peer.m_sName;
  return "";
}

int CLanLogOn::IsDuplicateUser(CDialogWaitBox* /*pBox*/) {
  if (!m_pServer) return 0;
  for (const auto& peer : m_pServer->GetPeers())
    if (peer.m_nConnected && peer.m_nUserNumber == m_nUserNumber) return 1;
  return 0;
}

int CLanLogOn::DetermineLockMngr(const std::string& /*sDatabaseFile*/, std::string& sError) {
  // A stale "on line" from an earlier run must not survive the look-up.
  m_bLockMngrOnLine = false;
  m_sLockMngrName.clear();
  if (m_sServerComputer == m_sComputerName) {
    m_sLockMngrName = m_sComputerName;
    m_bLockMngrOnLine = true;
    return 1;
  }
  sError = "Can't determine lock manager";
  if (!m_pServer) return 0;
  for (const auto& peer : m_pServer->GetPeers())
    if (peer.m_sName == m_sServerComputer) {
      m_sLockMngrName = peer.m_sName;
      m_bLockMngrOnLine = peer.m_nConnected == 1;
      sError = peer.m_sError;
      break;
    }
  return m_bLockMngrOnLine;
}

void CLanLogOn::UpdateUserList() {
  CReentryGuard guard(m_bInUserListUpdate);
  if (!guard.Entered() || !m_pServer) return;
  for (const auto& peer : m_pServer->GetPeers()) {
    if (m_sLockMngrName.empty() || peer.m_sName != m_sLockMngrName) continue;
    if (peer.m_nConnected && !m_bLockMngrOnLine) {
      GetResponse(StrFormat("Server %s coming on-line.\n", m_sLockMngrName.c_str()), MB_OK);
      m_bLockMngrOnLine = true;
    } else if (!peer.m_nConnected) {
      LockManagerGoingOffline();
    }
  }
  RecountUsers();
}

void CLanLogOn::LockManagerGoingOffline() {
  FrameServices().Beep(1000, 1000);
  KTRACE("Lock manager %s off line\n", m_sLockMngrName.c_str());
  if (m_pServer && m_pServer->ConnectedCount() > 0) {
    GetResponse(StrFormat("Server %s off-line. Database must be closed.\n", m_sLockMngrName.c_str()),
                MB_OK);
    RequestClose();
  } else if (GetResponse(StrFormat("Server %s off-line. Close database?\n", m_sLockMngrName.c_str()),
                         MB_YESNO) == IDYES) {
    RequestClose();
  } else {
    RecountUsers();
  }
  m_bLockMngrOnLine = false;
}

void CLanLogOn::RequestClose() {
  m_bCloseRequested = true;
  Post(MAINFRAME_CLOSE_DATABASE);
}

unsigned CLanLogOn::CountOnLine() {
  const unsigned nUsers = m_pServer ? unsigned(m_pServer->ConnectedCount()) + 1 : 1;
  FrameServices().StatusPaneUsers(int(nUsers));
  FrameServices().StatusPaneRefresh(true);
  return nUsers;
}

void CLanLogOn::RecountUsers() {
  if (m_pEngine && m_pEngine->LockManagerLink())
    m_pEngine->CountOnLine();
  else
    CountOnLine();
}

int CLanLogOn::IsOnline(const std::string& sComputer) const {
  if (sComputer == m_sComputerName) return 1;
  if (!m_pServer) return 0;
  for (const auto& peer : m_pServer->GetPeers())
    if (peer.m_sName == sComputer && peer.m_nConnected) return 1;
  return 0;
}

int CLanLogOn::IsOnline(uint8_t nUserNumber) const {
  if (nUserNumber == m_nUserNumber) return 1;
  if (!m_pServer) return 0;
  for (const auto& peer : m_pServer->GetPeers())
    if (peer.m_nUserNumber == nUserNumber && peer.m_nConnected) return 1;
  return 0;
}
