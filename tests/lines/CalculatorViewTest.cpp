// The calculator tape without a window and without a database: the total of
// a table of tapes (labels holding "-" and "/", trailing spaces, comments,
// division by zero), the operator keys (only at the end of the tape),
// the line operations, ".cal" files read back equal with either line
// ending, numbers with "." under a comma locale, and printing.

#include <gtest/gtest.h>

#include <clocale>

#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CCalculatorView.h"

namespace {

class CalculatorView : public ::testing::Test {
 protected:
  // Types the keys as the window hands them on.
  void Keys(const std::string& s) {
    for (char c : s) m_view.ProcessKey(c == '\n' ? 0x01000004 : int(c));
  }
  CTestUi m_ui;
  CCalculatorView m_view;
};

TEST_F(CalculatorView, TotalsOfATable) {
  struct stCase {
    const char* pTape;
    const char* pTotal;
  };
  const stCase cases[] = {
      {"100\r\n-25\r\n*2", "150.000000"},
      {"10\r\n/0\r\n+5", "15.000000"},  // dividing by zero leaves the total
      {"12.50! a comment", "12.500000"},
      {"+12 \"Pre-paid\"\r\n-2 \"A/C\"", "10.000000"},  // labels in quotes never count
      {"Pre-paid 12\r\nA/C 3", "15.000000"},            // nor labels before the number
      {"12 A/C\r\n*2 (per-month)", "24.000000"},        // nor after it, nor comments
      {"7   \r\n   \r\n3  ", "10.000000"},              // trailing spaces and empty lines
      {"100\n/4\r\n", "25.000000"},                     // either line ending
      {"", "0.000000"},
  };
  for (const stCase& c : cases) {
    m_view.SetTape(c.pTape);
    EXPECT_EQ(CCalculatorView::FormatNumber(m_view.Docalculation()), c.pTotal) << c.pTape;
    EXPECT_EQ(m_view.Result(), c.pTotal) << c.pTape;
  }
}

TEST_F(CalculatorView, OperatorKeysReformatOnlyTheEndOfTheTape) {
  EXPECT_EQ(CCalculatorView::ReformatLastLine('+', "Rent 450"), "+450 \"Rent\"");
  EXPECT_EQ(CCalculatorView::ReformatLastLine('+', "Pre-paid|12"), "+12 \"Pre-paid\"");
  EXPECT_EQ(CCalculatorView::ReformatLastLine('*', "12 "), "*12");             // trailing space
  EXPECT_EQ(CCalculatorView::ReformatLastLine('-', "12 !note"), "-12 !note");  // comment kept
  EXPECT_EQ(CCalculatorView::ReformatLastLine('/', "-3"), "/-3");

  Keys("100\n25");
  Keys("-");
  EXPECT_EQ(m_view.Lines().back(), "-25");
  EXPECT_EQ(m_view.Result(), "75.000000");
  Keys("-");  // already holds the operator: types as is
  EXPECT_EQ(m_view.Lines().back(), "-25-");
  m_view.Backspace();
  Keys("\nA/C 5");
  Keys("+");
  EXPECT_EQ(m_view.Lines().back(), "+5 \"A/C\"");
  EXPECT_EQ(m_view.Result(), "80.000000");

  // With the caret in the middle of the tape the key only types.
  m_view.SetCaret(0, 3);
  Keys("*");
  EXPECT_EQ(m_view.Lines()[0], "100*");
  EXPECT_EQ(m_view.Lines().size(), 3u);
  EXPECT_EQ(m_view.Result(), "80.000000");
  // An empty last line, or one holding only a label, takes the operator as typed.
  m_view.SetCaret(2, 99);
  Keys("\n-");
  EXPECT_EQ(m_view.Lines().back(), "-");
  Keys("\nPre-paid");
  EXPECT_EQ(m_view.Lines().back(), "Pre-paid");
}

TEST_F(CalculatorView, LineOperations) {
  m_view.SetTape("1\r\n2\r\n3");
  m_view.SetCaret(1, 0);
  m_view.StoreLine();
  EXPECT_EQ(m_view.StoredLine(), "2");
  m_view.ClearLine();
  EXPECT_EQ(m_view.Tape(), "1\r\n3");
  m_view.RecallLine();
  EXPECT_EQ(m_view.Tape(), "1\r\n2\r\n3");
  m_view.ClearLastLine();
  EXPECT_EQ(m_view.Tape(), "1\r\n2");
  EXPECT_EQ(m_view.Result(), "3.000000");
  m_view.ClearAll();
  EXPECT_EQ(m_view.Tape(), "");
  EXPECT_EQ(m_view.Result(), "");
  char cStatus = 0;
  EXPECT_EQ(m_view.MaxLines(), 3);  // the empty tape line, the rule and the empty result
  EXPECT_EQ(m_view.GetLine(1, HINT_PAINT, cStatus).m_sText, "---------------");
  EXPECT_EQ(m_view.GetLine(2, HINT_PAINT, cStatus).m_sText, "");
  m_view.ClearLastLine();  // nothing to remove
  EXPECT_EQ(m_view.Lines().size(), 1u);
}

TEST_F(CalculatorView, TapeFilesReadBackEqualUnderACommaLocale) {
  const char* pOld = std::setlocale(LC_NUMERIC, nullptr);
  const std::string sOld = pOld ? pOld : "C";
  const bool bComma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  CScratchFolder folder;
  const std::string sTape = "Rent 450\r\n+12.25 \"Pre-paid\"\r\n/2 (half)  \r\n  ";
  m_view.SetTape(sTape);
  EXPECT_EQ(m_view.Result(), "231.125000");
  m_ui.QueueFile(folder.File("tape.txt"));
  ASSERT_TRUE(m_view.SaveToFile());
  std::string sWritten;
  ASSERT_TRUE(ReadWholeFile(folder.File("tape.cal"), sWritten));
  EXPECT_EQ(sWritten, sTape + "\r\n");

  m_view.ClearAll();
  m_ui.QueueFile(folder.File("tape.cal"));
  ASSERT_TRUE(m_view.RecallFromFile());
  EXPECT_EQ(m_view.Tape(), sTape);
  EXPECT_EQ(m_view.Result(), "231.125000");

  ASSERT_TRUE(WriteFileAtomic(folder.File("unix.cal"), "4\n*2.5\n"));
  ASSERT_TRUE(m_view.ReadTape(folder.File("unix.cal")));
  EXPECT_EQ(m_view.Tape(), "4\r\n*2.5");
  EXPECT_EQ(m_view.Result(), "10.000000");
  EXPECT_FALSE(m_view.ReadTape(folder.File("missing.cal")));
  std::setlocale(LC_NUMERIC, sOld.c_str());
  if (!bComma) GTEST_LOG_(INFO) << "no comma locale here; read with the C locale only";
}

TEST_F(CalculatorView, PrintsTheTapeAsLiteralTextWithNoDatabase) {
  CScratchProgramFolder home;
  CTestPrintSystem printers;
  AppSettings().printerView.sPrinter = "Office";
  m_view.SetTape("<\r\n^\r\n100 ~B~bold\r\n*2");
  m_ui.QueueEdit({});  // the print set-up, as it is
  EXPECT_EQ(m_view.Print(), 1);
  AppSettings().printerView = {};
  ASSERT_TRUE(printers.Printed());
  std::string sPrinted;
  for (const auto& t : printers.Last().PageTexts(1)) sPrinted += t.sText + "|";
  EXPECT_EQ(sPrinted, "<|^|100 ~B~bold|*2|---------------|200.000000|");
}

}  // namespace
