// The report file: its exact bytes for plain text, escaping of everything
// that could change the document, reading it back, and the report window.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "print/CReportsRTF.h"
#include "support/FileUtil.h"
#include "tests/print/PrintTestSupport.h"

namespace {

std::string ReportBytes() {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(CReportsRTF::DefaultPath(), s));
  return s;
}

TEST(ReportsRtf, PlainTextIsWrittenAsItIs) {
  CScratchProgramFolder home;
  CTestUi ui;
  std::vector<std::string> saShown;
  CReportsRTF::SetReportViewer([&](const std::string& s) { saShown.push_back(s); });
  CReportsRTF report(nullptr, 1, {"Record at 1024 is sound.", "Col1\tCol2"});
  CReportsRTF::SetReportViewer(nullptr);
  EXPECT_TRUE(report.Written());
  EXPECT_EQ(saShown, std::vector<std::string>{home.File("REPORT.RTF")});
  EXPECT_EQ(ReportBytes(),
            "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss MS Sans Serif;}\n"
            "{\\f1\\froman\\fcharset2 Symbol;}{\\f2\\fswiss\\fprq2 System;}\n"
            "{\\f3\\fmodern\\fprq1 Courier New;}}\n"
            "{\\colortbl\\red0\\green0\\blue0;}\n"
            "\\deflang1033\\pard\\tx1440\\tx2880\\tx4320\\tx5760\\tx7200\\tx8640\n"
            "\\plain\\f3\\fs18\n"
            "Record at 1024 is sound.\\par\n"
            "Col1\tCol2\\par\n"
            "}\n");
}

TEST(ReportsRtf, FormatGivesSizeWeightAndTabs) {
  CScratchProgramFolder home;
  CTestUi ui;
  stFormatRecord f = TestFormat(1, 120, {0.5, 2.25});
  f.m_bBold = 1;
  CReportsRTF report(&f, 1, {"x"});
  const std::string s = ReportBytes();
  EXPECT_NE(s.find("\n\\deflang1033\\pard\\tx720\\tx3240\n"), std::string::npos);
  EXPECT_NE(s.find("\n\\plain\\f3\\fs24\\b\n"), std::string::npos);
  EXPECT_NE(s.find("{\\f3\\fmodern\\fprq1 Times New Roman;}}"), std::string::npos);
  // A format without tab stops gets the fixed ones.
  f.m_daTabStops.clear();
  f.m_bBold = 0;
  CReportsRTF second(&f, 1, {});
  const std::string t = ReportBytes();
  EXPECT_NE(t.find("\n\\deflang1033\\pard\\tx1440\\tx2880\\tx4320\\tx5760\\tx7200\n\\plain\\f3\\fs24\n}\n"),
            std::string::npos);
  // An empty list: a valid document without paragraphs; two reports overwrite one file.
  CReportsRTF::stReport r;
  ASSERT_TRUE(CReportsRTF::ReadReport(CReportsRTF::DefaultPath(), r));
  EXPECT_TRUE(r.saLines.empty());
  EXPECT_EQ(r.nHalfPoints, 24);
  EXPECT_FALSE(r.bBold);
  EXPECT_EQ(r.naTabTwips, (std::vector<int>{1440, 2880, 4320, 5760, 7200}));
  EXPECT_EQ(t.find("\\par\n"), std::string::npos);
}

TEST(ReportsRtf, TextCannotBreakTheDocument) {
  CScratchProgramFolder home;
  CTestUi ui;
  stFormatRecord f = TestFormat(1, 90);
  f.m_sFaceName = "Evil;}{\\f9 Face \xC3\xA9 with a very long name indeed";
  const std::vector<std::string> saLines = {
      "{Smith\\}", "M\xC3\xBCller", "}}}}", "\\par injected", "Price \xE2\x82\xAC 5",
      "Smile \xF0\x9F\x98\x80", "M\xFCller (Windows-1252)", ""};
  CReportsRTF report(&f, 1, saLines);
  const std::string s = ReportBytes();
  EXPECT_NE(s.find("\\{Smith\\\\\\}\\par\n"), std::string::npos);
  EXPECT_NE(s.find("M\\u252?ller\\par\n"), std::string::npos);
  EXPECT_NE(s.find("Price \\u8364? 5\\par\n"), std::string::npos);
  EXPECT_NE(s.find("Smile \\u-10179?\\u-8704?\\par\n"), std::string::npos);
  EXPECT_EQ(s.substr(s.size() - 2), "}\n");
  EXPECT_EQ(s.find("}\n}\n"), std::string::npos);  // the closing brace once
  for (const unsigned char c : s) EXPECT_LT(c, 128);
  // Reading back gives every line as it was given.
  CReportsRTF::stReport r;
  ASSERT_TRUE(CReportsRTF::ReadReport(CReportsRTF::DefaultPath(), r));
  std::vector<std::string> saExpected = saLines;
  saExpected[6] = "M\xC3\xBCller (Windows-1252)";
  EXPECT_EQ(r.saLines, saExpected);
  // The face name: no ";", at most 31 bytes, cut on a character boundary, escaped.
  EXPECT_EQ(r.sFaceName, "Evil}{\\f9 Face \xC3\xA9 with a very l");
  EXPECT_LE(r.sFaceName.size(), 31u);
}

TEST(ReportsRtf, OtherKindsAndFailures) {
  CScratchProgramFolder home;
  CTestUi ui;
  int nShown = 0;
  CReportsRTF::SetReportViewer([&](const std::string&) { ++nShown; });
  CReportsRTF none(nullptr, 2, {"x"});
  EXPECT_FALSE(none.Written());
  EXPECT_FALSE(FileExists(CReportsRTF::DefaultPath()));
  // REPORT.RTF cannot be opened: the message, and nothing shown.
  ASSERT_EQ(mkdir(CReportsRTF::DefaultPath().c_str(), 0700), 0);
  CReportsRTF blocked(nullptr, 1, {"x"});
  EXPECT_FALSE(blocked.Written());
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Cannot open report file"});
  EXPECT_EQ(nShown, 0);
  CReportsRTF::SetReportViewer(nullptr);
  CReportsRTF::stReport r;
  EXPECT_FALSE(CReportsRTF::ReadReport(home.File("missing.rtf"), r));
}

TEST(ReportsRtf, ReaderRefusesUnbalancedFiles) {
  CScratchProgramFolder home;
  CReportsRTF::stReport r;
  const std::string sPath = home.File("bad.rtf");
  ASSERT_TRUE(WriteFileAtomic(sPath, "{\\rtf1 text\\par"));
  EXPECT_FALSE(CReportsRTF::ReadReport(sPath, r));
  ASSERT_TRUE(WriteFileAtomic(sPath, "{\\rtf1 a}}"));
  EXPECT_FALSE(CReportsRTF::ReadReport(sPath, r));
  ASSERT_TRUE(WriteFileAtomic(sPath, "plain text"));
  EXPECT_FALSE(CReportsRTF::ReadReport(sPath, r));
  ASSERT_TRUE(WriteFileAtomic(sPath, "{\\rtf1 \\'e9t\\'zz\\u-\\\\\\"));
  EXPECT_FALSE(CReportsRTF::ReadReport(sPath, r));  // unbalanced, but read without harm
  ASSERT_TRUE(WriteFileAtomic(sPath, "{\\rtf1 \\'e9t\\tab x\\par}"));
  ASSERT_TRUE(CReportsRTF::ReadReport(sPath, r));
  EXPECT_EQ(r.saLines, std::vector<std::string>{"\xC3\xA9t\tx"});
}

}  // namespace
