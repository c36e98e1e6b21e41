// The LAN coordination where peers fail: waits that end when the lock
// manager goes, peers that may not grant, one-way connections, restarts.
// Real copies on loopback; foreign peers send raw bytes.

#include <gtest/gtest.h>

#include "SessionFixture.h"

namespace {

using LanHardening = SessionTest;

}  // namespace

// A copy waiting for the database lock when the lock manager dies: the wait
// is denied at once and the database is closed, whatever the holder does.
TEST_F(LanHardening, ALockWaitEndsWhenTheLockManagerGoes) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  b->Send("holddb 40000");
  ASSERT_TRUE(b->WaitForText("HELD"));
  c->Send("add person Last name=Waiting");
  ASSERT_TRUE(c->WaitForText("WAIT: Database locked by User code 3.")) << testing::PrintToString(c->Seen());
  a->Kill();
  EXPECT_EQ(c->ReadReply(nullptr, 15), "FAIL add") << Transcript(*c);
  EXPECT_TRUE(c->SawText("MESSAGE: Server PC2 off-line. Database must be closed.\\n"));
  EXPECT_TRUE(c->WaitForText("CLOSED", 10)) << Transcript(*c);
}
