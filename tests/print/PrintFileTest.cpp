// The print file: records written and read back, its byte layout, and a
// reader that refuses every truncated, oversized or foreign file cleanly.

#include <gtest/gtest.h>

#include <fstream>

#include "print/CPrintFile.h"
#include "support/FileUtil.h"
#include "tests/print/PrintTestSupport.h"

namespace {

std::string Bytes(const std::string& sPath) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(sPath, s));
  return s;
}

void WriteBytes(const std::string& sPath, const std::string& s) {
  std::ofstream f(sPath, std::ios::binary | std::ios::trunc);
  f.write(s.data(), std::streamsize(s.size()));
}

std::vector<stFmtString> ReadAll(const std::string& sPath, CPrintFile::eReadStatus& eStatus) {
  std::string sError;
  auto pFile = CPrintFile::OpenForReading(sPath, sError);
  std::vector<stFmtString> lines;
  if (!pFile) {
    eStatus = CPrintFile::READ_DAMAGED;
    return lines;
  }
  stFmtString line;
  while (pFile->ReadFmtString(line)) lines.push_back(line);
  eStatus = pFile->Status();
  return lines;
}

TEST(PrintFile, WrittenAndReadBackEqual) {
  CScratchProgramFolder home;
  stFormatRecord fList = TestFormat(4, 90, {4.75, 6.0});
  stFormatRecord fHeader = TestFormat(3, 120);
  fHeader.m_nTextColour = 0x0000FF;
  const std::vector<stFmtString> lines = {
      {&fHeader, 'H', "Name\tPhone\tCity"},
      {&fList, '-', "Smith, Ann\t555-1234\tBoston"},
      {&fList, '-', ""},
      {nullptr, '-', "no format"},
      {&fList, 'X', std::string(254, 'a')},
      {&fList, '-', std::string(255, 'b')},
      {&fHeader, '-', std::string(65534, 'c')},
      {&fList, '-', std::string(65535, 'd')},
      {&fList, '-', std::string(70000, 'e')},
      {&fList, '-', "M\xC3\xBCller \xE2\x82\xAC"},
      {&fList, '-', "<"},
      {&fList, '-', ">"},
  };
  WriteLines(lines);
  CPrintFile::eReadStatus eStatus;
  const auto read = ReadAll(CPrintFile::DefaultPath(), eStatus);
  EXPECT_EQ(eStatus, CPrintFile::READ_END_MARKER);
  ASSERT_EQ(read.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(read[i].m_sText, lines[i].m_sText) << i;
    EXPECT_EQ(read[i].m_cType, lines[i].m_cType) << i;
    ASSERT_NE(read[i].m_pFormat, nullptr);
    const stFormatRecord& expected = lines[i].m_pFormat ? *lines[i].m_pFormat : CPrintFile::BuiltInFormat();
    EXPECT_EQ(*read[i].m_pFormat, expected) << i;
  }
  // The copies are the job's own: changing the source afterwards changes nothing read.
  fList.m_nSize = 500;
  EXPECT_EQ(read[1].m_pFormat->m_nSize, 90u);
  EXPECT_TRUE(FileExists(home.File("PRNTFILE.PRN")));
}

TEST(PrintFile, ByteLayout) {
  CScratchProgramFolder home;
  stFormatRecord f0 = TestFormat(0), f1 = TestFormat(1);
  WriteLines({{&f0, '-', "abc"}, {&f1, 'H', std::string(255, 'x')}, {&f0, '-', std::string(0x10000, 'y')}});
  const std::string s = Bytes(CPrintFile::DefaultPath());
  EXPECT_EQ(s.substr(0, 9), std::string("\0\0\0\0-\x03" "abc", 9));
  EXPECT_EQ(s.substr(9, 8), std::string("\x01\0\0\0H\xFF\xFF\x00", 8));
  const size_t nThird = 9 + 8 + 255;
  EXPECT_EQ(s.substr(nThird, 12), std::string("\0\0\0\0-\xFF\xFF\xFF\x00\x00\x01\x00", 12));
  const size_t nEnd = nThird + 12 + 0x10000;
  const std::string sMarker = "<@~END_OF_FILE~@>";
  EXPECT_EQ(s.substr(nEnd), std::string("\xFF\xFF\xFF\xFF-", 5) + char(sMarker.size()) + sMarker);
}

TEST(PrintFile, EveryTruncationIsRefused) {
  CScratchProgramFolder home;
  stFormatRecord f = TestFormat(2);
  WriteLines({{&f, 'H', "header"}, {&f, '-', std::string(300, 'q')}, {&f, '-', ""}, {&f, '-', "last"}});
  const std::string sWhole = Bytes(CPrintFile::DefaultPath());
  const std::string sCut = home.File("cut.prn");
  std::string sError;
  for (size_t n = 0; n < sWhole.size(); ++n) {
    WriteBytes(sCut, sWhole.substr(0, n));
    sError.clear();
    ASSERT_FALSE(CPrintFile::CheckPrintFile(sCut, sError)) << n;
    EXPECT_NE(sError.find("incomplete or damaged"), std::string::npos);
    CPrintFile::eReadStatus eStatus;
    ReadAll(sCut, eStatus);
    ASSERT_EQ(eStatus, CPrintFile::READ_DAMAGED) << n;
  }
  WriteBytes(sCut, sWhole);
  EXPECT_TRUE(CPrintFile::CheckPrintFile(sCut, sError));
}

TEST(PrintFile, HugeLengthsBadReferencesAndForeignFiles) {
  CScratchProgramFolder home;
  const std::string sPath = home.File("crafted.prn");
  const std::string sMarker = "<@~END_OF_FILE~@>";
  const std::string sEnd = std::string("\0\0\0\0-", 5) + char(sMarker.size()) + sMarker;
  std::string sError;
  // A 32-bit length far beyond the file: refused without allocating it.
  WriteBytes(sPath, std::string("\0\0\0\0-\xFF\xFF\xFF\xF0\xFF\xFF\xFF", 12) + "short" + sEnd);
  EXPECT_FALSE(CPrintFile::CheckPrintFile(sPath, sError));
  // A 16-bit length one beyond the rest of the file.
  WriteBytes(sPath, std::string("\0\0\0\0-\xFF\x10\x00", 8) + std::string(15, 'z'));
  EXPECT_FALSE(CPrintFile::CheckPrintFile(sPath, sError));
  // An unknown format reference reads as the built-in default.
  WriteBytes(sPath, std::string("\x39\x30\0\0-\x02hi", 8) + sEnd);
  EXPECT_TRUE(CPrintFile::CheckPrintFile(sPath, sError));
  CPrintFile::eReadStatus eStatus;
  const auto lines = ReadAll(sPath, eStatus);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].m_pFormat, &CPrintFile::BuiltInFormat());
  EXPECT_EQ(lines[0].m_pFormat->m_sFaceName, "Courier New");
  // The marker anywhere in a text ends the file.
  WriteBytes(sPath, std::string("\0\0\0\0-\x1B", 6) + "xx" + sMarker + "xxxxxxxx");
  EXPECT_TRUE(CPrintFile::CheckPrintFile(sPath, sError));
  // Foreign files and missing ones.
  WriteBytes(sPath, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n");
  EXPECT_FALSE(CPrintFile::CheckPrintFile(sPath, sError));
  WriteBytes(sPath, "");
  EXPECT_FALSE(CPrintFile::CheckPrintFile(sPath, sError));
  EXPECT_FALSE(CPrintFile::CheckPrintFile(home.File("none.prn"), sError));
  EXPECT_NE(sError.find("Cannot open print file"), std::string::npos);
  EXPECT_FALSE(CPrintFile::CheckPrintFile(home.File(""), sError));  // a folder
  // Every byte value in every position of a small file: never a crash.
  const std::string sGood = std::string("\0\0\0\0-\x03" "abc", 9) + sEnd;
  for (size_t i = 0; i < sGood.size(); ++i)
    for (int v = 0; v < 256; v += 17) {
      std::string s = sGood;
      s[i] = char(v);
      WriteBytes(sPath, s);
      CPrintFile::CheckPrintFile(sPath, sError);
    }
}

TEST(PrintFile, NotRewrittenWhileAJobReadsIt) {
  CScratchProgramFolder home;
  CPrintFile::SetJobActive(true);
  EXPECT_EQ(CPrintFile::OpenPrintFile(), nullptr);
  CPrintFile::SetJobActive(false);
  EXPECT_NE(CPrintFile::OpenPrintFile(), nullptr);
  EXPECT_EQ(CPrintFile::OpenPrintFile(home.File("no/such/folder/x.prn")), nullptr);
}

}  // namespace
