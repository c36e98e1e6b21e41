#pragma once
// Several copies of the program on one database file inside one test
// process: each copy is a CTableManager with its own file handle and user
// number, and a loopback link carries every change notice to the other
// copies the way the LAN does (one notice per changed header, then one for
// the item unless its header was among them). Notices can be held back to
// play a slow network.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/TestCommon.h"
#include "data/CTableManager.h"
#include "engine/CLockManagerLink.h"

class CCopyGroup;

// The scripted host with a hook that runs once when the next edit dialog
// opens: what another copy does while this one's dialog is on screen.
class CHookUi : public CTestUi {
 public:
  void BeforeNextEdit(std::function<void()> fn) { m_fnBeforeEdit = std::move(fn); }
  int EditItem(stEditForm& form) override;

 private:
  std::function<void()> m_fnBeforeEdit;
};

class CTestCopy {
 public:
  CTestCopy(CCopyGroup& group, uint8_t nUser);
  ~CTestCopy();
  CTableManager& Db() { return *m_pDb; }
  uint8_t User() const { return m_nUser; }

  // Notices for this copy wait in a queue while held.
  void HoldNotices(bool bHold);
  void ReleaseNotices();
  void Receive(const stRefreshFlag& flag);

 private:
  class CLink;
  class CNetwork;
  CCopyGroup& m_group;
  uint8_t m_nUser;
  std::unique_ptr<CLink> m_pLink;
  std::unique_ptr<CNetwork> m_pNetwork;
  std::unique_ptr<CTableManager> m_pDb;
  bool m_bHold = false;
  std::vector<stRefreshFlag> m_held;
};

class CCopyGroup {
 public:
  explicit CCopyGroup(std::string sName) : m_sName(std::move(sName)) {}
  // Opens one more copy of the database (creating the file for the first).
  CTestCopy& Open(uint8_t nUser);
  void Close(CTestCopy& copy);
  const std::string& Name() const { return m_sName; }
  std::string FilePath() const { return m_sName + ".dbm"; }
  std::vector<CTestCopy*> Copies() const;
  unsigned CountOpen() const { return unsigned(m_copies.size()); }
  void Broadcast(const CTestCopy& from, const stRefreshFlag& flag);

 private:
  std::string m_sName;
  std::vector<std::unique_ptr<CTestCopy>> m_copies;
};

// Copy 2 (A) and, for nCopies 2, copy 3 (B) of one database, for the tests
// of one or two copies at work on one file.
class CCopiesTest : public ::testing::Test {
 protected:
  explicit CCopiesTest(const std::string& sName, int nCopies = 2)
      : m_group{m_folder.File(sName)}, m_nCopies(nCopies) {}
  void SetUp() override {
    m_pA = &m_group.Open(2);
    if (m_nCopies > 1) m_pB = &m_group.Open(3);
  }
  CTableManager& A() { return m_pA->Db(); }
  CTableManager& B() { return m_pB->Db(); }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group;
  int m_nCopies;
  CTestCopy* m_pA = nullptr;
  CTestCopy* m_pB = nullptr;
};

// Every item table of a copy: entry i has sequence i (in the entry and the
// item), no code twice, and the file holds each item at its location as a
// live record whose stored sequence is i.
void ExpectConsistent(CTableManager& db, const std::string& sWhere);
// Stores every table's sequence where a failed patch left it behind (what
// the next operation of the copy does on its way).
void StoreSequences(CTableManager& db);
// Both copies hold the same items in the same order at the same locations.
void ExpectSameTables(CTableManager& a, CTableManager& b, const std::string& sWhere);
// Opens the file in a fresh copy and compares it with db.
void ExpectFileMatches(CCopyGroup& group, CTableManager& db, const std::string& sWhere);

// Adding items through their dialogs: the scripted host fills the form.
uint32_t AddPerson(CTableManager& db, CScriptedUi& ui, const std::string& sLast,
                   const std::string& sFirst, const std::string& sCategories = "");
uint32_t AddCategory(CTableManager& db, CScriptedUi& ui, const std::string& sName);
uint32_t AddSchedule(CTableManager& db, CScriptedUi& ui, const std::string& sDescription,
                     const std::string& sType, const std::string& sStart,
                     const std::string& sCategories = "");
uint32_t AddLogEvent(CTableManager& db, CScriptedUi& ui, const std::string& sText,
                     const std::string& sDate);

// The item of a table as its own class.
const CPerson* PersonOf(CTableManager& db, uint32_t nCode);
const CScheduleRecord* ScheduleOf(CTableManager& db, uint32_t nCode);
const CLogRecord* LogOf(CTableManager& db, uint32_t nCode);
const CCategory* CategoryOf(CTableManager& db, uint32_t nCode);
// Codes of a table in display order.
std::vector<uint32_t> CodesOf(CTableManager& db, uint8_t nTable);
// The 4 stored sequence bytes of a record, read from the file.
uint32_t StoredSequence(CTableManager& db, uint32_t nLoc);
