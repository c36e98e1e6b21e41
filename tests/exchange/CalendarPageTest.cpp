// kelvotool publish: the calendar page of a month from a real database file,
// with a hostile description escaped, in the program folder or where asked,
// and no upload without an account.

#include <gtest/gtest.h>

#include "common/TestCommon.h"
#include "support/FileUtil.h"

namespace {

TEST(CalendarPage, PublishWritesTheMonthsPageEscaped) {
  CScratchFolder folder;
  const std::string sTool = "KELVO_HOME='" + folder.Path() + "' " + KELVOTOOL_PATH;
  const std::string sDb = "'" + folder.File("office") + "'";
  ASSERT_EQ(RunCommand(sTool + " demo " + sDb + " >/dev/null"), 0);
  ASSERT_EQ(RunCommand(sTool + " add " + sDb +
                       " schedule 'description=<script>alert(\"x\")</script> caf\xC3\xA9' repeat=O "
                       "'start=02/10/2004 02:30PM' >/dev/null"),
            0);
  const std::string sOut = folder.File("feb.htm");
  std::string sText;
  ASSERT_EQ(RunCommand(sTool + " publish " + sDb + " --month 2004-02 --out '" + sOut + "' 2>&1", &sText), 0)
      << sText;
  std::string sPage;
  ASSERT_TRUE(ReadWholeFile(sOut, sPage));
  EXPECT_EQ(sPage.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"", 0), 0u);
  EXPECT_EQ(sPage.find("<script"), std::string::npos);
  // The demo's unscheduled item first, then February's one item; none of
  // the demo's dated items fall in 2004.
  EXPECT_NE(sPage.find("Unscheduled\n"), std::string::npos);
  EXPECT_LT(sPage.find("Unscheduled\n"), sPage.find("One time\n"));
  EXPECT_NE(sPage.find("<td>February 10, 2004, 02:30PM (Tuesday)</td><td>&lt;script&gt;alert(&quot;x&quot;)"
                       "&lt;/script&gt; caf&#233;</td><td>None</td>"),
            std::string::npos);
  EXPECT_EQ(sPage.find("Weekly"), std::string::npos);

  // Into the program folder; --upload without an account writes and says so.
  EXPECT_EQ(RunCommand(sTool + " publish " + sDb + " --month 2004-02 --upload 2>&1", &sText), 2);
  EXPECT_NE(sText.find("Uploading it needs a publishing account"), std::string::npos) << sText;
  std::string sDefault;
  ASSERT_TRUE(ReadWholeFile(folder.File("ZorEduvavoz.htm"), sDefault));
  EXPECT_EQ(sDefault, sPage);

  EXPECT_EQ(RunCommand(sTool + " publish " + sDb + " --month 2004-13 2>&1", &sText), 2);
  EXPECT_NE(sText.find("usage: kelvotool publish FILE --month YYYY-MM"), std::string::npos);
  EXPECT_EQ(RunCommand(sTool + " publish " + sDb + " --month 2004-02 --out /nonexistent/x.htm 2>&1", &sText),
            2);
  EXPECT_NE(sText.find("could not be written"), std::string::npos);
  ASSERT_EQ(RunCommand(sTool + " --help", &sText), 0);
  EXPECT_NE(sText.find("publish FILE --month YYYY-MM [--out PAGE] [--upload]"), std::string::npos);
}

}  // namespace
