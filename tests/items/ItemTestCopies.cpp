#include "items/ItemTestCopies.h"

#include <algorithm>

#include "data/CDatabaseNetwork.h"
#include "support/StringUtil.h"

namespace {
constexpr uint8_t kItemTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};

bool SameItem(uint8_t nTable, const CDataRecord& a, const CDataRecord& b) {
  switch (nTable) {
    case TABLE_CATEGORY: return static_cast<const CCategory&>(a) == static_cast<const CCategory&>(b);
    case TABLE_PERSON: return static_cast<const CPerson&>(a) == static_cast<const CPerson&>(b);
    case TABLE_SCHEDULE:
      return static_cast<const CScheduleRecord&>(a) == static_cast<const CScheduleRecord&>(b);
    case TABLE_LOG: return static_cast<const CLogRecord&>(a) == static_cast<const CLogRecord&>(b);
    default: return false;
  }
}
}  // namespace

int CHookUi::EditItem(stEditForm& form) {
  if (m_fnBeforeEdit) {
    auto fn = std::move(m_fnBeforeEdit);
    m_fnBeforeEdit = nullptr;
    fn();
  }
  return CTestUi::EditItem(form);
}

// The LAN as the engine sees it: no lock manager (the in-file locks decide),
// every open copy counted on line, change notices carried to the others.
class CTestCopy::CLink : public CLockManagerLink {
 public:
  explicit CLink(CTestCopy& copy) : m_copy(copy) {}
  bool HasLanServer() override { return false; }
  // As the lock manager does, the notices held back during a refresh come
  // in before every lock wait.
  bool IsLockManagerOnLine() override {
    m_copy.Db().RefreshState().ReleaseDeferredNotices();
    return false;
  }
  unsigned CountOnLine() override { return m_copy.m_group.CountOpen(); }
  bool IsLockGrantedToOther(uint8_t, uint32_t) override { return false; }
  void ClearReceivedGrants() override {}
  bool TakeGrantFromLockManager() override { return true; }
  void SendLockRequest(uint8_t, uint32_t) override {}
  void SendUnlockNotice(uint8_t, uint32_t) override {}
  void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                        const std::vector<uint32_t>& naChangedHeaders) override {
    bool bHeaderSent = false;
    for (uint32_t nLoc : naChangedHeaders) {
      m_copy.m_group.Broadcast(m_copy, {m_copy.m_nUser, TABLE_HEADER, nLoc});
      bHeaderSent = bHeaderSent || nLoc == nHeaderLoc;
    }
    if (!bHeaderSent) m_copy.m_group.Broadcast(m_copy, {m_copy.m_nUser, nTable, nKey});
  }

 private:
  CTestCopy& m_copy;
};

class CTestCopy::CNetwork : public CDatabaseNetwork {
 public:
  explicit CNetwork(CTestCopy& copy) : m_copy(copy) {}
  void InitializeUserList(CDatabase& db) override {
    db.m_nUserNumber = m_copy.m_nUser;
    db.m_caUsers.clear();
    for (CTestCopy* p : m_copy.m_group.Copies()) {
      stUser u;
      u.m_sName = StrFormat("COPY%u", unsigned(p->m_nUser));
      u.m_nUserNumber = p->m_nUser;
      db.m_caUsers.push_back(u);
    }
  }
  int StartLanServer(CDatabase&, const std::string&) override { return 1; }
  void EndLanServer(CDatabase&) override {}

 private:
  CTestCopy& m_copy;
};

CTestCopy::CTestCopy(CCopyGroup& group, uint8_t nUser)
    : m_group(group),
      m_nUser(nUser),
      m_pLink(std::make_unique<CLink>(*this)),
      m_pNetwork(std::make_unique<CNetwork>(*this)),
      m_pDb(std::make_unique<CTableManager>()) {
  m_pDb->SetNetwork(m_pNetwork.get());
  m_pDb->SetLockManagerLink(m_pLink.get());
}

CTestCopy::~CTestCopy() {
  m_pDb->CloseDatabase();
  m_pDb.reset();
}

void CTestCopy::HoldNotices(bool bHold) { m_bHold = bHold; }

void CTestCopy::ReleaseNotices() {
  for (const stRefreshFlag& f : m_held) m_pDb->RefreshState().QueueNotice(f);
  m_held.clear();
}

void CTestCopy::Receive(const stRefreshFlag& flag) {
  if (m_bHold)
    m_held.push_back(flag);
  else
    m_pDb->RefreshState().QueueNotice(flag);
}

CTestCopy& CCopyGroup::Open(uint8_t nUser) {
  m_copies.push_back(std::make_unique<CTestCopy>(*this, nUser));
  CTestCopy& copy = *m_copies.back();
  EXPECT_EQ(copy.Db().OpenDatabase(m_sName, 1), 1) << "copy " << int(nUser);
  for (CTestCopy* p : Copies()) p->Db().SetUsersOnLine(CountOpen());
  return copy;
}

void CCopyGroup::Close(CTestCopy& copy) {
  std::erase_if(m_copies, [&](const std::unique_ptr<CTestCopy>& p) { return p.get() == &copy; });
  for (CTestCopy* p : Copies()) p->Db().SetUsersOnLine(std::max(1u, CountOpen()));
}

std::vector<CTestCopy*> CCopyGroup::Copies() const {
  std::vector<CTestCopy*> v;
  for (const auto& p : m_copies) v.push_back(p.get());
  return v;
}

void CCopyGroup::Broadcast(const CTestCopy& from, const stRefreshFlag& flag) {
  for (CTestCopy* p : Copies())
    if (p != &from) p->Receive(flag);
}

// ---- checks ----

uint32_t StoredSequence(CTableManager& db, uint32_t nLoc) {
  uint8_t a[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  db.ReadDbBlock(nLoc + DB_HEADER_LEN, a, 4, 1);
  return GetUint32(a);
}

void ExpectConsistent(CTableManager& db, const std::string& sWhere) {
  for (uint8_t t : kItemTables) {
    const CIndexArray& ia = *db.PtrToIndexArray(t);
    std::vector<uint32_t> naCodes;
    for (size_t i = 0; i < ia.size(); ++i) {
      const stIndex& e = ia[i];
      ASSERT_EQ(e.m_nSequence, i) << sWhere << " table " << int(t);
      ASSERT_EQ(CDatabase::ItemSequence(t, *e.m_pItem), i) << sWhere << " table " << int(t);
      ASSERT_EQ(CDatabase::ItemCode(t, *e.m_pItem), e.m_nCode) << sWhere;
      const int h = db.LocateHeaderInList(e.m_nFileLoc);
      ASSERT_GE(h, 0) << sWhere << " table " << int(t) << " code " << e.m_nCode;
      const stDataHeader& hd = db.m_caDataHeaders[size_t(h)];
      ASSERT_TRUE(IsLiveStatus(hd.cStatus)) << sWhere;
      ASSERT_EQ(hd.nTable, t) << sWhere;
      ASSERT_EQ(hd.nKey, e.m_nCode) << sWhere;
      ASSERT_EQ(StoredSequence(db, e.m_nFileLoc), i) << sWhere << " table " << int(t);
      naCodes.push_back(e.m_nCode);
    }
    std::sort(naCodes.begin(), naCodes.end());
    ASSERT_EQ(std::adjacent_find(naCodes.begin(), naCodes.end()), naCodes.end()) << sWhere;
    // Every live record of the table is in memory.
    std::vector<uint32_t> naLocs;
    db.GetFileLocations(t, naLocs);
    ASSERT_EQ(naLocs.size(), ia.size()) << sWhere << " table " << int(t);
  }
}

void StoreSequences(CTableManager& db) {
  ASSERT_EQ(db.LockDatabase("test"), 1);
  for (uint8_t t : kItemTables) EXPECT_EQ(db.SaveTableSequence(t, 1), 1);
  db.UnlockDatabase();
}

void ExpectSameTables(CTableManager& a, CTableManager& b, const std::string& sWhere) {
  for (uint8_t t : kItemTables) {
    const CIndexArray& ia = *a.PtrToIndexArray(t);
    const CIndexArray& ib = *b.PtrToIndexArray(t);
    ASSERT_EQ(ia.size(), ib.size()) << sWhere << " table " << int(t);
    for (size_t i = 0; i < ia.size(); ++i) {
      ASSERT_EQ(ia[i].m_nCode, ib[i].m_nCode) << sWhere << " table " << int(t) << " at " << i;
      ASSERT_EQ(ia[i].m_nSequence, ib[i].m_nSequence) << sWhere;
      ASSERT_EQ(ia[i].m_nFileLoc, ib[i].m_nFileLoc) << sWhere << " table " << int(t) << " at " << i;
      ASSERT_TRUE(SameItem(t, *ia[i].m_pItem, *ib[i].m_pItem))
          << sWhere << " table " << int(t) << " code " << ia[i].m_nCode;
    }
  }
}

void ExpectFileMatches(CCopyGroup& group, CTableManager& db, const std::string& sWhere) {
  CTestCopy& fresh = group.Open(250);
  ExpectSameTables(db, fresh.Db(), sWhere + " (fresh load)");
  ExpectConsistent(fresh.Db(), sWhere + " (fresh load)");
  group.Close(fresh);
}

// ---- adding through the dialogs ----

namespace {
uint32_t AddWith(CTableManager& db, CScriptedUi& ui, uint8_t nTable, std::vector<stEditField> fields,
                 stEditExtra extra = {}) {
  ui.QueueEdit(std::move(fields));
  uint32_t nCode = DB_NONE;
  EXPECT_EQ(db.AddTableItem(nTable, DB_NONE, nullptr, 0, extra, &nCode), eItemResult::Done);
  return nCode;
}
}  // namespace

uint32_t AddPerson(CTableManager& db, CScriptedUi& ui, const std::string& sLast,
                   const std::string& sFirst, const std::string& sCategories) {
  return AddWith(db, ui, TABLE_PERSON,
                 {{ItemField::kLastName, sLast}, {ItemField::kFirstName, sFirst},
                  {ItemField::kCategories, sCategories}});
}

uint32_t AddCategory(CTableManager& db, CScriptedUi& ui, const std::string& sName) {
  return AddWith(db, ui, TABLE_CATEGORY, {{ItemField::kName, sName}});
}

uint32_t AddSchedule(CTableManager& db, CScriptedUi& ui, const std::string& sDescription,
                     const std::string& sType, const std::string& sStart,
                     const std::string& sCategories) {
  return AddWith(db, ui, TABLE_SCHEDULE,
                 {{ItemField::kDescription, sDescription}, {ItemField::kRepeatType, sType},
                  {ItemField::kStart, sStart}, {ItemField::kCategories, sCategories}});
}

uint32_t AddLogEvent(CTableManager& db, CScriptedUi& ui, const std::string& sText,
                     const std::string& sDate) {
  return AddWith(db, ui, TABLE_LOG, {{ItemField::kDescription, sText}, {ItemField::kDate, sDate}});
}

const CPerson* PersonOf(CTableManager& db, uint32_t nCode) {
  return static_cast<const CPerson*>(db.GetPointer(TABLE_PERSON, nCode));
}
const CScheduleRecord* ScheduleOf(CTableManager& db, uint32_t nCode) {
  return static_cast<const CScheduleRecord*>(db.GetPointer(TABLE_SCHEDULE, nCode));
}
const CLogRecord* LogOf(CTableManager& db, uint32_t nCode) {
  return static_cast<const CLogRecord*>(db.GetPointer(TABLE_LOG, nCode));
}
const CCategory* CategoryOf(CTableManager& db, uint32_t nCode) {
  return static_cast<const CCategory*>(db.GetPointer(TABLE_CATEGORY, nCode));
}

std::vector<uint32_t> CodesOf(CTableManager& db, uint8_t nTable) {
  std::vector<uint32_t> v;
  for (const stIndex& e : *db.PtrToIndexArray(nTable)) v.push_back(e.m_nCode);
  return v;
}
