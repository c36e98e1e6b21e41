#include "RepairHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"

bool stRunResult::Has(const std::string& sLine) const {
  return std::find(saReport.begin(), saReport.end(), sLine) != saReport.end();
}

std::string stRunResult::Text() const {
  std::string s;
  for (const auto& sLine : saReport) s += sLine + "\n";
  return s;
}

namespace {

stRunResult Run(CDbEngine& engine, int nRepair) {
  stRunResult r;
  CDbRepair repair(engine);
  r.nResult = repair.TestAndRepairDatabase(nRepair, r.saReport);
  r.bRefused = repair.RepairRefused();
  r.bReadFailed = repair.ReadFailed();
  r.bWrote = repair.WroteChanges();
  return r;
}

}  // namespace

stRunResult TestFile(const std::string& sPath) {
  CDbEngine engine;
  if (!engine.OpenDBForReading(sPath)) {
    ADD_FAILURE() << "cannot open " << sPath << " for reading";
    return {};
  }
  stRunResult r = Run(engine, 0);
  engine.CloseDB();
  return r;
}

stRunResult RepairFile(const std::string& sPath) {
  CDbEngine engine;
  engine.m_nUserNumber = 1;
  engine.SetOpenForRepair(true);
  if (engine.OpenDB(sPath, false) == eOpenResult::Failed) {
    ADD_FAILURE() << "cannot open " << sPath;
    return {};
  }
  stRunResult r = Run(engine, 1);
  engine.CloseDB();
  return r;
}

std::vector<stLoadedRecord> LoadRecords(const std::string& sPath) {
  std::vector<stLoadedRecord> records;
  CDbEngine engine;
  if (!engine.OpenDBForReading(sPath)) {
    ADD_FAILURE() << "cannot open " << sPath << " for reading";
    return records;
  }
  if (engine.MakeFileHeaderArray(nullptr, 1, nullptr) == DB_NONE) ADD_FAILURE() << "load failed";
  for (const stDataHeader& h : engine.m_caDataHeaders) {
    stLoadedRecord r{h.nCurrLoc, h.nTable, h.nKey, h.cStatus, {}};
    const uint32_t n = engine.ReadRecord(h.nCurrLoc, 0);
    r.sData.assign(reinterpret_cast<const char*>(engine.m_cBuffer), n);
    records.push_back(r);
  }
  engine.CloseDB();
  return records;
}

const stLoadedRecord* FindRecord(const std::vector<stLoadedRecord>& records, uint32_t nLoc) {
  for (const auto& r : records)
    if (r.nLoc == nLoc) return &r;
  return nullptr;
}
