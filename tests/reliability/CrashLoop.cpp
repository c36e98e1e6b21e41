#include "CrashLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "FaultSweep.h"
#include "data/CTableManager.h"
#include "engine/CDbRepair.h"
#include "engine/DbFormat.h"
#include "network/SessionProcess.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

uint32_t CloseStatus(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  uint8_t a[4] = {};
  f.seekg(LOC_CLOSED_OK);
  f.read(reinterpret_cast<char*>(a), 4);
  return GetUint32(a);
}

// True when a byte of the lock area is set.
bool LockBytesSet(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  std::string s(LOC_LOCK_AREA_END - LOC_LOCKALLTABLES_FLAG, '\0');
  f.seekg(LOC_LOCKALLTABLES_FLAG);
  f.read(s.data(), std::streamsize(s.size()));
  return s.find_first_not_of('\0') != std::string::npos;
}

}  // namespace

CCrashLoop::CCrashLoop(uint32_t nSeed) : m_sRoot(m_folder.File("CRASH")), m_gen(nSeed) {
  MakeFolder(m_folder.File("home"));
  std::ofstream(m_folder.File("home/Kelvo.cfg")) << "";
}

stCrashFigures CCrashLoop::Run(int nKills) {
  for (int i = 0; i < nKills && !::testing::Test::HasFailure(); ++i) {
    KillOneCopy(i);
    CheckReopen();
  }
  return m_figures;
}

void CCrashLoop::KillOneCopy(int nRound) {
  CSessionProcess copy(
      m_sRoot + ".dbm",
      {"KELVO_HOME=" + m_folder.File("home"), "KELVO_COMPUTERNAME=PC2", "KELVO_HOSTADDRESS=127.0.0.2"},
      {"--local"});
  ASSERT_TRUE(copy.IsOpen()) << copy.OpenReply();
  copy.Send(StrFormat("stress 1000000 %d %s", nRound, m_folder.File("ack.log").c_str()));
  std::this_thread::sleep_for(std::chrono::milliseconds(20 + m_gen() % 300));
  copy.Kill();
  ++m_figures.nKills;
}

void CCrashLoop::CheckReopen() {
  const std::string sPath = m_sRoot + ".dbm";
  EXPECT_EQ(CloseStatus(sPath), 0u) << "a killed copy left the file marked closed";
  std::string sPending;
  m_model.Apply(m_folder.File("ack.log"), &sPending);
  std::remove(m_folder.File("ack.log").c_str());
  CScriptedUi ui;  // No to the integrity test offered on the open: it runs below
  CScopedUi scope(ui);
  CTableManager db;
  ASSERT_EQ(db.OpenDatabase(m_sRoot, false), 1) << ::testing::PrintToString(ui.Messages());
  ++m_figures.nReopens;
  for (const stDataHeader& h : db.m_caDataHeaders) EXPECT_NE(h.cStatus, STATUS_LOCKED) << "record lock left";
  EXPECT_FALSE(LockBytesSet(sPath)) << "lock byte left";
  std::string sReport;
  if (!CFaultSweep::Sound(sPath, &sReport)) {
    // The repair must make it sound without losing what was acknowledged.
    ++m_figures.nRepairs;
    std::cout << "repair needed after kill " << m_figures.nKills << ":" << sReport << "\n";
    std::vector<std::string> saRepair;
    CDbRepair(db).TestAndRepairDatabase(1, saRepair);
    EXPECT_TRUE(CFaultSweep::Sound(sPath, &sReport)) << "the repair left faults" << sReport;
    db.RefreshDatabase();
  }
  // Every acknowledged record and edit is there; only the operation under
  // way at the kill may or may not have happened.
  m_figures.nLost += m_model.CountLost(db, sPending);
  // What the file holds now is what the next copy starts from.
  m_model.Adopt(db);
  db.CloseDatabase();
  EXPECT_EQ(CloseStatus(sPath), 1u) << "a clean close did not mark the file closed";
}
