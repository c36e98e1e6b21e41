#pragma once
// The I/O fault sweep: one user-level operation run again and again on a
// fresh copy of a database, with the n-th read, write or flush failing
// (EIO or ENOSPC, once or from then on), n = 1, 2, ... until the operation
// completes without meeting the fault. Every run must report a failure it
// met with a failure value and a text, never as success; once the fault is
// lifted the file passes the integrity test and holds every record either
// as it was before the operation or as the operation leaves it.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/TestCommon.h"
#include "data/CTableManager.h"

// Every record of a database by (table, key): the item payloads without
// their display sequence, and the parameters record; under (table, the
// sequence code) each item table's display order as a fresh load shows it.
using CSnapshot = std::map<std::pair<int, uint32_t>, std::string>;

// One run of an operation: its own folder with a copy of the database (and
// of the archive the restore uses), the scripted host and the open copy.
struct stSweepRun {
  std::string sFolder;
  std::string sRoot;     // the database path without ".dbm"
  std::string sArchive;  // a backup of the database as it was before the last add
  CScriptedUi ui;
  CTableManager db;
  // Failure texts an operation reports other than in message boxes.
  std::vector<std::string> saTold;
  std::string DbPath() const { return sRoot + ".dbm"; }
};

struct stSweepOp {
  std::string sName;
  // Runs the operation on the open copy (on a closed one with bOpens);
  // true when it reported success.
  std::function<bool(stSweepRun&)> fnRun;
  // Further checks after the fault was lifted and the copy closed.
  std::function<void(stSweepRun&, bool bOk)> fnCheck;
  bool bOpens = false;
  // The file starts with a damaged header: what a repair finds.
  bool bDamaged = false;
  // All or nothing: a failure leaves the whole file as it was.
  bool bAtomic = false;
};

struct stSweepFigures {
  int nRuns = 0;
  int nFailures = 0;
};

class CFaultSweep {
 public:
  // Builds the pristine database: two items of every item table, and an
  // archive of it taken before a third person was added.
  CFaultSweep();
  stSweepFigures Sweep(const stSweepOp& op);

  // The integrity test of a closed file, read-only: true when sound.
  static bool Sound(const std::string& sPath, std::string* pReport = nullptr);
  // The records of a closed file as a fresh copy loads them.
  static CSnapshot Load(const std::string& sRoot);
  // A code of a table in the pristine file (i: 0 or 1).
  uint32_t Code(uint8_t nTable, int i) const { return m_codes.at(nTable).at(size_t(i)); }

 private:
  void Prepare(stSweepRun& run, const stSweepOp& op, int nRun);
  void Verify(stSweepRun& run, const stSweepOp& op, bool bOk, const CSnapshot& after);

  CScratchFolder m_folder;
  std::string m_sPristine;
  std::string m_sArchive;
  CSnapshot m_before;
  std::map<uint8_t, std::vector<uint32_t>> m_codes;
};
