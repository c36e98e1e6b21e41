#include "network/CLockManager.h"

#include <algorithm>
#include <thread>

#include "engine/CDbEngine.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/UserPrompts.h"

CLockManager::CLockManager() = default;

CLockManager::~CLockManager() { DetachEngine(); }

void CLockManager::AttachEngine(CDbEngine& engine) {
  CLanLogOn::AttachEngine(engine);
  engine.SetLockManagerLink(this);
}

void CLockManager::DetachEngine() {
  if (m_pEngine && m_pEngine->LockManagerLink() == this) m_pEngine->SetLockManagerLink(nullptr);
  CLanLogOn::DetachEngine();
  m_caHeldBack.clear();
  m_caRetaken.clear();
  m_bRequestPending = false;
  m_caReceivedGrants.clear();
  // The locks of a closed database mean nothing to the next one opened.
  m_caGrantedLocks.clear();
  m_caLockRequests.clear();
}

// ------------------------------------------------------------ messages ----

std::string CLockManager::FormatNext(char cType, uint8_t nTable, uint32_t nKey) {
  return FormatLanMessage(ThisComputerName(), cType, UserNumber(), nTable, nKey, ++m_nMessageCounter);
}

std::string CLockManager::CreateMessage(char cType, uint8_t nTable, uint32_t nKey) {
  return Server() ? FormatNext(cType, nTable, nKey) : std::string();
}

int CLockManager::SendAnotherUserMessage(const std::string& sComputer, char cType, uint8_t nTable,
                                         uint32_t nKey) {
  if (!Server()) return 0;
  const std::string sText = CreateMessage(cType, nTable, nKey);
  KTRACE("Send to %s: %s\n", sComputer.c_str(), DisplayMessage(sText).c_str());
  const int nSent = Server()->SendOne(sComputer, sText);
  if (!nSent && sComputer == LockMngrName()) LockManagerGoingOffline();
  return nSent;
}

void CLockManager::SendThisUserMessage(char cType, uint8_t nTable, uint32_t nKey) {
  const std::string sText = FormatNext(cType, nTable, nKey);
  TraceMessage("Sent to", ThisComputerName(), sText);
  m_queue.Append(sText);
  Post(MAINFRAME_MESSAGES_WAITING);
}

void CLockManager::SendOnLineUsersMessage(char cType, uint8_t nTable, uint32_t nKey) {
  if (Server()) Server()->Broadcast(CreateMessage(cType, nTable, nKey));
}

void CLockManager::SendToLockManager(char cType, uint8_t nTable, uint32_t nKey) {
  if (Server() && !IsThisTheLockManager())
    SendAnotherUserMessage(LockMngrName(), cType, nTable, nKey);
  else
    SendThisUserMessage(cType, nTable, nKey);
}

void CLockManager::SendInTurn(char cType, uint8_t nTable, uint32_t nKey) {
  // Asked again while this copy's notice for the same lock still waits: the
  // message follows the notice, so the lock manager first hands the lock to
  // whoever asked before and serves this copy in its turn.
  const bool bBehind = std::any_of(m_caHeldBack.begin(), m_caHeldBack.end(), [&](const stHeldBack& h) {
    return h.m_nTable == nTable && h.m_nKey == nKey;
  });
  if (bBehind)
    HoldBack(cType, nTable, nKey, Clock::now(), Clock::now());
  else
    SendToLockManager(cType, nTable, nKey);
}

void CLockManager::SendLockMngrLockRequest(uint8_t nTable, uint32_t nKey) {
  SendInTurn(MSG_REQUESTLOCK, nTable, nKey);
}

void CLockManager::SendLockMngrUnlockNotice(uint8_t nTable, uint32_t nKey, bool bSettle) {
  if (!LockMngrOnLine()) return;
  if (!Server() || IsThisTheLockManager()) return SendToLockManager(MSG_DATAUNLOCKED, nTable, nKey);
  // The designed pause: what the holder wrote settles before the lock
  // manager hands the lock on. The notice waits here; the user goes on.
  const Clock::time_point tNow = Clock::now();
  Clock::time_point tDue = bSettle ? tNow + std::chrono::milliseconds(kUnlockDelayMs) : tNow;
  Clock::time_point tHeldSince = tNow;
  // A hold that took back an earlier notice owes that notice's pause too.
  const auto it = std::find_if(m_caRetaken.begin(), m_caRetaken.end(),
                               [&](const stRetaken& r) { return r.m_nTable == nTable && r.m_nKey == nKey; });
  if (it != m_caRetaken.end()) {
    tDue = std::max(tDue, it->m_tDue);
    tHeldSince = it->m_tHeldSince;
    m_caRetaken.erase(it);
  }
  HoldBack(MSG_DATAUNLOCKED, nTable, nKey, tDue, tHeldSince);
}

void CLockManager::HoldBack(char cType, uint8_t nTable, uint32_t nKey, Clock::time_point tDue,
                            Clock::time_point tHeldSince) {
  for (const stHeldBack& h : m_caHeldBack)
    if (h.m_nTable == nTable && h.m_nKey == nKey) tDue = std::max(tDue, h.m_tDue);
  m_caHeldBack.push_back({cType, nTable, nKey, tDue, tHeldSince});
  SendHeldBack(false);
}

void CLockManager::SendHeldBack(bool bAll) {
  if (bAll && !m_caHeldBack.empty()) {
    Clock::time_point tLast = Clock::now();
    for (const stHeldBack& h : m_caHeldBack) tLast = std::max(tLast, h.m_tDue);
    std::this_thread::sleep_until(tLast);
  }
  const Clock::time_point tNow = Clock::now();
  std::deque<stHeldBack> caDue, caLeft;
  for (const stHeldBack& h : m_caHeldBack) (h.m_tDue <= tNow ? caDue : caLeft).push_back(h);
  m_caHeldBack = std::move(caLeft);
  for (const stHeldBack& h : m_caHeldBack) m_timer.FireAt(h.m_tDue);  // the earliest counts
  // Taken out before sending: a send that finds the lock manager gone asks
  // the user, and the events of that question may come back here.
  for (const stHeldBack& h : caDue)
    if (LockMngrOnLine()) SendToLockManager(h.m_cType, h.m_nTable, h.m_nKey);
}

void CLockManager::BeforeServerStops() {
  // The log-off releases every lock at the lock manager: the notices held
  // back go first, each after its pause.
  SendHeldBack(true);
}

void CLockManager::TakeDataNotice(const stMessage& msg) {
  // A refresh under way has already taken the flags it consumes; a notice
  // arriving inside it (its wait boxes process events) is held back for the
  // next refresh, which the owed flag brings about.
  if (m_pEngine) m_pEngine->RefreshState().QueueNotice({msg.m_nUserNumber, msg.m_nTable, msg.m_nKey});
}

bool CLockManager::ReleaseDeferredFlags() {
  return m_pEngine && m_pEngine->RefreshState().ReleaseDeferredNotices();
}

bool CLockManager::IsLockManagerOnLine() {
  // Every lock wait, also the owed refresh's, asks this first: the notices
  // held back during the last refresh are in the list before it looks.
  ReleaseDeferredFlags();
  return LockMngrOnLine();
}

void CLockManager::OnMessage() {
  SendHeldBack(false);
  EndAbandonedWait();
  bool bNewNotices = ReleaseDeferredFlags();
  // Only what waits now: a flood cannot keep this loop from returning.
  for (const std::string& sText : m_queue.Take(m_queue.Size())) {
    const stMessage msg = ExtractMessage(sText);
    KTRACE("Received: %s\n", DisplayMessage(sText).c_str());
    switch (msg.m_cType) {
      case MSG_DATAMODIFIED:
        TakeDataNotice(msg);
        bNewNotices = true;
        break;
      case MSG_REQUESTLOCK:
        if (IsForTheLockManager(msg)) ProcessUserLockRequest(ExtractLockSpec(msg));
        break;
      case MSG_DATAUNLOCKED:
        if (IsForTheLockManager(msg)) ProcessUserUnlockNotice(ExtractLockSpec(msg));
        break;
      case MSG_GRANTLOCK: HandleGrant(ExtractLockSpec(msg)); break;
      default: HandleControlText(sText); break;
    }
  }
  // Asked once per round that brought notices: flags left from a skipped
  // refresh are owed and retried by the timer, not asked for again and again
  // while a lock wait drains the queue.
  if (bNewNotices && m_pEngine && m_pEngine->RefreshState().HasNotices() && m_fnRefreshRequest)
    m_fnRefreshRequest();
}

bool CLockManager::IsForTheLockManager(const stMessage& msg) const {
  // Only the lock manager grants: a copy that took requests from others
  // would hand out locks that the lock manager knows nothing of.
  if (IsThisTheLockManager() || msg.m_sSender == ThisComputerName()) return true;
  KTRACE("Lock message from %s dropped: %s is the lock manager\n", msg.m_sSender.c_str(),
         LockMngrName().c_str());
  return false;
}

void CLockManager::HandleControlText(const std::string& sText) {
  if (sText.find(TEST_PING) != std::string::npos) {
    GetResponse("Received test ping", MB_OK);
  } else if (sText.find("LOG_") != std::string::npos) {
    const stLanTextCheck check = CheckLanText(sText);
    // A copy that logs off, or logs on afresh, holds no lock any more. One
    // gone while it held the database or a table would keep every other
    // copy waiting on its lock bytes for ever: the lock manager clears them
    // before it hands its grants on.
    if (check.m_sCommand == LOG_OFF && IsThisTheLockManager() && m_pEngine && check.m_nUserNumber > 0 &&
        check.m_nUserNumber < 256)
      m_pEngine->ClearLocksLeftBy(uint8_t(check.m_nUserNumber));
    if (check.m_sCommand == LOG_OFF || check.m_sCommand == LOG_ON) DropComputer(check.m_sSender);
    UpdateUserList();
  } else if (sText.find(AUTO_TEST) != std::string::npos) {
    if (m_bAutoTest)
      Post(MAINFRAME_AUTO_TEST);
    else
      KTRACE("AUTO_TEST ignored: the auto-test is off here\n");
  }
}

// ------------------------------------------------------ lock requests ----

stLockSpec CLockManager::GetLockedItemOfSameType(const stLockSpec& lockSpec, int nMode) const {
  for (const auto& lock : m_caGrantedLocks)
    if (lock.m_nTable == lockSpec.m_nTable && lock.m_nKey == lockSpec.m_nKey &&
        (nMode != 2 || lock.m_sUser != ThisComputerName()))
      return lock;
  return {"", lockSpec.m_nTable, lockSpec.m_nKey};
}

int CLockManager::FoundLockInList(const stLockSpec& lockSpec, std::vector<stLockSpec>& list, char cMode) {
  const auto it = std::find(list.begin(), list.end(), lockSpec);
  if (it != list.end()) return int(it - list.begin());
  if (cMode == 'A') list.push_back(lockSpec);
  return -1;
}

void CLockManager::ProcessUserLockRequest(const stLockSpec& request) {
  const stLockSpec holder = GetLockedItemOfSameType(request, 1);
  if (!holder.m_sUser.empty() && holder.m_sUser != request.m_sUser) {
    FoundLockInList(request, m_caLockRequests, 'A');
    KTRACE("Lock request queued: %s\n", DisplayLockSpec(request).c_str());
    return;
  }
  if (holder.m_sUser.empty()) m_caGrantedLocks.push_back(request);
  KTRACE("Lock granted: %s\n", DisplayLockSpec(request).c_str());
  SendGrant(request);
}

bool CLockManager::SendGrant(const stLockSpec& request) {
  if (!Server() || request.m_sUser == ThisComputerName()) {
    SendThisUserMessage(MSG_GRANTLOCK, request.m_nTable, request.m_nKey);
    return true;
  }
  if (SendAnotherUserMessage(request.m_sUser, MSG_GRANTLOCK, request.m_nTable, request.m_nKey)) return true;
  // The requester cannot hear its grant: it must not keep the lock from others.
  KTRACE("Grant to %s not delivered: released as if it had gone: %s\n", request.m_sUser.c_str(),
         DisplayLockSpec(request).c_str());
  const int nIndex = FoundLockInList(request, m_caGrantedLocks, 0);
  if (nIndex >= 0) m_caGrantedLocks.erase(m_caGrantedLocks.begin() + nIndex);
  ReexamineQueue();
  return false;
}

void CLockManager::ProcessUserUnlockNotice(const stLockSpec& notice) {
  const int nIndex = FoundLockInList(notice, m_caGrantedLocks, 0);
  if (nIndex >= 0) {
    m_caGrantedLocks.erase(m_caGrantedLocks.begin() + nIndex);
    ReexamineQueue();
    return;
  }
  // The notice of a wait given up before its grant: its request goes.
  const int nQueued = FoundLockInList(notice, m_caLockRequests, 0);
  if (nQueued >= 0)
    m_caLockRequests.erase(m_caLockRequests.begin() + nQueued);
  else
    KTRACE("Unlock notice for a lock not granted: %s\n", DisplayLockSpec(notice).c_str());
}

void CLockManager::ReexamineQueue() {
  // Oldest first, every request that is free now is granted: requesters
  // never ask again, so a free request left queued would wait for ever.
  for (;;) {
    auto it = std::find_if(m_caLockRequests.begin(), m_caLockRequests.end(), [&](const stLockSpec& r) {
      const std::string sHolder = GetLockedItemOfSameType(r, 1).m_sUser;
      return sHolder.empty() || sHolder == r.m_sUser;
    });
    if (it == m_caLockRequests.end()) return;
    const stLockSpec request = *it;
    m_caLockRequests.erase(it);
    if (GetLockedItemOfSameType(request, 1).m_sUser.empty()) m_caGrantedLocks.push_back(request);
    SendGrant(request);
  }
}

void CLockManager::DropComputer(const std::string& sComputer) {
  const auto fnOf = [&](const stLockSpec& s) { return s.m_sUser == sComputer; };
  const size_t nGranted = m_caGrantedLocks.size();
  m_caGrantedLocks.erase(std::remove_if(m_caGrantedLocks.begin(), m_caGrantedLocks.end(), fnOf),
                         m_caGrantedLocks.end());
  m_caLockRequests.erase(std::remove_if(m_caLockRequests.begin(), m_caLockRequests.end(), fnOf),
                         m_caLockRequests.end());
  if (m_caGrantedLocks.size() == nGranted) return;
  KTRACE("Locks of %s released: it is gone\n", sComputer.c_str());
  ReexamineQueue();
}

// ------------------------------------------------------------- grants ----

void CLockManager::HandleGrant(const stLockSpec& grant) {
  if (grant.m_sUser != LockMngrName()) {
    KTRACE("Grant from %s ignored: %s is the lock manager\n", grant.m_sUser.c_str(), LockMngrName().c_str());
    return;
  }
  if (m_bRequestPending && grant.m_nTable == m_nPendingTable && grant.m_nKey == m_nPendingKey) {
    m_caReceivedGrants.push_back(grant);
    return;
  }
  // Nobody waits for this grant (its wait was given up): hand it back.
  KTRACE("Stray grant returned: %s\n", DisplayLockSpec(grant).c_str());
  SendInTurn(MSG_DATAUNLOCKED, grant.m_nTable, grant.m_nKey);
}

void CLockManager::EndAbandonedWait() {
  if (m_bRequestPending && m_pEngine && !m_pEngine->RefreshState().IsWaitingForLock()) GiveUpPendingRequest();
}

void CLockManager::GiveUpPendingRequest() {
  // The wait ended without taking its grant (aborted or bypassed): the lock
  // manager drops the request, or the grant if it was sent meanwhile.
  m_bRequestPending = false;
  KTRACE("Lock wait for table %u, key %u given up\n", unsigned(m_nPendingTable), m_nPendingKey);
  if (LockMngrOnLine()) SendInTurn(MSG_DATAUNLOCKED, m_nPendingTable, m_nPendingKey);
}

// ------------------------------------------------------ the engine's link ----

bool CLockManager::IsLockGrantedToOther(uint8_t nTable, uint32_t nKey) {
  return !GetLockedItemOfSameType({ThisComputerName(), nTable, nKey}, 2).m_sUser.empty();
}

void CLockManager::ClearReceivedGrants() { m_caReceivedGrants.clear(); }

bool CLockManager::TakeGrantFromLockManager() {
  const bool bGranted =
      std::any_of(m_caReceivedGrants.rbegin(), m_caReceivedGrants.rend(), [&](const stLockSpec& g) {
        return g.m_sUser == LockMngrName() && g.m_nTable == m_nPendingTable && g.m_nKey == m_nPendingKey;
      });
  m_caReceivedGrants.clear();
  if (bGranted) m_bRequestPending = false;
  return bGranted;
}

void CLockManager::SendLockRequest(uint8_t nTable, uint32_t nKey) {
  // A request still pending here belongs to a wait that ended without it.
  if (m_bRequestPending) GiveUpPendingRequest();
  m_bRequestPending = true;
  m_nPendingTable = nTable;
  m_nPendingKey = nKey;
  SendLockMngrLockRequest(nTable, nKey);
}

void CLockManager::SendUnlockNotice(uint8_t nTable, uint32_t nKey) {
  EndAbandonedWait();
  SendLockMngrUnlockNotice(nTable, nKey);
}

void CLockManager::SendUnlockNoticeAfterRead(uint8_t nTable, uint32_t nKey) {
  EndAbandonedWait();
  SendLockMngrUnlockNotice(nTable, nKey, false);
}

bool CLockManager::TakeBackUnlockNotice(uint8_t nTable, uint32_t nKey) {
  // Only the last message for this lock, when it is a notice whose pause
  // still runs: the lock manager then still counts this copy as the holder
  // and nobody can have had the lock since. A copy that has kept the lock
  // for kMaxRetakeMs lets the notice go and asks behind the others.
  const Clock::time_point tNow = Clock::now();
  auto it = std::find_if(m_caHeldBack.rbegin(), m_caHeldBack.rend(),
                         [&](const stHeldBack& h) { return h.m_nTable == nTable && h.m_nKey == nKey; });
  if (it == m_caHeldBack.rend() || it->m_cType != MSG_DATAUNLOCKED || it->m_tDue <= tNow ||
      tNow - it->m_tHeldSince > std::chrono::milliseconds(kMaxRetakeMs))
    return false;
  KTRACE("Unlock notice taken back: table %u, key %u\n", unsigned(nTable), nKey);
  m_caRetaken.push_back({nTable, nKey, it->m_tDue, it->m_tHeldSince});
  m_caHeldBack.erase(std::next(it).base());
  return true;
}

void CLockManager::WaitForMessages(std::chrono::milliseconds pause) {
  Clock::time_point tUntil = Clock::now() + pause;
  for (const stHeldBack& h : m_caHeldBack) tUntil = std::min(tUntil, h.m_tDue);
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(tUntil - Clock::now());
  m_queue.WaitForText(std::max(wait, std::chrono::milliseconds(0)));
}

void CLockManager::SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                                    const std::vector<uint32_t>& naChangedHeaders) {
  EndAbandonedWait();
  if (!Server()) return;
  bool bHeaderAnnounced = false;
  for (uint32_t nLoc : naChangedHeaders) {
    SendOnLineUsersMessage(MSG_DATAMODIFIED, 254, nLoc);
    bHeaderAnnounced |= nLoc == nHeaderLoc;
  }
  if (!bHeaderAnnounced) SendOnLineUsersMessage(MSG_DATAMODIFIED, nTable, nKey);
}
