#pragma once
// The write path of the item tables (5 categories, 6 persons, 8 schedule
// items, 9 log entries): adding, editing, saving and deleting items with the
// index and the dense display sequence kept in step with the file. Every
// change follows one order: record lock (edits) -> dialog on a working copy ->
// database lock and refresh -> write -> index -> order and sequence ->
// refresh flags -> database unlock -> record unlock.
//
// What each table does in its dialog, its deletion and its order is decided
// by the per-table rules of the class above this one.
//
// A write that fails gives Cancelled and leaves memory as it was before (restored
// from a saved copy), with the index pointing at the record that is still
// live in the file. A change that is written but whose display order could not
// be stored gives Cancelled too; the next refresh reads the order back.
// Items are found again by code after every step that can refresh, so no
// operation works on an object a refresh has replaced.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/CDataRefresh.h"
#include "data/DataResults.h"

// What an edit dialog is opened with besides the item.
struct stEditExtra {
  // Log entries: 'M' a new message, 'N' a new note, 'E' show a received
  // message; anything else a logged event.
  char cKind = 0;
  // Schedule items: the date and time chosen for a new one-time item (0: none).
  double dDate = 0.0;
};

class CItemOperations : public CDataRefresh {
 public:
  // ---- lookups ----
  // The code at a position; 0xFFFFFFFF for 0xFFFFFFFF or a position past the end.
  uint32_t GetCodeFromLocation(uint8_t nTable, uint32_t nPos) const;
  void MakeNewIndexItem(uint8_t nTable, std::unique_ptr<CDataRecord> pItem, uint32_t nFileLoc,
                        uint32_t nInsertAtCode);

  // ---- item operations: done, or cancelled or refused ----
  // Without a source the table's dialog opens on a new item; with one, the
  // source is copied as a new item (the dialog opens only with bEdit) and
  // gets the saved item back, new code and sequence included.
  eItemResult AddTableItem(uint8_t nTable, uint32_t nInsertAtPos, CDataRecord* pSource, bool bEdit,
                           const stEditExtra& extra = {}, uint32_t* pNewCode = nullptr);
  eItemResult EditTableItem(uint8_t nTable, uint32_t nCode, const stEditExtra& extra = {});
  eItemResult DeleteTableItem(uint8_t nTable, uint32_t nCode, bool bConfirm);

  // Saves a change without a dialog: the item is found by code under the
  // database lock and fnChange is applied to the current object (returning
  // false leaves it alone). 1 saved, 0 refused or failed (memory unchanged).
  int SaveModifiedItem(uint8_t nTable, uint32_t nCode,
                       const std::function<bool(CDataRecord&)>& fnChange);
  // The same with a changed copy: every stored field of the copy is taken
  // over, except the current code and sequence.
  int SaveModifiedItem(uint8_t nTable, uint32_t nCode, const CDataRecord& item);
  // With the database lock held: writes the entry's item (found at nPos, or
  // by code when nPos is 0xFFFFFFFF). The new location, 0xFFFFFFFF when the
  // write failed, 0 when the code is not in the table.
  uint32_t SaveModifiedItemAfterLock(uint8_t nTable, uint32_t nCode, uint32_t nPos,
                                     bool bSetRefreshFlag);
  // Encodes and writes the item; with pNewCode it first takes the table's
  // next key. The record's location, or 0xFFFFFFFF.
  uint32_t SaveItem(uint8_t nTable, CDataRecord& item, uint32_t* pNewCode);

  // "%s Person record %s, %s." and the like.
  std::string GetItemMessage(uint8_t nTable, const CDataRecord& item, const std::string& sVerb) const;

  // ---- item helpers ----
  static void CopyItem(uint8_t nTable, const CDataRecord& from, CDataRecord& to);
  static void SetItemCode(uint8_t nTable, CDataRecord& item, uint32_t nCode);
  // The newer-version text when the item was written by a newer program
  // (it must not be rewritten), else empty.
  static std::string NewerVersionMessage(uint8_t nTable, const CDataRecord& item);
  // A new item's code and sequence: the table's next key, the current count.
  void AssignNewCode(uint8_t nTable, CDataRecord& item);
  void DeleteItemInMemory(uint8_t nTable, uint32_t nCode);

 protected:
  // ---- per-table rules ----
  // Opens the table's dialog on the item; Done for OK.
  [[nodiscard]] virtual eItemResult EditItemPointer(uint8_t nTable, CDataRecord& item, bool bNew,
                                                    const stEditExtra& extra) = 0;
  // True to go ahead with deleting (asks the user where the table does).
  virtual bool OKtoDeleteItem(uint8_t nTable, uint32_t nCode) = 0;
  // With the database lock held: deletes the item's record and whatever the
  // table's rule deletes with it. False when refused or failed.
  virtual bool DeleteItemInFile(uint8_t nTable, uint32_t nCode, uint32_t nFileLoc);
  // Puts the table back in its display order after the item of nCode was
  // added or changed, storing any changed sequence (the database lock is held).
  // 1, or 0 when a sequence could not be stored.
  virtual int RestoreTableOrder(uint8_t nTable, uint32_t nCode) = 0;
  // After an add, edit or delete of a schedule item.
  virtual void AfterScheduleChange() {}

  // "locked by another user" test of one item by code, without a message
  // when the record is not in the file.
  bool IsLockedByOther(uint8_t nTable, uint32_t nCode);
  // Finds the entry by code; none when absent.
  stIndex* FindEntry(uint8_t nTable, uint32_t nCode);
  // After a sequence store failed: the change itself is in the file, but the
  // file's order of the rest is not what memory shows. Tells the failure and
  // owes a refresh that reads the order back.
  void OweSequenceRefresh(uint8_t nTable);

  // Results of writing a change under the database lock.
  enum class eWrite : int {
    Failed = 0,
    Done = 1,
    Declined,  // the change left the item as it was
    Gone,      // the code is no longer in the table
    Locked,    // another user holds the record lock
  };
  // With the database lock held: applies fnChange to the current object of
  // the code and writes it (opening pBox when none is open yet). A failed
  // write puts the object back as it was and keeps the index on the record
  // that is still live; a written item whose order could not be stored is
  // Failed too (the file holds the item, the refresh reads the order back).
  [[nodiscard]] eWrite WriteChangedItem(uint8_t nTable, uint32_t nCode,
                                        const std::function<bool(CDataRecord&)>& fnChange,
                                        bool bRestoreOrder, CDialogWaitBox*& pBox);

 private:
  eItemResult EditLockedItem(uint8_t nTable, uint32_t nCode, const stEditExtra& extra);
  eItemResult DeleteLockedItem(uint8_t nTable, uint32_t nCode, const std::string& sLocked);
};
