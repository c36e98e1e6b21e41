#pragma once
// The lock-manager protocol. Every record, table and database lock is
// cleared with one copy, the lock manager: a copy that wants a lock sends a
// request and waits for the grant; when it is done it sends an unlock notice.
// The lock manager keeps the granted locks and the requests it could not
// grant yet. The same channel carries data-modified notices, which become
// refresh flags of the engine. This is the engine's lock manager link; all of
// it runs on the user-interface thread, fed by the inbound queue.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/CDbRecordStore.h"
#include "engine/CLockManagerLink.h"
#include "network/CLanLogOn.h"
#include "network/LanMessage.h"

class CLockManager : public CLanLogOn, public CLockManagerLink {
 public:
  static constexpr int kUnlockDelayMs = 200;

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
  void SendLockMngrUnlockNotice(uint8_t nTable, uint32_t nKey);
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
  unsigned MessageCounter() const { return m_nMessageCounter; }

 protected:
  void AttachEngine(CDbEngine& engine) override;
  void DetachEngine() override;

 private:
  std::string FormatNext(char cType, uint8_t nTable, uint32_t nKey);
  void SendToLockManager(char cType, uint8_t nTable, uint32_t nKey);
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
