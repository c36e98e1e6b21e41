// Every user-level operation under every injected read, write and flush
// failure it can meet (see FaultSweep.h): opening, adding, editing and
// deleting an item of each table, saving the settings and Kelvo.cfg,
// repairing, backing up and restoring.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FaultSweep.h"
#include "backup/CBackupRestore.h"
#include "backup/CRemovableDrives.h"
#include "backup/CRestoreJob.h"
#include "engine/CDbRepair.h"
#include "support/CConfigFile.h"

namespace {

class CNoDrives : public CRemovableDrives {
 public:
  std::vector<stDrive> GetRemovableDriveList() override { return {}; }
};

const char* const kTableNames[] = {"category", "person", "schedule", "log"};
constexpr uint8_t kTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};

// The field an edit changes and the fields of a new item, per table.
std::vector<stEditField> NewFields(uint8_t nTable) {
  switch (nTable) {
    case TABLE_CATEGORY: return {{ItemField::kName, "New group"}};
    case TABLE_PERSON: return {{ItemField::kLastName, "New person"}, {ItemField::kComments, "a\nb"}};
    case TABLE_SCHEDULE:
      return {{ItemField::kDescription, "New meeting"},
              {ItemField::kRepeatType, "O"},
              {ItemField::kStart, "03/01/2025 08:00AM"}};
    default: return {{ItemField::kDescription, "New call"}, {ItemField::kDate, "03/02/2025 11:00AM"}};
  }
}
std::vector<stEditField> ChangedFields(uint8_t nTable) {
  return {{nTable == TABLE_CATEGORY ? ItemField::kName
           : nTable == TABLE_PERSON ? ItemField::kLastName
                                    : ItemField::kDescription,
           "Changed"}};
}

stSweepOp Op(const std::string& sName, std::function<bool(stSweepRun&)> fnRun) {
  stSweepOp op;
  op.sName = sName;
  op.fnRun = std::move(fnRun);
  return op;
}

stSweepOp Operation(CFaultSweep& sweep, const std::string& sName) {
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t nTable = kTables[i];
    const uint32_t nCode = sweep.Code(nTable, 1);
    if (sName == std::string("add ") + kTableNames[i])
      return Op(sName, [nTable](stSweepRun& r) {
        r.ui.QueueEdit(NewFields(nTable));
        return r.db.AddTableItem(nTable, DB_NONE, nullptr, true, {}, nullptr) == eItemResult::Done;
      });
    if (sName == std::string("edit ") + kTableNames[i])
      return Op(sName, [nTable, nCode](stSweepRun& r) {
        r.ui.QueueEdit(ChangedFields(nTable));
        return r.db.EditTableItem(nTable, nCode) == eItemResult::Done;
      });
    if (sName == std::string("delete ") + kTableNames[i])
      return Op(sName, [nTable, nCode = sweep.Code(nTable, 0)](stSweepRun& r) {
        return r.db.DeleteTableItem(nTable, nCode, false) == eItemResult::Done;
      });
  }
  stSweepOp op = Op(sName, nullptr);
  if (sName == "open") {
    op.fnRun = [](stSweepRun& r) { return r.db.OpenDatabase(r.sRoot, false) == 1; };
    op.bOpens = true;
  } else if (sName == "settings") {
    op.fnRun = [](stSweepRun& r) {
      const stParamRange& range = CVarData::Ranges()[0];
      const int32_t nOld = r.db.GetVarData().*range.m_pField;
      r.ui.QueueEdit({{range.m_pLabel, std::to_string(nOld == range.m_nMin ? nOld + 1 : range.m_nMin)}});
      return r.db.EditVarRecord(true) == eItemResult::Done;
    };
  } else if (sName == "Kelvo.cfg") {
    // Written to a new file and renamed over the old one: old or new, never half.
    op.fnRun = [](stSweepRun& r) {
      std::ofstream(r.sFolder + "/Kelvo.cfg") << "BACKUP|/old\n";
      stAppSettings s;
      s.sBackup = "/new";
      const bool bOk = CConfigFile::WriteFile(r.sFolder + "/Kelvo.cfg", s);
      if (!bOk) r.saTold.push_back("false");  // the caller shows its text
      return bOk;
    };
    op.fnCheck = [](stSweepRun& r, bool bOk) {
      stAppSettings s;
      CConfigFile::ReadFile(r.sFolder + "/Kelvo.cfg", s);
      EXPECT_TRUE(s.sBackup == "/new" || (!bOk && s.sBackup == "/old")) << s.sBackup;
    };
  } else if (sName == "repair") {
    op.bDamaged = true;
    op.fnRun = [](stSweepRun& r) {
      CDbRepair repair(r.db);
      std::vector<std::string> saReport;
      repair.TestAndRepairDatabase(1, saReport);
      for (const auto& s : saReport)
        if (s.find("Could not") != std::string::npos || s.find("Can't") != std::string::npos)
          r.saTold.push_back(s);
      return r.saTold.empty() && repair.WroteChanges();
    };
  } else if (sName == "backup") {
    op.fnRun = [](stSweepRun& r) {
      CNoDrives drives;
      return CBackupRestore(drives).BackupTo(r.db, r.sFolder + "/bk", 3) == 1;
    };
    // An archive left under the backup's name is one a restore accepts.
    op.fnCheck = [](stSweepRun& r, bool bOk) {
      const std::string sZip = r.sFolder + "/bk.zp0";
      EXPECT_TRUE(std::filesystem::exists(sZip) || !bOk);
      if (std::filesystem::exists(sZip)) {
        CRestoreJob job(r.sFolder + "/check.dbm", sZip);
        EXPECT_TRUE(job.Prepare()) << job.Error();
      }
    };
  } else if (sName == "restore") {
    op.bAtomic = true;
    op.fnRun = [](stSweepRun& r) {
      CNoDrives drives;
      return CBackupRestore(drives).DoFileRestore(r.db, r.sArchive) == 1;
    };
  }
  return op;
}

class FaultSweep : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultSweep, EveryFailureIsReportedAndLosesNothing) {
  CFaultSweep sweep;
  const stSweepOp op = Operation(sweep, GetParam());
  ASSERT_TRUE(op.fnRun) << GetParam();
  const stSweepFigures f = sweep.Sweep(op);
  EXPECT_GT(f.nFailures, 0);
  std::cout << "[  sweep   ] " << op.sName << ": " << f.nRuns << " runs, " << f.nFailures
            << " reported failures\n";
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep,
                         ::testing::Values("open", "add category", "add person", "add schedule", "add log",
                                           "edit category", "edit person", "edit schedule", "edit log",
                                           "delete category", "delete person", "delete schedule",
                                           "delete log", "settings", "Kelvo.cfg", "repair", "backup",
                                           "restore"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string s;
                           for (const char* p = info.param; *p; ++p)
                             s += std::isalnum(uint8_t(*p)) ? *p : '_';
                           return s;
                         });

}  // namespace
