#pragma once
// The table manager: one object holds the open database file (through the
// record file engine it derives from), the settings tables, and every item of
// the four item tables in memory, each table an index array that owns its
// items. Views and dialogs read the tables from here and never from the file;
// they hold codes, not pointers, across anything that can refresh.
//
// Opening loads the whole file: the header list, every record into its table,
// then the index checks. A load that fails leaves nothing behind: the tables
// are cleared before and after, the database lock is given up before the
// file is closed, and the file is not marked closed properly.
//
// The multi-user side (user list, LAN server) sits behind CDatabaseNetwork;
// without one installed the database is opened as a copy with networking
// disabled.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/CCategory.h"
#include "data/CDatabaseNetwork.h"
#include "data/CLogRecord.h"
#include "data/CPerson.h"
#include "data/CScheduleRecord.h"
#include "data/CSettingsTables.h"
#include "data/stIndex.h"

class CDialogWaitBox;

// Insert-at code of AddIndex: append at the end.
inline constexpr uint32_t INSERT_AT_END = 0xFFFFFFFE;
// Refresh-flag code that announces a changed table sequence.
inline constexpr uint32_t SEQUENCE_CODE = 0xFFFFFFFE;

class CDatabase : public CSettingsTables {
 public:
  CDatabase();
  ~CDatabase() override;

  void SetNetwork(CDatabaseNetwork* pNetwork) { m_pNetwork = pNetwork; }

  // ---- opening and closing ----
  // sName is the database path without ".dbm". 1 open, 0 failed.
  int OpenDatabase(const std::string& sName, bool bNetworked);
  void CloseDatabase();
  int OpenDatabaseFile(const std::string& sName);
  // Loads a database for looking at it only (tools, dumps): nothing in the
  // file changes, no question is asked; records that do not decode are left
  // out and named in saProblems. 1 loaded, 0 the file could not be read.
  int OpenDatabaseForReading(const std::string& sName, std::vector<std::string>& saProblems);
  // Clears every table and puts the default settings in memory.
  void InitializeDatabaseMemory();
  // Writes the settings records of a new file. 1 done, 0 a write failed.
  int InitializeDatabaseFile();
  int LoadDatabaseFile(CDialogWaitBox* pBox);
  int ReadDatabaseIntoMemory(CDialogWaitBox* pBox, std::string& sError);
  int ReadDataItemIntoMemory(const stDataHeader& header);
  void CloseDatabaseFile();
  void ClearDatabase();

  bool IsDatabaseOpen() const { return m_bDatabaseOpen; }
  bool IsFileLoaded() const { return m_bFileLoaded; }

  // ---- item tables ----
  // Re-reads one item table from the file. 1.
  int ReadTable(uint8_t nTable, CDialogWaitBox* pBox);
  // Decodes one record into a new item and adds it to its table at the
  // insert-at code (INSERT_AT_END appends). 1 done or nothing to load, 0 failed.
  int LoadTableRecordFromFile(const stDataHeader& header, uint32_t nInsertAtCode);
  int ReadBufferFromFileIntoMemory(const stDataHeader& header, CDataRecord* pItem);
  // A new item of table 5, 6, 8 or 9 with its defaults; none for other tables.
  static std::unique_ptr<CDataRecord> GetNewItemPointer(uint8_t nTable);
  void ClearTable(uint8_t nTable);
  CIndexArray* PtrToIndexArray(uint8_t nTable);
  const CIndexArray* PtrToIndexArray(uint8_t nTable) const;

  // ---- index maintenance ----
  // Position of the code in the table, 0xFFFFFFFF when absent.
  uint32_t LocateIndex(uint8_t nTable, uint32_t nCode) const;
  CDataRecord* GetPointer(uint8_t nTable, uint32_t nCode) const;
  // Adds an entry: with insert-at position 0xFFFFFFFF, INSERT_AT_END appends,
  // 0xFFFFFFFF replaces the entry of the same code (or appends), any other
  // code inserts before that code's entry. A position inside the table
  // inserts there.
  void AddIndex(uint8_t nTable, std::unique_ptr<CDataRecord> pItem, uint32_t nCode, uint32_t nSequence,
                uint32_t nFileLoc, uint32_t nInsertAtCode, uint32_t nInsertAtPos);
  // Checks the table: duplicate codes are reported and (with bRepair) the
  // surplus record is marked deleted in the file and dropped from the table;
  // wrong sequences are reported and stored densely; an entry whose file
  // location holds no live record of its table and code is reported and
  // (with bRepair) pointed at its record, or dropped when there is none.
  // Findings go into the load report. 1 when the table was sound, else 0.
  int TestIndices(uint8_t nTable, CIndexArray& ia, bool bRepair);
  // The location check of TestIndices; true when every entry was sound.
  bool TestIndexLocations(uint8_t nTable, CIndexArray& ia, bool bRepair);
  // The header list shows a live record of the table and key at nLoc.
  bool IsLiveRecordAt(uint32_t nLoc, uint8_t nTable, uint32_t nKey) const;
  static bool IsLiveRecordOf(const stDataHeader& h, uint8_t nTable, uint32_t nKey) {
    return IsLiveStatus(h.cStatus) && h.nTable == nTable && h.nKey == nKey && h.nSubTable == 0;
  }
  // Gives every entry whose sequence is not its position that position, in
  // memory and in the 4 sequence bytes of its record. 1, 0 when a write failed.
  // Virtual so that the index repair of a load uses the most careful
  // version a derived table manager provides.
  virtual int SaveTableSequence(uint8_t nTable, bool bSetRefreshFlag, CDialogWaitBox* pBox = nullptr);
  void ChangeSequenceInObject(uint8_t nTable, uint32_t nPos, uint32_t nSequence);

  // ---- the item codec by table ----
  static uint32_t ItemCode(uint8_t nTable, const CDataRecord& item);
  static uint32_t ItemSequence(uint8_t nTable, const CDataRecord& item);
  static void SetItemCode(uint8_t nTable, CDataRecord& item, uint32_t nCode);
  static void SetItemSequence(uint8_t nTable, CDataRecord& item, uint32_t nSequence);
  // Payload length, or 0 when the item cannot be written (b says why).
  static uint32_t EncodeItem(uint8_t nTable, const CDataRecord& item, stRecordBuffer& b);
  // 1 when the payload decoded into the item, a new one: on 0 it holds part
  // of the payload and is to be dropped.
  static int DecodeItem(uint8_t nTable, CDataRecord& item, stRecordBuffer& b);

  // ---- refresh ----
  int LockAndRefreshDatabase(const std::string& sReason, uint8_t nTable = 0,
                             bool bRefreshOnly = false) override;
  // Brings memory up to date with the pending refresh flags. This version
  // reloads the whole database, which is right for any set of flags; a
  // partial refresh may override it. 1 done, 0 the reload could not lock.
  virtual int DoRefresh(CDialogWaitBox* pBox);
  int RefreshDatabase();

  // ---- users ----
  void InitializeUserList();
  void EndLanServer();

  // Shows report lines to the user (one finding per line).
  static void ShowReport(const std::vector<std::string>& saLines);

  // Members the views and the other table operations read.
  std::vector<stUser> m_caUsers;
  std::vector<std::string> m_saLoadReport;
  std::vector<uint32_t> m_naPendingMessages;  // unread messages for this user
  CIndexArray m_caCategoryIndex;
  CIndexArray m_caPersonIndex;
  CIndexArray m_caScheduleIndex;
  CIndexArray m_caLogIndex;

 protected:
  // Closes the file without marking it closed properly and without clearing
  // locks: the path of a load that failed.
  void AbandonDatabaseFile();
  // After a failed load or initialisation: memory cleared, the database
  // lock given up, then the file closed unmarked.
  void AbandonAfterFailure();
  // Gives up every nesting of this copy's database lock.
  void ReleaseDatabaseLock();
  // Renames the old file out of the way (never while another copy has it
  // open) and creates a new, initialised database in its place. 1 done.
  int ReinitializeDatabaseFile(const std::string& sPath);
  // True when the header list just loaded shows a record lock, or the lock
  // bytes of the file are not all clear: only then do the locks of copies
  // that ended abnormally need clearing (a walk of every header in the file).
  bool HasLocksLeftBehind();
  // After a good load while alone: stale locks cleared, integrity test offered.
  int CheckFileAfterLoad(eOpenResult nOpenResult);
  int RunIntegrityTest();
  void AskIntegrityTest(const std::string& sQuestion);
  void NoteLoadedItem(uint8_t nTable, const CDataRecord& item);
  // Puts a decoded item into its table (at the insert-at code).
  void AddLoadedItem(const stDataHeader& header, std::unique_ptr<CDataRecord> pItem, uint32_t nInsertAtCode);
  // The item of a live item record, decoded in place from the whole-file
  // buffer; empty when the header names no item record or it did not decode.
  std::unique_ptr<CDataRecord> DecodeFromFileBuffer(const stDataHeader& header) const;
  // The items of every header of the list, decoded from the whole-file
  // buffer (on several threads for a big file), one per header index.
  std::vector<std::unique_ptr<CDataRecord>> DecodeItemRecords() const;
  // Room in each item table for the live records the header list holds.
  void ReserveItemTables();
  void InstallRefreshHook();
  void RemoveRefreshHook();

  CDatabaseNetwork* m_pNetwork = nullptr;
  bool m_bDatabaseOpen = false;
  bool m_bFileLoaded = false;
  bool m_bAloneWhenLoadFailed = false;
  stDataHeader m_stLoadingHeader;  // the record the load is at
  std::string m_sChainNote;        // set by a load that found the end of the chain repaired
};
