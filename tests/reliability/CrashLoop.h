#pragma once
// The crash loop: a "kelvotool session" copy makes random adds, edits and
// deletes on one database and logs what it acknowledged; it is killed with
// SIGKILL at a random moment, and the file is reopened alone and checked:
// the close status shows the copy did not close, the integrity test passes
// (or a repair makes it pass), no lock is left behind, no acknowledged
// record or edit is lost, and a clean close sets the close status.

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>

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
  // What the acknowledged operations left: the persons' names and tokens,
  // the schedule items' descriptions.
  struct stPerson {
    std::string sName;
    std::set<std::string> tokens;
  };
  void KillOneCopy(int nRound);
  void CheckReopen();
  // Applies the log of one copy's life; the operation under way when it was
  // killed is returned in *pPending ("" when none).
  void ApplyLog(std::string* pPending);

  CScratchFolder m_folder;
  std::string m_sRoot;
  std::mt19937 m_gen;
  stCrashFigures m_figures;
  std::map<uint32_t, stPerson> m_persons;
  std::map<uint32_t, std::string> m_schedule;
};
