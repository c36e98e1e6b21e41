#include "data/CItemOperations.h"

#include <cassert>

#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

// Calls fn with the item as its own class, for the four item tables.
template <class F>
void ForItem(uint8_t nTable, CDataRecord& item, F fn) {
  switch (nTable) {
    case TABLE_CATEGORY: fn(static_cast<CCategory&>(item)); break;
    case TABLE_PERSON: fn(static_cast<CPerson&>(item)); break;
    case TABLE_SCHEDULE: fn(static_cast<CScheduleRecord&>(item)); break;
    case TABLE_LOG: fn(static_cast<CLogRecord&>(item)); break;
    default: break;
  }
}

}  // namespace

// ---- item helpers ----

void CItemOperations::CopyItem(uint8_t nTable, const CDataRecord& from, CDataRecord& to) {
  ForItem(nTable, to, [&](auto& r) { r = static_cast<const std::remove_reference_t<decltype(r)>&>(from); });
}

void CItemOperations::SetItemCode(uint8_t nTable, CDataRecord& item, uint32_t nCode) {
  ForItem(nTable, item, [&](auto& r) { r.m_nCode = nCode; });
}

std::string CItemOperations::NewerVersionMessage(uint8_t nTable, const CDataRecord& item) {
  if (nTable == TABLE_SCHEDULE) {
    const auto& r = static_cast<const CScheduleRecord&>(item);
    if (r.IsFromNewerVersion()) return NewerVersionText("Schedule item", r.m_sDescription);
  } else if (nTable == TABLE_LOG) {
    const auto& r = static_cast<const CLogRecord&>(item);
    if (r.IsFromNewerVersion()) return NewerVersionText("Log entry", r.m_sText);
  }
  return "";
}

void CItemOperations::AssignNewCode(uint8_t nTable, CDataRecord& item) {
  SetItemCode(nTable, item, GetNextKey(nTable));
  const CIndexArray* p = PtrToIndexArray(nTable);
  SetItemSequence(nTable, item, p ? uint32_t(p->size()) : 0);
}

void CItemOperations::DeleteItemInMemory(uint8_t nTable, uint32_t nCode) {
  RemoveEntryAt(nTable, LocateIndex(nTable, nCode));
}

uint32_t CItemOperations::GetCodeFromLocation(uint8_t nTable, uint32_t nPos) const {
  const CIndexArray* p = PtrToIndexArray(nTable);
  if (!p || nPos == DB_NONE || nPos >= p->size()) return DB_NONE;
  return (*p)[nPos].m_nCode;
}

void CItemOperations::MakeNewIndexItem(uint8_t nTable, std::unique_ptr<CDataRecord> pItem,
                                       uint32_t nFileLoc, uint32_t nInsertAtCode) {
  const uint32_t nCode = ItemCode(nTable, *pItem);
  const uint32_t nSequence = ItemSequence(nTable, *pItem);
  AddIndex(nTable, std::move(pItem), nCode, nSequence, nFileLoc, nInsertAtCode, DB_NONE);
}

stIndex* CItemOperations::FindEntry(uint8_t nTable, uint32_t nCode) {
  const uint32_t nPos = LocateIndex(nTable, nCode);
  return nPos == DB_NONE ? nullptr : &(*PtrToIndexArray(nTable))[nPos];
}

void CItemOperations::OweSequenceRefresh(uint8_t nTable) {
  ShowWriteFailure();
  RefreshState().AddNoticeOnce({0, nTable, SEQUENCE_CODE});
  RefreshState().OweRefresh();
}

bool CItemOperations::IsLockedByOther(uint8_t nTable, uint32_t nCode) {
  const uint32_t nLoc = GetItemFileLoc(nTable, nCode, 0, 0);
  return nLoc != DB_NONE && IsRecordLocked(LOCK_BY_OTHER, nLoc);
}

std::string CItemOperations::GetItemMessage(uint8_t nTable, const CDataRecord& item,
                                            const std::string& sVerb) const {
  const char* v = sVerb.c_str();
  switch (nTable) {
    case TABLE_CATEGORY:
      return StrFormat("%s Category record %s.", v, static_cast<const CCategory&>(item).m_sName.c_str());
    case TABLE_PERSON: {
      const auto& p = static_cast<const CPerson&>(item);
      return StrFormat("%s Person record %s, %s.", v, p.m_sLastName.c_str(), p.m_sFirstName.c_str());
    }
    case TABLE_SCHEDULE:
      return StrFormat("%s Schedule record %s.", v,
                       static_cast<const CScheduleRecord&>(item).m_sDescription.c_str());
    case TABLE_LOG:
      return StrFormat("%s Log record %s.", v, static_cast<const CLogRecord&>(item).m_sText.c_str());
    default: return "";
  }
}

// ---- writing ----

uint32_t CItemOperations::SaveItem(uint8_t nTable, CDataRecord& item, uint32_t* pNewCode) {
  if (!PtrToIndexArray(nTable)) return DB_NONE;
  if (pNewCode) {
    *pNewCode = GetNextKey(nTable);  // under the database lock: no other copy takes it
    if (*pNewCode == DB_NONE) return DB_NONE;
    SetItemCode(nTable, item, *pNewCode);
  }
  const uint32_t nCode = ItemCode(nTable, item);
  return WriteEncodedRecord(nTable, nCode,
                            [&](stRecordBuffer& b) { return EncodeItem(nTable, item, b); });
}

uint32_t CItemOperations::SaveModifiedItemAfterLock(uint8_t nTable, uint32_t nCode, uint32_t nPos,
                                                    bool bSetRefreshFlag) {
  assert(HoldsDatabaseLock());
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return 0;
  if (nPos == DB_NONE) nPos = LocateIndex(nTable, nCode);
  if (nPos >= p->size() || (*p)[nPos].m_nCode != nCode) return 0;
  const uint32_t nLoc = SaveItem(nTable, *(*p)[nPos].m_pItem, nullptr);
  if (nLoc == DB_NONE) return DB_NONE;
  (*p)[nPos].m_nFileLoc = nLoc;
  if (bSetRefreshFlag) SetRefreshFlags(nTable, nCode, DB_NONE);
  return nLoc;
}

int CItemOperations::SaveModifiedItem(uint8_t nTable, uint32_t nCode,
                                      const std::function<bool(CDataRecord&)>& fnChange) {
  if (!PtrToIndexArray(nTable)) return 0;
  if (IsLockedByOther(nTable, nCode)) {
    GetResponse("This data item is locked by another user.", MB_OK);
    return 0;
  }
  CBusyScope busy;
  if (!LockAndRefreshDatabase("save modified data")) return 0;
  CDialogWaitBox* pBox = nullptr;
  const eWrite n = WriteChangedItem(nTable, nCode, fnChange, false, pBox);
  UnlockDatabase();
  EndWaitBox(pBox);
  if (n == eWrite::Locked) GetResponse("This data item is locked by another user.", MB_OK);
  return n == eWrite::Done ? 1 : 0;
}

int CItemOperations::SaveModifiedItem(uint8_t nTable, uint32_t nCode, const CDataRecord& item) {
  return SaveModifiedItem(nTable, nCode, [&](CDataRecord& current) {
    CopyItem(nTable, item, current);
    return true;
  });
}

CItemOperations::eWrite CItemOperations::WriteChangedItem(
    uint8_t nTable, uint32_t nCode, const std::function<bool(CDataRecord&)>& fnChange,
    bool bRestoreOrder, CDialogWaitBox*& pBox) {
  assert(HoldsDatabaseLock());
  stIndex* pEntry = FindEntry(nTable, nCode);
  if (!pEntry) return eWrite::Gone;
  // The record lock is checked again under the database lock: between the
  // first test and now another copy may have taken it.
  if (IsLockedByOther(nTable, nCode)) return eWrite::Locked;
  std::unique_ptr<CDataRecord> pSaved = GetNewItemPointer(nTable);
  CopyItem(nTable, *pEntry->m_pItem, *pSaved);
  if (!fnChange(*pEntry->m_pItem)) return eWrite::Declined;
  // The entry's code and sequence are the current ones, whatever the change
  // brought with it (a copy made before a refresh carries old ones).
  SetItemCode(nTable, *pEntry->m_pItem, nCode);
  SetItemSequence(nTable, *pEntry->m_pItem, pEntry->m_nSequence);
  if (!pBox) pBox = StartWaitBox(GetItemMessage(nTable, *pEntry->m_pItem, "Save"));
  pEntry = FindEntry(nTable, nCode);  // the wait box processed events
  if (!pEntry) return eWrite::Gone;
  const uint32_t nLoc = SaveItem(nTable, *pEntry->m_pItem, nullptr);
  pEntry = FindEntry(nTable, nCode);
  if (!pEntry) return eWrite::Gone;
  if (nLoc == DB_NONE) {
    CopyItem(nTable, *pSaved, *pEntry->m_pItem);
    if (!IsLiveRecordAt(pEntry->m_nFileLoc, nTable, nCode))
      pEntry->m_nFileLoc = GetItemFileLoc(nTable, nCode, 0, 0);
  } else {
    pEntry->m_nFileLoc = nLoc;
  }
  // Announced also after a failure: headers may have changed on the way.
  SetRefreshFlags(nTable, nCode, nLoc);
  if (nLoc == DB_NONE) return eWrite::Failed;
  if (bRestoreOrder && !RestoreTableOrder(nTable, nCode)) {
    OweSequenceRefresh(nTable);
    return eWrite::Failed;
  }
  return eWrite::Done;
}

// ---- adding ----

eItemResult CItemOperations::AddTableItem(uint8_t nTable, uint32_t nInsertAtPos,
                                          CDataRecord* pSource, bool bEdit,
                                          const stEditExtra& extra, uint32_t* pNewCode) {
  if (!PtrToIndexArray(nTable)) return eItemResult::Cancelled;
  const uint32_t nInsertAtCode = GetCodeFromLocation(nTable, nInsertAtPos);
  std::unique_ptr<CDataRecord> pItem = GetNewItemPointer(nTable);
  eItemResult nResult = eItemResult::Done;
  if (pSource) {
    CopyItem(nTable, *pSource, *pItem);
    AssignNewCode(nTable, *pItem);
    if (bEdit) nResult = EditItemPointer(nTable, *pItem, false, extra);
  } else {
    nResult = EditItemPointer(nTable, *pItem, true, extra);
  }
  if (nResult != eItemResult::Done) return eItemResult::Cancelled;
  CBusyScope busy;
  if (!LockAndRefreshDatabase("save data")) return eItemResult::Cancelled;
  CDialogWaitBox* pBox = StartWaitBox(GetItemMessage(nTable, *pItem, "Save"));
  // The item goes to the end of the table as it is now, after the refresh.
  SetItemSequence(nTable, *pItem, uint32_t(PtrToIndexArray(nTable)->size()));
  uint32_t nCode = DB_NONE;
  const uint32_t nLoc = SaveItem(nTable, *pItem, &nCode);
  // The item's own notice goes first, so that the sequence notice that may
  // follow finds it at every other copy. Without a key nothing was written.
  if (nCode != DB_NONE) SetRefreshFlags(nTable, nCode, nLoc);
  int nOrdered = 0;
  if (nLoc != DB_NONE) {
    MakeNewIndexItem(nTable, std::move(pItem), nLoc, nInsertAtCode);
    nOrdered = RestoreTableOrder(nTable, nCode);
    if (pSource) CopyItem(nTable, *GetPointer(nTable, nCode), *pSource);
    if (pNewCode) *pNewCode = nCode;
  }
  const int nFlushed = UnlockDatabase();
  EndWaitBox(pBox);
  // A stored item whose order was not stored is told like a failed write.
  if (nLoc != DB_NONE && !nOrdered) OweSequenceRefresh(nTable);
  if (!nOrdered || !nFlushed) return eItemResult::Cancelled;
  if (nTable == TABLE_SCHEDULE) AfterScheduleChange();
  return eItemResult::Done;
}

// ---- editing ----

eItemResult CItemOperations::EditTableItem(uint8_t nTable, uint32_t nCode,
                                           const stEditExtra& extra) {
  if (!PtrToIndexArray(nTable)) return eItemResult::Cancelled;
  const uint32_t nLockLoc = LockRecord(nTable, nCode);
  if (nLockLoc == DB_NONE) return eItemResult::Cancelled;
  // Changes announced during the lock wait are read first: the dialog shows
  // the item as the file holds it, or saving it would undo another copy's edit.
  if (!IsAloneOnFile() && (RefreshState().IsRefreshOwed() || RefreshState().HasNotices()))
    RefreshAfterLockWait();
  const eItemResult nResult = EditLockedItem(nTable, nCode, extra);
  UnlockRecordOf(nTable, nCode, nLockLoc);
  return nResult;
}

eItemResult CItemOperations::EditLockedItem(uint8_t nTable, uint32_t nCode,
                                            const stEditExtra& extra) {
  const stIndex* pEntry = FindEntry(nTable, nCode);
  if (!pEntry) {
    GetResponse("Error in retrieving item to edit.", MB_OK);
    return eItemResult::Cancelled;
  }
  const std::string sNewer = NewerVersionMessage(nTable, *pEntry->m_pItem);
  if (!sNewer.empty()) {
    GetResponse(sNewer, MB_OK);
    return eItemResult::Cancelled;
  }
  std::unique_ptr<CDataRecord> pWork = GetNewItemPointer(nTable);
  CopyItem(nTable, *pEntry->m_pItem, *pWork);
  if (EditItemPointer(nTable, *pWork, false, extra) != eItemResult::Done)
    return eItemResult::Cancelled;
  CBusyScope busy;
  if (!LockAndRefreshDatabase("save data")) return eItemResult::Cancelled;
  CDialogWaitBox* pBox = StartWaitBox(GetItemMessage(nTable, *pWork, "Save"));
  const eWrite n = WriteChangedItem(
      nTable, nCode,
      [&](CDataRecord& current) {
        CopyItem(nTable, *pWork, current);
        return true;
      },
      true, pBox);
  const int nFlushed = UnlockDatabase();
  EndWaitBox(pBox);
  if (n == eWrite::Gone) GetResponse("Error in retrieving item to edit.", MB_OK);
  if (n == eWrite::Locked) GetResponse("This data item is locked by another user.", MB_OK);
  if (n != eWrite::Done || !nFlushed) return eItemResult::Cancelled;
  if (nTable == TABLE_SCHEDULE) AfterScheduleChange();
  return eItemResult::Done;
}

// ---- deleting ----

bool CItemOperations::DeleteItemInFile(uint8_t /*nTable*/, uint32_t /*nCode*/, uint32_t nFileLoc) {
  assert(HoldsDatabaseLock());
  return DeleteRecord(nFileLoc, 1, 1) != 0;
}

eItemResult CItemOperations::DeleteTableItem(uint8_t nTable, uint32_t nCode, bool bConfirm) {
  if (!PtrToIndexArray(nTable)) return eItemResult::Cancelled;
  const std::string sLocked = StrFormat("%s locked by another user", GetTableName(nTable).c_str());
  if (IsLockedByOther(nTable, nCode)) {
    GetResponse(sLocked, MB_OK);
    return eItemResult::Cancelled;
  }
  if (bConfirm && !OKtoDeleteItem(nTable, nCode)) return eItemResult::Cancelled;
  CBusyScope busy;
  if (!LockAndRefreshDatabase(
          StrFormat("Deleting item code %u in %s", nCode, GetTableName(nTable).c_str())))
    return eItemResult::Cancelled;
  eItemResult nResult = DeleteLockedItem(nTable, nCode, sLocked);
  if (!UnlockDatabase()) nResult = eItemResult::Cancelled;
  if (nResult == eItemResult::Done && nTable == TABLE_SCHEDULE) AfterScheduleChange();
  return nResult;
}

eItemResult CItemOperations::DeleteLockedItem(uint8_t nTable, uint32_t nCode,
                                              const std::string& sLocked) {
  const stIndex* pEntry = FindEntry(nTable, nCode);
  if (!pEntry) {
    GetResponse("Error in deleting item.", MB_OK);
    return eItemResult::Cancelled;
  }
  if (IsLockedByOther(nTable, nCode)) {
    GetResponse(sLocked, MB_OK);
    return eItemResult::Cancelled;
  }
  CDialogWaitBox* pBox = StartWaitBox(GetItemMessage(nTable, *pEntry->m_pItem, "Delete"));
  pEntry = FindEntry(nTable, nCode);
  uint32_t nLoc = pEntry ? pEntry->m_nFileLoc : DB_NONE;
  if (pEntry && !IsLiveRecordAt(nLoc, nTable, nCode)) nLoc = GetItemFileLoc(nTable, nCode, 0, 0);
  if (!pEntry || nLoc == DB_NONE || !DeleteItemInFile(nTable, nCode, nLoc)) {
    EndWaitBox(pBox);
    return eItemResult::Cancelled;
  }
  DeleteItemInMemory(nTable, nCode);
  SetRefreshFlags(nTable, nCode, nLoc);
  const int nSequenceSaved = SaveTableSequence(nTable, true);
  EndWaitBox(pBox);
  if (nSequenceSaved) return eItemResult::Done;
  OweSequenceRefresh(nTable);  // the item is gone, the order of the rest is not stored
  return eItemResult::Cancelled;
}
