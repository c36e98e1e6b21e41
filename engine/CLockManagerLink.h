#pragma once
// The seam between the record file engine and the LAN server / lock manager.
// The engine keeps its locks in the file; when the database is shared over the
// network it also asks the lock manager for permission, tells it when a lock
// is released and announces every change to the other copies. The network
// side implements this interface and hands it to CDbEngine::SetLockManagerLink;
// while no link is set the engine takes the "no LAN server" path.
//
// Every call is made on the user-interface thread.

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

class CLockManagerLink {
 public:
  virtual ~CLockManagerLink() = default;

  // True while a LAN server runs for this database (the database is shared).
  virtual bool HasLanServer() = 0;
  // True while the lock manager can be reached.
  virtual bool IsLockManagerOnLine() = 0;
  // True once the close of the database was asked for (the lock manager is
  // gone): no lock wait may go on, the close runs when the wait has ended.
  virtual bool IsCloseRequested() { return false; }
  // Users on line: connected peers plus one; also refreshes the status panes.
  virtual unsigned CountOnLine() = 0;

  // True when the lock manager's granted locks hold (table, key) for another
  // computer (GetLockedItemOfSameType with mode 2).
  virtual bool IsLockGrantedToOther(uint8_t nTable, uint32_t nKey) = 0;
  // Empties the received grants.
  virtual void ClearReceivedGrants() = 0;
  // Looks through the received grants, newest first; true when one was sent
  // by the lock manager. The list is emptied in either case.
  virtual bool TakeGrantFromLockManager() = 0;

  // "L" to the lock manager (or to this copy itself when it is the manager).
  virtual void SendLockRequest(uint8_t nTable, uint32_t nKey) = 0;
  // "u" to the lock manager; nothing while the lock manager is off line.
  // The holder may have written: the others must not take the lock before
  // its changes settled.
  virtual void SendUnlockNotice(uint8_t nTable, uint32_t nKey) = 0;
  // "u" for a hold in which this copy wrote nothing: there is nothing to settle.
  virtual void SendUnlockNoticeAfterRead(uint8_t nTable, uint32_t nKey) { SendUnlockNotice(nTable, nKey); }
  // True when an unlock notice for (table, key) was still held back and is
  // now withdrawn: the lock manager still counts this copy as the holder, so
  // the lock is this copy's again without a request.
  virtual bool TakeBackUnlockNotice(uint8_t /*nTable*/, uint32_t /*nKey*/) { return false; }
  // Announces a change: one "M" notice with table 254 per changed header
  // location, then one for (table, key) unless a changed header location
  // equalled nHeaderLoc. The engine empties its list after the call.
  virtual void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                                const std::vector<uint32_t>& naChangedHeaders) = 0;

  // Drains the inbound message queue; called between the rounds of a lock
  // wait so that a grant can arrive where no event loop delivers it.
  virtual void ProcessPendingMessages() {}
  // The pause between two rounds of a lock wait; it may end early when a
  // message arrives or held-back work falls due.
  virtual void WaitForMessages(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }
};
