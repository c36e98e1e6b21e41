// Real processes: kelvotool test and repair on damaged files, and a second
// program copy that appends and rewrites records while this one tests.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "RepairFixture.h"
#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

class RepairProcess : public RepairFixture {
 protected:
  int Tool(const std::string& sArgs, std::string* pOut = nullptr) {
    return RunCommand("KELVO_HOME=" + m_folder.Path() + " " + KELVOTOOL_PATH + " " + sArgs +
                          " 2>/dev/null",
                      pOut);
  }
  // The standard file with a wrong back link and an orphan behind record 1's data.
  void BuildDamaged(const std::string& sPath) {
    Header(2).nPrevLoc = 4444;
    ASSERT_TRUE(m_builder.Write(sPath));
    stDataHeader h;
    h.nCurrLoc = OrphanLoc();
    h.nBlkLen = h.nDataLen = 20;
    h.nTable = 6;
    h.nKey = 7;
    h.nUser = 1;
    h.cStatus = '+';
    PatchHeader(sPath, OrphanLoc(), h);
  }
  uint32_t OrphanLoc() const { return Loc(1) + DB_HEADER_LEN + 110; }
};

TEST_F(RepairProcess, KelvotoolTestReportsAndChangesNothing) {
  BuildStandard();
  WriteFile();
  std::string sOut;
  EXPECT_EQ(Tool("test " + m_sPath, &sOut), 0);
  EXPECT_NE(sOut.find(std::string(kTestHead) + "\n\nNo problems found.\n"), std::string::npos)
      << sOut;

  const std::string sDamaged = m_folder.File("damaged.dbm");
  BuildDamaged(sDamaged);
  const std::string sBefore = FileBytes(sDamaged);
  EXPECT_EQ(Tool("test " + sDamaged, &sOut), 1);
  EXPECT_NE(sOut.find(StrFormat("Record at %u has invalid pointer 4444 to previous record at %u.",
                                Loc(2), Loc(1))),
            std::string::npos)
      << sOut;
  EXPECT_NE(sOut.find(StrFormat("Record header at file location %u not found", OrphanLoc())),
            std::string::npos);
  EXPECT_EQ(FileBytes(sDamaged), sBefore);

  EXPECT_EQ(Tool("test " + m_folder.File("missing.dbm")), 2);
  EXPECT_EQ(Tool("test"), 2);
}

TEST_F(RepairProcess, KelvotoolRepairBacksUpThenRepairs) {
  BuildStandard();
  const std::string sYes = m_folder.File("yes.dbm");
  const std::string sNo = m_folder.File("no.dbm");
  const std::string sAsk = m_folder.File("ask.dbm");
  BuildDamaged(sYes);
  BuildDamaged(sNo);
  BuildDamaged(sAsk);
  const std::string sDamaged = FileBytes(sYes);

  std::string sOut;
  EXPECT_EQ(Tool("repair " + sYes + " --yes", &sOut), 0) << sOut;
  EXPECT_NE(sOut.find(" Record restored to database"), std::string::npos) << sOut;
  EXPECT_EQ(FileBytes(sYes + ".before-repair"), sDamaged);
  EXPECT_EQ(Tool("test " + sYes), 0);
  EXPECT_EQ(HeaderAt(sYes, Loc(1)).nNextLoc, OrphanLoc());

  EXPECT_EQ(Tool("repair " + sNo + " --no", &sOut), 0) << sOut;
  EXPECT_NE(sOut.find(" Record cleared from database"), std::string::npos) << sOut;
  EXPECT_EQ(FileBytes(sNo).substr(OrphanLoc(), 2), std::string(2, '\0'));

  // On the terminal: Cancel keeps the orphan, so faults remain.
  EXPECT_EQ(Tool("repair " + sAsk + " < /dev/null", &sOut), 1) << sOut;
  EXPECT_EQ(Tool("test " + sAsk), 1);
  EXPECT_EQ(HeaderAt(sAsk, Loc(2)).nPrevLoc, Loc(1));

  // A sound file needs no repair and gets no backup.
  EXPECT_EQ(Tool("repair " + m_folder.File("missing.dbm") + " --yes"), 2);
  const std::string sSound = m_folder.File("sound.dbm");
  ASSERT_TRUE(CDbFileBuilder().Write(sSound));
  EXPECT_EQ(Tool("repair " + sSound + " --yes"), 0);
  EXPECT_FALSE(FileExists(sSound + ".before-repair"));
}

TEST_F(RepairProcess, KelvotoolRepairIsRefusedWhileAnotherCopyIsOpen) {
  BuildStandard();
  BuildDamaged(m_sPath);
  CDbEngine other;
  ASSERT_EQ(other.OpenDB(m_sPath, false), eOpenResult::Opened);
  const std::string sBefore = FileBytes(m_sPath);
  std::string sOut;
  EXPECT_EQ(Tool("repair " + m_sPath + " --yes", &sOut), 2);
  EXPECT_NE(sOut.find("Other copies have this database open: repair needs the others to close "
                      "the file."),
            std::string::npos)
      << sOut;
  EXPECT_EQ(FileBytes(m_sPath), sBefore);
  EXPECT_FALSE(FileExists(m_sPath + ".before-repair"));
  other.CloseDB();
}

// The other copy: appends new records and rewrites old ones (in place, or
// elsewhere when they grew) under the database lock until told to stop, then
// writes what each key holds last to the manifest. A byte on nProgress after
// every write (none while the pipe is full: the reader has some waiting).
[[noreturn]] void RunWriter(const std::string& sPath, const std::string& sManifest, int nReady,
                            int nStop, int nProgress) {
  CDbEngine engine;
  engine.m_nUserNumber = 2;
  if (engine.OpenDB(sPath, false) == eOpenResult::Failed ||
      engine.MakeFileHeaderArray(nullptr, 1, nullptr) == DB_NONE)
    _exit(3);
  const char c = 1;
  if (write(nReady, &c, 1) != 1) _exit(4);
  std::mt19937 rng(99);
  std::map<uint32_t, std::pair<size_t, char>> last;
  pollfd p{nStop, POLLIN, 0};
  fcntl(nProgress, F_SETFL, O_NONBLOCK);
  for (int i = 0; i < 150 || poll(&p, 1, 0) == 0; ++i) {
    const uint32_t nKey = (1u << 24) + 1 + (i < 150 ? uint32_t(i) : rng() % 150);
    const size_t nSize = 10 + rng() % 300;
    const char cFill = char('A' + i % 26);
    if (!engine.LockDatabase("Test")) _exit(5);
    std::memset(engine.m_cBuffer, cFill, nSize);
    const uint32_t nLoc = engine.WriteRecord(uint32_t(nSize), 6, nKey, 0, 0);
    engine.UnlockDatabase();
    if (nLoc == DB_NONE) _exit(6);
    last[nKey] = {nSize, cFill};
    (void)!write(nProgress, &c, 1);
  }
  engine.CloseDB();
  std::ofstream f(sManifest);
  for (const auto& [nKey, v] : last) f << nKey << " " << v.first << " " << int(v.second) << "\n";
  f.close();  // _exit flushes nothing
  _exit(f ? 0 : 7);
}

// Waits for at least one progress byte, then takes every one waiting; false
// when the writer ended.
bool TakeProgress(int nFd) {
  char c[4096];
  if (read(nFd, c, 1) != 1) return false;
  pollfd p{nFd, POLLIN, 0};
  while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN) && read(nFd, c, sizeof c) > 0) {
  }
  return true;
}

TEST_F(RepairProcess, TestBesideACopyThatWritesNeverCutsTheChain) {
  BuildStandard();
  WriteFile();
  const std::string sManifest = m_folder.File("manifest.txt");
  int naReady[2], naStop[2], naProgress[2];
  ASSERT_EQ(pipe(naReady), 0);
  ASSERT_EQ(pipe(naStop), 0);
  ASSERT_EQ(pipe(naProgress), 0);
  const pid_t nPid = fork();
  ASSERT_GE(nPid, 0);
  if (nPid == 0) {
    close(naReady[0]);
    close(naStop[1]);
    close(naProgress[0]);
    RunWriter(m_sPath, sManifest, naReady[1], naStop[0], naProgress[1]);
  }
  close(naReady[1]);
  close(naStop[0]);
  close(naProgress[1]);
  char c = 0;
  ASSERT_EQ(read(naReady[0], &c, 1), 1);

  CDbEngine engine;
  engine.m_nUserNumber = 1;
  ASSERT_EQ(engine.OpenDB(m_sPath, false),
            eOpenResult::NotClosedProperly);  // the writer has it open
  for (int nRound = 0; nRound < 40; ++nRound) {
    // Every round begins after the writer wrote again: it writes beside the
    // test whatever the load of the computer.
    ASSERT_TRUE(TakeProgress(naProgress[0])) << "the writer ended early, round " << nRound;
    std::vector<std::string> saReport;
    CDbRepair repair(engine);
    repair.TestAndRepairDatabase(nRound % 2, saReport);
    EXPECT_FALSE(repair.WroteChanges()) << "round " << nRound;
    EXPECT_EQ(repair.RepairRefused(), nRound % 2 == 1) << "round " << nRound;
  }
  close(naStop[1]);
  int nStatus = 0;
  ASSERT_EQ(waitpid(nPid, &nStatus, 0), nPid);
  ASSERT_TRUE(WIFEXITED(nStatus));
  ASSERT_EQ(WEXITSTATUS(nStatus), 0);
  engine.CloseDB();
  close(naReady[0]);
  close(naProgress[0]);

  // The chain reaches the end of the file: every link in order.
  const std::string s = FileBytes(m_sPath);
  uint32_t nLoc = DB_FIRST_RECORD_LOC, nPrev = DB_NONE;
  size_t nCount = 0;
  for (;;) {
    ASSERT_LE(size_t(nLoc) + DB_HEADER_LEN, s.size());
    const stDataHeader h = UnpackHeader(reinterpret_cast<const uint8_t*>(s.data()) + nLoc);
    ASSERT_EQ(h.nCurrLoc, nLoc);
    ASSERT_EQ(h.nPrevLoc, nPrev);
    ++nCount;
    if (h.nNextLoc == DB_NONE) {
      EXPECT_EQ(size_t(nLoc) + DB_HEADER_LEN + h.nBlkLen, s.size()) << "a record after the end";
      break;
    }
    ASSERT_EQ(h.nNextLoc, nLoc + DB_HEADER_LEN + h.nBlkLen);
    nPrev = nLoc;
    nLoc = h.nNextLoc;
  }
  EXPECT_GT(nCount, 150u);

  // Every key holds what the writer wrote last.
  std::map<uint32_t, std::string> loaded;
  for (const auto& r : LoadRecords(m_sPath))
    if (r.nTable == 6 && IsLiveStatus(r.cStatus)) loaded[r.nKey] = r.sData;
  std::ifstream f(sManifest);
  uint32_t nKey = 0;
  size_t nSize = 0;
  int nFill = 0;
  size_t nKeys = 0;
  while (f >> nKey >> nSize >> nFill) {
    ++nKeys;
    ASSERT_EQ(loaded.count(nKey), 1u) << "key " << nKey;
    EXPECT_EQ(loaded[nKey], std::string(nSize, char(nFill))) << "key " << nKey;
  }
  EXPECT_EQ(nKeys, 150u);
  ExpectClean();
}

}  // namespace
