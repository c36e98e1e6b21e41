#include "FaultSweep.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "backup/CBackupRestore.h"
#include "backup/CRemovableDrives.h"
#include "engine/CDbRepair.h"
#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kItemTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};

class CNoDrives : public CRemovableDrives {
 public:
  std::vector<stDrive> GetRemovableDriveList() override { return {}; }
};

std::string Encoded(uint8_t nTable, const CDataRecord& item) {
  std::vector<uint8_t> cBuffer(DB_BUFFER_SIZE);
  stRecordBuffer b(cBuffer.data(), uint32_t(cBuffer.size()));
  const uint32_t nLen = CDatabase::EncodeItem(nTable, item, b);
  // The sequence (the first field) moves when other items come and go.
  return nLen > 4 ? std::string(cBuffer.begin() + 4, cBuffer.begin() + nLen) : "";
}

// The records in which two snapshots differ.
std::string Describe(const CSnapshot& a, const CSnapshot& b) {
  std::string sOut;
  CSnapshot keys = a;
  keys.insert(b.begin(), b.end());
  for (const auto& [key, sBytes] : keys)
    if (!a.count(key) || !b.count(key) || a.at(key) != b.at(key))
      sOut += StrFormat(" %d/%u%s", key.first, key.second,
                        !a.count(key)   ? " missing"
                        : !b.count(key) ? " extra"
                                        : "");
  return sOut;
}

std::string Shown(const CScriptedUi& ui) {
  std::string sOut;
  for (const auto& s : ui.Shown()) sOut += "\n  " + s.sKind + ": " + s.sText;
  return sOut;
}

}  // namespace

CFaultSweep::CFaultSweep() {
  setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1);
  const std::string sRoot = m_folder.File("pristine");
  m_sPristine = sRoot + ".dbm";
  m_sArchive = m_folder.File("archive");
  CTestUi ui;
  CTableManager db;
  EXPECT_EQ(db.OpenDatabase(sRoot, false), 1);
  for (int i = 0; i < 2; ++i) {
    const std::string s = std::to_string(i + 1);
    m_codes[TABLE_CATEGORY].push_back(AddCategory(db, ui, "Group " + s));
    m_codes[TABLE_PERSON].push_back(AddPerson(db, ui, "Person " + s, "First " + s));
    m_codes[TABLE_SCHEDULE].push_back(AddSchedule(db, ui, "Meeting " + s, "O", "01/0" + s + "/2025 09:00AM"));
    m_codes[TABLE_LOG].push_back(AddLogEvent(db, ui, "Call " + s, "02/0" + s + "/2025 10:00AM"));
  }
  CNoDrives drives;
  CBackupRestore backup(drives);
  EXPECT_EQ(backup.BackupTo(db, m_sArchive, 1), 1);
  m_sArchive += ".zp0";
  AddPerson(db, ui, "Added after the backup", "");
  db.CloseDatabase();
  // The open marks the file open: a copy keeps the pristine one as it is.
  fs::copy_file(m_sPristine, sRoot + "-load.dbm");
  m_before = Load(sRoot + "-load");
}

bool CFaultSweep::Sound(const std::string& sPath, std::string* pReport) {
  CDbEngine engine;
  if (!engine.OpenDBForReading(sPath)) return false;
  CDbRepair repair(engine);
  std::vector<std::string> saReport;
  const int n = repair.TestAndRepairDatabase(0, saReport);
  engine.CloseDB();
  for (const auto& sLine : saReport)
    if (pReport) *pReport += "\n" + sLine;
  return n == 1 && !repair.ReadFailed();
}

CSnapshot CFaultSweep::Load(const std::string& sRoot) {
  CScriptedUi ui;  // answers No to the integrity test a not closed file offers
  CScopedUi scope(ui);
  CTableManager db;
  CSnapshot s;
  EXPECT_EQ(db.OpenDatabase(sRoot, false), 1) << ::testing::PrintToString(ui.Messages());
  for (uint8_t nTable : kItemTables)
    for (const auto& e : *db.PtrToIndexArray(nTable)) {
      EXPECT_EQ(s.count({nTable, e.m_nCode}), 0u) << "key twice";
      s[{nTable, e.m_nCode}] = Encoded(nTable, *e.m_pItem);
      s[{nTable, SEQUENCE_CODE}] += StrFormat("%u ", e.m_nCode);
    }
  std::vector<uint8_t> cBuffer(DB_BUFFER_SIZE);
  stRecordBuffer b(cBuffer.data(), uint32_t(cBuffer.size()));
  const uint32_t nLen = CVarData::LoadBufferVarData(db.GetVarData(), b);
  s[{TABLE_PARAMETERS, 1}] = std::string(cBuffer.begin(), cBuffer.begin() + nLen);
  db.CloseDatabase();
  return s;
}

void CFaultSweep::Prepare(stSweepRun& run, const stSweepOp& op, int nRun) {
  run.sFolder = m_folder.File(StrFormat("run%d", nRun));
  fs::remove_all(run.sFolder);
  fs::create_directory(run.sFolder);
  run.sRoot = run.sFolder + "/work";
  run.sArchive = run.sFolder + "/archive.zp0";
  fs::copy_file(m_sPristine, run.DbPath());
  fs::copy_file(m_sArchive, run.sArchive);
  if (op.bDamaged) {
    // The first record's user byte 0: the repair rewrites that header.
    std::fstream f(run.DbPath(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(DB_FIRST_RECORD_LOC + 32);
    f.put(0);
  }
  if (!op.bOpens) {
    CScopedUi scope(run.ui);
    ASSERT_EQ(run.db.OpenDatabase(run.sRoot, false), 1);
  }
}

stSweepFigures CFaultSweep::Sweep(const stSweepOp& op) {
  struct stFault {
    eIoCall nCall;
    int nErrno;
  };
  static const stFault kFaults[] = {{IO_CALL_PREAD, EIO},
                                    {IO_CALL_PWRITE, EIO},
                                    {IO_CALL_PWRITE, ENOSPC},
                                    {IO_CALL_FSYNC, EIO},
                                    {IO_CALL_FSYNC, ENOSPC}};
  stSweepFigures figures;
  // What the operation leaves when nothing fails.
  CSnapshot after;
  {
    stSweepRun run;
    Prepare(run, op, 0);
    CScopedUi scope(run.ui);
    EXPECT_TRUE(op.fnRun(run)) << op.sName << ": " << ::testing::PrintToString(run.ui.Messages());
    run.db.CloseDatabase();
    after = Load(run.sRoot);
  }
  for (const stFault& fault : kFaults)
    for (bool bPersistent : {false, true}) {
      bool bFired = true;
      for (int n = 1; bFired && n < 400; ++n) {
        SCOPED_TRACE(::testing::Message() << op.sName << ": call " << fault.nCall << " error " << fault.nErrno
                                          << " #" << n << (bPersistent ? " from then on" : " once"));
        stSweepRun run;
        Prepare(run, op, ++figures.nRuns);
        if (::testing::Test::HasFatalFailure()) return figures;
        CScopedUi scope(run.ui);
        const long nBefore = CSharedFile::CallCount(fault.nCall);
        CSharedFile::InjectFault(fault.nCall, n, bPersistent, fault.nErrno);
        const bool bOk = op.fnRun(run);
        bFired = CSharedFile::CallCount(fault.nCall) - nBefore >= n;
        CSharedFile::ClearFaults();
        if (!bFired) {
          EXPECT_TRUE(bOk) << "failed without a fault";
        }
        if (!bOk) {
          ++figures.nFailures;
          EXPECT_FALSE(run.ui.Messages().empty() && run.saTold.empty())
              << "a failure nobody was told of" << Shown(run.ui);
        }
        run.db.CloseDatabase();
        Verify(run, op, bOk, after);
        if (op.fnCheck) op.fnCheck(run, bOk);
        if (::testing::Test::HasFailure()) return figures;
        fs::remove_all(run.sFolder);
      }
    }
  return figures;
}

void CFaultSweep::Verify(stSweepRun& run, const stSweepOp& op, bool bOk, const CSnapshot& after) {
  const CSnapshot& before = m_before;
  if (op.bDamaged && !Sound(run.DbPath())) {
    // A repair the fault stopped: run again, it finishes the work.
    CDbEngine engine;
    engine.m_nUserNumber = 5;
    engine.SetOpenForRepair(true);
    ASSERT_NE(engine.OpenDB(run.DbPath(), false), eOpenResult::Failed);
    std::vector<std::string> saReport;
    CDbRepair(engine).TestAndRepairDatabase(1, saReport);
    engine.CloseDB();
  }
  // The reopen clears what the failed copy left behind (its locks).
  const CSnapshot now = Load(run.sRoot);
  std::string sReport;
  EXPECT_TRUE(Sound(run.DbPath(), &sReport)) << "the reopened file fails the integrity test" << sReport;
  if (bOk) {
    EXPECT_TRUE(now == after) << "reported done:" << Describe(now, after) << Shown(run.ui);
    return;
  }
  if (op.bAtomic) {
    EXPECT_TRUE(now == before || now == after) << "half done:" << Describe(now, after);
    return;
  }
  // A failed operation leaves each record as it was or as it would be. The
  // order may be neither: a failed sequence store is told, and the next
  // sort stores it again.
  CSnapshot keys = before;
  keys.insert(after.begin(), after.end());
  for (const auto& [key, sBytes] : keys) {
    (void)sBytes;
    if (key.second == SEQUENCE_CODE) continue;
    const auto itNow = now.find(key);
    const auto itOld = before.find(key);
    const auto itNew = after.find(key);
    const bool bAsOld =
        itOld == before.end() ? itNow == now.end() : itNow != now.end() && itNow->second == itOld->second;
    const bool bAsNew =
        itNew == after.end() ? itNow == now.end() : itNow != now.end() && itNow->second == itNew->second;
    EXPECT_TRUE(bAsOld || bAsNew) << "record " << key.first << "/" << key.second;
  }
  for (const auto& [key, sBytes] : now)
    EXPECT_TRUE(keys.count(key)) << "stray record " << key.first << "/" << key.second;
}
