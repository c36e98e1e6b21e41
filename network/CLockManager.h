#pragma once
// The lock-manager protocol. Every record, table and database lock is
// cleared with one copy, the lock manager: a copy that wants a lock sends a
// request and waits for the grant; when it is done it sends an unlock notice.
// The lock manager keeps the granted locks and the requests it could not
// grant yet. The same channel carries data-modified notices, which become
// refresh flags of the engine. This is the engine's lock manager link; all of
// it runs on the user-interface thread, fed by the inbound queue.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/CDbRecordStore.h"
#include "engine/CLockManagerLink.h"
#include "network/CLanLogOn.h"
#include "network/CPostTimer.h"
#include "network/LanMessage.h"

class CLockManager : public CLanLogOn, public CLockManagerLink {
 public:
  // The designed pause before a writer's unlock notice (not the lock manager's).
  static constexpr int kUnlockDelayMs = 200;
  // How long a copy may keep taking back its own held-back notice: after
  // that it lets the notice go and asks in turn, behind the others.
  static constexpr int kMaxRetakeMs = 1000;

  CLockManager();
  ~CLockManager() override;

  // Called when refresh flags wait after the queue was drained: the table
  // manager locks and refreshes the database unless it is inside one already.
  void SetRefreshRequest(std::function<void()> fn) { m_fnRefreshRequest = std::move(fn); }
  // "AUTO_TEST" from a peer is obeyed only while this is set.
  void SetAutoTest(bool bOn) { m_bAutoTest = bOn; }

  // ---- the engine's link ----
  bool HasLanServer() override { return Server() != nullptr; }
  bool IsLockManagerOnLine() override;
  bool IsCloseRequested() override { return CloseRequested(); }
  unsigned CountOnLine() override { return CLanLogOn::CountOnLine(); }
  bool IsLockGrantedToOther(uint8_t nTable, uint32_t nKey) override;
  void ClearReceivedGrants() override;
  bool TakeGrantFromLockManager() override;
  void SendLockRequest(uint8_t nTable, uint32_t nKey) override;
  void SendUnlockNotice(uint8_t nTable, uint32_t nKey) override;
  void SendUnlockNoticeAfterRead(uint8_t nTable, uint32_t nKey) override;
  bool TakeBackUnlockNotice(uint8_t nTable, uint32_t nKey) override;
  void WaitForMessages(std::chrono::milliseconds pause) override;
  void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                        const std::vector<uint32_t>& naChangedHeaders) override;
  void ProcessPendingMessages() override { OnMessage(); }

  // ---- messages ----
  // The next message text; empty without a LAN server.
  std::string CreateMessage(char cType, uint8_t nTable, uint32_t nKey);
  int SendAnotherUserMessage(const std::string& sComputer, char cType, uint8_t nTable, uint32_t nKey);
  void SendThisUserMessage(char cType, uint8_t nTable, uint32_t nKey);
  void SendOnLineUsersMessage(char cType, uint8_t nTable, uint32_t nKey);
  void SendLockMngrLockRequest(uint8_t nTable, uint32_t nKey);
  // Not on the lock manager, the notice of a holder that may have written
  // (bSettle) goes kUnlockDelayMs later, sent by the event loop when the
  // timer's post arrives; the caller goes on at once.
  void SendLockMngrUnlockNotice(uint8_t nTable, uint32_t nKey, bool bSettle = true);
  // Drains the messages queued when it starts; later ones wait for the next call.
  void OnMessage();

  // ---- the lock manager's decisions ----
  void ProcessUserLockRequest(const stLockSpec& request);
  void ProcessUserUnlockNotice(const stLockSpec& notice);
  // First granted lock with the same table and key (mode 2: of another computer).
  stLockSpec GetLockedItemOfSameType(const stLockSpec& lockSpec, int nMode) const;
  // Index of the entry with the same user, table and key, or -1; mode 'A'
  // appends the lock when it is missing.
  static int FoundLockInList(const stLockSpec& lockSpec, std::vector<stLockSpec>& list, char cMode);

  const std::vector<stLockSpec>& GrantedLocks() const { return m_caGrantedLocks; }
  const std::vector<stLockSpec>& LockRequestQueue() const { return m_caLockRequests; }
  const std::vector<stLockSpec>& ReceivedGrants() const { return m_caReceivedGrants; }
  // Messages to the lock manager held back for the pause.
  size_t HeldBackCount() const { return m_caHeldBack.size(); }
  unsigned MessageCounter() const { return m_nMessageCounter; }

 protected:
  void AttachEngine(CDbEngine& engine) override;
  void DetachEngine() override;
  void BeforeServerStops() override;

 private:
  using Clock = std::chrono::steady_clock;
  // A message to the lock manager that waits for its time; the messages of
  // one lock (table and key) leave in the order they were made.
  struct stHeldBack {
    char m_cType;
    uint8_t m_nTable;
    uint32_t m_nKey;
    Clock::time_point m_tDue;
    Clock::time_point m_tHeldSince;  // the start of the holds it closes
  };
  // A held-back notice taken back: the lock is held again since then.
  struct stRetaken {
    uint8_t m_nTable;
    uint32_t m_nKey;
    Clock::time_point m_tDue;
    Clock::time_point m_tHeldSince;
  };
  void HoldBack(char cType, uint8_t nTable, uint32_t nKey, Clock::time_point tDue,
                Clock::time_point tHeldSince);
  // Sends the held-back messages whose time came; with bAll it first waits
  // until every one is due.
  void SendHeldBack(bool bAll);
  std::string FormatNext(char cType, uint8_t nTable, uint32_t nKey);
  void SendToLockManager(char cType, uint8_t nTable, uint32_t nKey);
  // To the lock manager after what is held back for the same lock, if anything.
  void SendInTurn(char cType, uint8_t nTable, uint32_t nKey);
  void HandleGrant(const stLockSpec& grant);
  void TakeDataNotice(const stMessage& msg);
  // Moves the notices held back during the last refresh to the pending ones;
  // true when there were some.
  bool ReleaseDeferredFlags();
  void HandleControlText(const std::string& sText);
  // True for a lock request or unlock notice this copy may handle.
  bool IsForTheLockManager(const stMessage& msg) const;
  bool SendGrant(const stLockSpec& request);
  void ReexamineQueue();
  void DropComputer(const std::string& sComputer);
  void EndAbandonedWait();
  void GiveUpPendingRequest();

  std::function<void()> m_fnRefreshRequest;
  std::deque<stHeldBack> m_caHeldBack;
  std::vector<stRetaken> m_caRetaken;
  CPostTimer m_timer{[this] { Post(MAINFRAME_MESSAGES_WAITING); }};
  bool m_bAutoTest = false;
  unsigned m_nMessageCounter = 0;
  std::vector<stLockSpec> m_caLockRequests;
  std::vector<stLockSpec> m_caGrantedLocks;
  std::vector<stLockSpec> m_caReceivedGrants;
  // The request of the lock wait in progress; a grant must name it.
  bool m_bRequestPending = false;
  uint8_t m_nPendingTable = 0;
  uint32_t m_nPendingKey = 0;
};
