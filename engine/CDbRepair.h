#pragma once
// The integrity test and repair of the open database file: checks the record
// chain record by record, rewrites faulty headers in place when asked to
// repair, and offers the records that only the delimiter scan finds for
// linking back into the chain. The findings go to a list of report lines.
//
// The repair never destroys a record that was intact: it writes only at
// locations the walk or the scan accepted as headers, re-reads every header
// under a held range before it writes it, shrinks a block instead of freeing
// a record whose data still fit, keeps ("#") instead of freeing ("-") a record
// whose data do not, and never writes when a read inside the file failed.
// It writes only while this copy is alone on the file and holds the database
// lock; otherwise the test runs read-only.

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/CIntegrityScan.h"

class CDbEngine;
class CDialogWaitBox;

class CDbRepair {
 public:
  explicit CDbRepair(CDbEngine& engine);

  // 1 when no problem was found (the report then ends with "No problems
  // found."), 0 otherwise. bRepair repairs when this copy may write; with
  // 0 nothing in the file changes.
  int TestAndRepairDatabase(bool bRepair, std::vector<std::string>& saReport);

  // Outcome of the last run.
  int ProblemCount() const { return m_nProblems; }
  bool RepairRefused() const { return m_bRepairRefused; }
  bool ReadFailed() const { return m_bReadFailed; }
  bool WroteChanges() const { return m_bWrote; }

 private:
  void Fault(const std::string& sLine);
  void Note(const std::string& sLine);
  // Makes h the header of chain entry i: written when repairing (then the
  // repair line is reported), in memory only when testing.
  void ApplyFix(size_t i, const stDataHeader& h, const std::string& sRepairLine);
  // Writes nSize bytes at a header location while holding its 36 bytes, and
  // only when the file still holds *pExpected there (any bytes when null).
  bool WriteUnderHold(uint32_t nLoc, const stDataHeader* pExpected, const uint8_t* pBytes,
                      uint32_t nSize);
  bool WriteHeader(uint32_t nLoc, const stDataHeader& expected, const stDataHeader& header);
  bool ClearDelimiters(const stFoundHeader& orphan);
  void WriteFailed();

  void ReportHead(bool bAlone);
  void RunChecks();
  void FinishWrites();
  void CheckFirstHeader();
  void CheckChainEnds();
  void CheckRecord(size_t i);
  void CheckBlock(size_t i, stDataHeader& h, bool bDataTooLong);
  void CheckTrailingBytes();
  void CheckOrphans();
  void CheckOrphan(size_t k);
  // Links the orphan in after chain entry iPrev. True when it is linked.
  bool RestoreOrphan(size_t iPrev, const stFoundHeader& orphan);

  // Index of the last chain entry before nLoc, or -1.
  long ChainEntryBefore(uint32_t nLoc) const;
  bool InChain(uint32_t nLoc) const;
  bool IsDuplicate(const stDataHeader& h) const;
  void NoteLiveKey(const stDataHeader& h);
  uint32_t SpaceLimit(size_t i) const;
  uint8_t RepairedUser(const stDataHeader& h) const;

  CDbEngine& m_engine;
  CIntegrityScan m_scan;
  std::vector<std::string>* m_pReport = nullptr;
  CDialogWaitBox* m_pBox = nullptr;
  std::vector<stFoundHeader> m_chain;
  std::vector<stFoundHeader> m_candidates;
  std::set<std::pair<uint8_t, uint32_t>> m_liveKeys;  // (table, key) of live chain records
  uint32_t m_nFileSize = 0;
  bool m_bRepair = false;
  int m_nProblems = 0;
  bool m_bRepairRefused = false;
  bool m_bReadFailed = false;
  bool m_bWrote = false;
};
