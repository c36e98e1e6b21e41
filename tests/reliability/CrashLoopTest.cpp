// The crash loop of CrashLoop.h: about a hundred kills here;
// tools/crash-loop.sh runs it long (KELVO_CRASH_KILLS, KELVO_CRASH_SEED).

#include <gtest/gtest.h>

#include <cstdlib>

#include "CrashLoop.h"

namespace {

int EnvOr(const char* pName, int nDefault) {
  const char* p = std::getenv(pName);
  return p && *p ? std::atoi(p) : nDefault;
}

TEST(CrashLoop, KilledCopiesLoseNothingAcknowledged) {
  const int nKills = EnvOr("KELVO_CRASH_KILLS", 100);
  CCrashLoop loop(uint32_t(EnvOr("KELVO_CRASH_SEED", 1)));
  const stCrashFigures f = loop.Run(nKills);
  EXPECT_EQ(f.nKills, nKills);
  EXPECT_EQ(f.nReopens, nKills);
  EXPECT_EQ(f.nLost, 0);
  std::cout << "kills=" << f.nKills << " reopens=" << f.nReopens << " repairs=" << f.nRepairs
            << " lost=" << f.nLost << "\n";
}

}  // namespace
