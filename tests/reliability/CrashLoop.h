#pragma once
// The crash loop: a "kelvotool session" copy makes random adds, edits and
// deletes on one database and logs what it acknowledged; it is killed with
// SIGKILL at a random moment, and the file is reopened alone and checked:
// the close status shows the copy did not close, the integrity test passes
// (or a repair makes it pass), no lock is left behind, no acknowledged
// record or edit is lost, and a clean close sets the close status.

#include <cstdint>
#include <random>
#include <string>

#include "AckModel.h"
#include "common/TestCommon.h"

struct stCrashFigures {
  int nKills = 0;
  int nReopens = 0;
  int nRepairs = 0;
  int nLost = 0;
};

class CCrashLoop {
 public:
  explicit CCrashLoop(uint32_t nSeed);
  stCrashFigures Run(int nKills);

 private:
  void KillOneCopy(int nRound);
  void CheckReopen();
  CScratchFolder m_folder;
  std::string m_sRoot;
  std::mt19937 m_gen;
  stCrashFigures m_figures;
  CAckModel m_model;
};
