#include <gtest/gtest.h>

#include "common/TestCommon.h"

namespace {

TEST(Kelvotool, HelpVersionAndUnknownCommand) {
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " --help", &sOut), 0);
  EXPECT_NE(sOut.find("Usage: kelvotool COMMAND"), std::string::npos);
  EXPECT_NE(sOut.find("version"), std::string::npos);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " version", &sOut), 0);
  EXPECT_EQ(sOut.rfind("kelvotool ", 0), 0u);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " frobnicate 2>&1", &sOut), 2);
  EXPECT_NE(sOut.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " >/dev/null 2>&1"), 2);
}

}  // namespace
