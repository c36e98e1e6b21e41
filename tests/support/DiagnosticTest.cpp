#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <thread>

#include "common/TestCommon.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

class DiagnosticTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KELVO_HOME", m_folder.Path().c_str(), 1);
  }
  void TearDown() override {
    CloseDiagnosticFile();
    SetDiagnosticLevel(0);
    unsetenv("KELVO_HOME");
  }
  std::string Main() const {
    std::string s;
    ReadWholeFile(m_folder.File("DIAGNOSE.TXT"), s);
    return s;
  }
  CScratchFolder m_folder;
  CTestUi m_ui;
};

TEST_F(DiagnosticTest, OffCreatesNothing) {
  KTRACE("never %d\n", 1);
  WriteDiagnostic("nothing\n");
  EXPECT_FALSE(FileExists(m_folder.File("DIAGNOSE.TXT")));
  EXPECT_FALSE(FileExists(m_folder.File("DIAGNOSE_MSG.TXT")));
}

TEST_F(DiagnosticTest, OpenTraceAndCloseWriteTheirLines) {
  SetDiagnosticLevel(1);
  ASSERT_TRUE(OpenDiagnosticFile());
  EXPECT_TRUE(m_ui.SawText("Diagnostic " + m_folder.File("DIAGNOSE.TXT") + " file opened."));
  KTRACE("ReadRecord at %u\n", 1024u);
  WriteDiagnosticMsg("LAN message\n");
  CloseDiagnosticFile();
  EXPECT_TRUE(m_ui.SawText("Diagnostic file closed"));
  EXPECT_EQ(GetDiagnosticLevel(), 0);
  const std::string s = Main();
  EXPECT_EQ(s.rfind("Diagnostic file open, level 1, Timer=", 0), 0u) << s;
  EXPECT_NE(s.find("ReadRecord at 1024\n"), std::string::npos);
  EXPECT_NE(s.find("Close diagnostic file, level 1\n"), std::string::npos);
  std::string sMsg;
  ReadWholeFile(m_folder.File("DIAGNOSE_MSG.TXT"), sMsg);
  EXPECT_EQ(sMsg, "LAN message\n");
  struct stat st {};
  ASSERT_EQ(stat(m_folder.File("DIAGNOSE.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A trace call while the file is closed writes nothing and does not fail.
  WriteDiagnostic("after close\n");
  EXPECT_EQ(Main().find("after close"), std::string::npos);
}

TEST_F(DiagnosticTest, AllocationsAtLevelThreeAndLeakReport) {
  SetDiagnosticLevel(3);
  ASSERT_TRUE(OpenDiagnosticFile());
  int a = 0, b = 0;
  StoreAllocateMem(&a, "m_cBuffer in CDbEngine constructor");
  StoreAllocateMem(&b, "pPerson in CDatabase::GetNewItemPointer");
  EXPECT_EQ(LocateAllocateMem(&b), 1);
  DeleteAllocateMem(&a);
  EXPECT_EQ(LocateAllocateMem(&a), -1);
  DeleteAllocateMem(&a);  // not registered any more
  EXPECT_EQ(ReportAllocateMem(), 1);
  EXPECT_TRUE(m_ui.SawText("Memory leaks detected. See unfreed poiinter report."));
  DeleteAllocateMem(&b);
  EXPECT_EQ(ReportAllocateMem(), 0);
  const std::string s = Main();
  EXPECT_NE(s.find("_Allocate pointer "), std::string::npos);
  EXPECT_NE(s.find(", m_cBuffer in CDbEngine constructor\n"), std::string::npos);
  EXPECT_NE(s.find("_Free pointer "), std::string::npos);
  EXPECT_NE(s.find(", not in list\n"), std::string::npos);
  EXPECT_NE(s.find("Unfreed pointer report:\n Unfreed pointer 0 ("), std::string::npos);
  EXPECT_NE(s.find("Unfreed pointer report: No unfreed pointers\n"), std::string::npos);
}

TEST_F(DiagnosticTest, ReadOnlyFolderGivesAMessageNotACrash) {
  if (geteuid() == 0) {
    // root writes into a 0500 folder; a path below a regular file fails for everyone
    const std::string sFile = m_folder.File("plainfile");
    ASSERT_TRUE(WriteFileAtomic(sFile, "x"));
    setenv("KELVO_HOME", (sFile + "/sub").c_str(), 1);
  } else {
    chmod(m_folder.Path().c_str(), 0500);
  }
  SetDiagnosticLevel(1);
  EXPECT_FALSE(OpenDiagnosticFile());
  EXPECT_EQ(GetDiagnosticLevel(), 0);
  ASSERT_FALSE(m_ui.Messages().empty());
  EXPECT_EQ(m_ui.Messages().back().rfind("Cannot open diagnostic file ", 0), 0u);
  WriteDiagnostic("ignored\n");
  chmod(m_folder.Path().c_str(), 0700);
}

TEST_F(DiagnosticTest, SecretsAreMaskedAndThreadsKeepWholeLines) {
  SetDiagnosticLevel(1);
  ASSERT_TRUE(OpenDiagnosticFile());
  WriteDiagnostic("POP3 send: PASS hunter2\n");
  WriteDiagnostic("Notes password=sesame done\n");
  WriteDiagnostic("MAILACCOUNT|pop.example.com|jane|s3cret|1\n");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) PrintDiagn("thread %d line %d end\n", t, i);
    });
  for (auto& th : threads) th.join();
  const std::string s = Main();
  // Switching the trace off while threads write never closes a file under them.
  threads.clear();
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) PrintDiagn("late line %d end\n", i);
    });
  CloseDiagnosticFile();
  for (auto& th : threads) th.join();
  std::vector<std::string> lateLines;
  ParseString(Main(), "\n", lateLines);
  for (const auto& l : lateLines)
    if (l.rfind("late line", 0) == 0) {
      EXPECT_EQ(l.substr(l.size() - 4), " end") << l;
    }
  EXPECT_EQ(s.find("hunter2"), std::string::npos);
  EXPECT_EQ(s.find("sesame"), std::string::npos);
  EXPECT_EQ(s.find("s3cret"), std::string::npos);
  EXPECT_NE(s.find("PASS ****"), std::string::npos);
  EXPECT_NE(s.find("MAILACCOUNT|pop.example.com|jane|****|1"), std::string::npos);
  std::vector<std::string> lines;
  ParseString(s, "\n", lines);
  int nThreadLines = 0;
  for (const auto& l : lines)
    if (l.rfind("thread ", 0) == 0) {
      ++nThreadLines;
      EXPECT_EQ(l.substr(l.size() - 4), " end") << l;
    }
  EXPECT_EQ(nThreadLines, 800);
}

TEST_F(DiagnosticTest, FullFileIsRotatedOnce) {
  SetDiagnosticLevel(1);
  SetDiagnosticSizeCap(1000);
  ASSERT_TRUE(OpenDiagnosticFile());
  for (int i = 0; i < 60; ++i) PrintDiagn("line %02d with some padding text\n", i);
  SetDiagnosticSizeCap(16LL * 1024 * 1024);
  EXPECT_TRUE(FileExists(m_folder.File("DIAGNOSE.TXT.1")));
  EXPECT_LE(Main().size(), 1000u);
  EXPECT_NE(Main().find("line 59"), std::string::npos);
}

}  // namespace

TEST(Diagnostic, StoredMailAccountStringsAreMasked) {
  EXPECT_EQ(MaskSecrets("EMAILCHECKSTRING|pop.example.com`jane`s3cret`SPAM`urgent\n"),
            "EMAILCHECKSTRING|pop.example.com`jane`****`SPAM`urgent\n");
  EXPECT_EQ(MaskSecrets("Checking pop.example.com`jane`s3cret at 10:00:00AM"),
            "Checking pop.example.com`jane`**** at 10:00:00AM");
  EXPECT_EQ(MaskSecrets("Account pop.example.com`jane``"), "Account pop.example.com`jane`****`");
  EXPECT_EQ(MaskSecrets("no secrets here\n"), "no secrets here\n");
}
