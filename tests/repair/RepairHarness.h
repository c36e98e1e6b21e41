#pragma once
// Runs the integrity test and the repair on a real file through a real
// engine, and reads back what the engine loads from it afterwards.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

struct stRunResult {
  int nResult = -1;
  std::vector<std::string> saReport;
  bool bRefused = false;
  bool bReadFailed = false;
  bool bWrote = false;
  bool Has(const std::string& sLine) const;
  std::string Text() const;  // the report, one line each, for failure output
};

// Test only: opens the file for reading, as a second database object does.
stRunResult TestFile(const std::string& sPath);
// Repair: opens the file as a copy of the program does (the answers come
// from the scripted interface the caller installed).
stRunResult RepairFile(const std::string& sPath);

// One record as the engine loads it after opening the file.
struct stLoadedRecord {
  uint32_t nLoc = DB_NONE;
  uint8_t nTable = 0;
  uint32_t nKey = 0;
  char cStatus = 0;
  std::string sData;
  bool operator==(const stLoadedRecord&) const = default;
};
std::vector<stLoadedRecord> LoadRecords(const std::string& sPath);
// The record at nLoc in the list, or none.
const stLoadedRecord* FindRecord(const std::vector<stLoadedRecord>& records, uint32_t nLoc);
