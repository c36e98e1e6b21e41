// Measuring and drawing formatted lines: fonts, tab expansion, centring and
// the inline style codes.

#include <gtest/gtest.h>

#include "print/CLineDrawer.h"
#include "print/CRecordingTarget.h"
#include "tests/print/PrintTestSupport.h"

namespace {

TEST(LineDrawer, FontsFollowTheFormat) {
  stFormatRecord f = TestFormat(3, 120);
  f.m_bItalics = 1;
  f.m_cCharSet = 2;
  const stFontSpec font = CLineDrawer::FormatFont(f);
  EXPECT_EQ(font.sFaceName, "Times New Roman");
  EXPECT_EQ(font.nSizeTenths, 120);
  EXPECT_EQ(font.nWeight, 700);
  EXPECT_TRUE(font.bItalic);
  EXPECT_FALSE(font.bUnderline);
  EXPECT_EQ(font.cCharSet, 2);
  const stFontSpec plain = CLineDrawer::SetLogFont(f, false, false, true, true);
  EXPECT_EQ(plain.nWeight, 400);
  EXPECT_TRUE(plain.bUnderline);
  EXPECT_TRUE(plain.bStrikeOut);
}

TEST(LineDrawer, LineSizeTabsAndScale) {
  CRecordingTarget target(300);
  CLineDrawer drawer(target);
  stFormatRecord f = TestFormat(4, 100, {1.0, 2.5});  // 10 pt: 42 pixels high, 21 wide
  const int w = target.CharWidth(CLineDrawer::FormatFont(f));
  ASSERT_EQ(w, 21);
  EXPECT_EQ(drawer.GetLineSize(f, "abc").nWidth, 3 * w);
  EXPECT_EQ(drawer.GetLineSize(f, "abc").nHeight, 42);
  EXPECT_EQ(drawer.GetLineSize(f, "").nWidth, 2 * w);  // measured as two spaces
  // Tabs: to 1 inch (300), then 2.5 inches (750), then the default step of eight "x".
  EXPECT_EQ(drawer.GetLineSize(f, "ab\tc").nWidth, 300 + w);
  EXPECT_EQ(drawer.GetLineSize(f, "\t\tc").nWidth, 750 + w);
  EXPECT_EQ(drawer.GetLineSize(f, "\t\t\tc").nWidth, 8 * w * 5 + w);  // 840 is the first step past 750
  // A text already past a stop goes to the next one.
  EXPECT_EQ(drawer.GetLineSize(f, std::string(20, 'z') + "\tc").nWidth, 750 + w);
  EXPECT_EQ(drawer.ScaleTabs({0.802, 3.208}), (std::vector<int>{240, 962}));
  // The height scale is applied and truncated.
  f.m_fHeightScale = 1.5f;
  EXPECT_EQ(drawer.GetLineSize(f, "x").nHeight, 63);
  f.m_fHeightScale = 1.1f;
  EXPECT_EQ(drawer.GetLineSize(f, "x").nHeight, 46);
  // "~B" measures bold, codes counted as characters.
  f.m_bBold = 0;
  const int nBoldWidth = target.CharWidth(CLineDrawer::SetLogFont(f, true, false, false, false));
  EXPECT_EQ(drawer.GetLineSize(f, "~Bab").nWidth, 4 * nBoldWidth);
  EXPECT_EQ(drawer.GetLineSize(f, "~bab").nWidth, 4 * w);
}

TEST(LineDrawer, CentringAndPlainLines) {
  CRecordingTarget target(300, 2550, 3300);
  CLineDrawer drawer(target);
  stFormatRecord f = TestFormat(2, 100);
  f.m_nTextColour = RgbColour(0, 0, 128);
  EXPECT_EQ(drawer.CenterOffset(f, 500, 150), 0);
  f.m_bCenter = 1;
  EXPECT_EQ(drawer.CenterOffset(f, 500, 150), (2550 - 300 - 500) / 2);
  EXPECT_EQ(drawer.CenterOffset(f, 5000, 150), 0);
  stPageLineRecord line;
  line.m_pFormat = &f;
  line.m_sText = "Total";
  line.m_nWidth = drawer.GetLineSize(f, line.m_sText).nWidth;
  EXPECT_EQ(drawer.PrintLine(line, 150, 400), line.m_nWidth);
  ASSERT_EQ(target.Texts().size(), 1u);
  EXPECT_EQ(target.Texts()[0].sText, "Total");
  EXPECT_EQ(target.Texts()[0].x, 150 + (2550 - 300 - line.m_nWidth) / 2);
  EXPECT_EQ(target.Texts()[0].y, 400);
  EXPECT_EQ(target.Texts()[0].nColour, RgbColour(0, 0, 128));
  // Tabs count from the left margin.
  f.m_bCenter = 0;
  f.m_daTabStops = {2.0};
  line.m_sText = "Total\t12";
  line.m_nWidth = drawer.GetLineSize(f, line.m_sText).nWidth;
  EXPECT_EQ(drawer.PrintLine(line, 150, 500), line.m_nWidth);
  ASSERT_EQ(target.Texts().size(), 3u);
  EXPECT_EQ(target.Texts()[1].x, 150);
  EXPECT_EQ(target.Texts()[2].sText, "12");
  EXPECT_EQ(target.Texts()[2].x, 150 + 600);
}

TEST(LineDrawer, InlineCodesDrawRuns) {
  CRecordingTarget target(300);
  CLineDrawer drawer(target);
  stFormatRecord f = TestFormat(2, 100, {1.0});
  f.m_bBold = 1;  // runs start with every style off, whatever the format says
  stPageLineRecord line;
  line.m_pFormat = &f;
  line.m_sText = "~Bbold~b plain~Z~Iit~U\tu~s~";
  const int nWidth = drawer.PrintLine(line, 100, 50);
  const auto& t = target.Texts();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].sText, "bold");
  EXPECT_EQ(t[0].font.nWeight, 700);
  EXPECT_EQ(t[0].x, 100);
  EXPECT_EQ(t[1].sText, " plain");
  EXPECT_EQ(t[1].font.nWeight, 400);
  EXPECT_EQ(t[1].x, 100 + 4 * target.CharWidth(t[0].font));
  EXPECT_EQ(t[2].sText, "it");
  EXPECT_TRUE(t[2].font.bItalic);
  EXPECT_FALSE(t[2].font.bUnderline);
  // The run after "~U" begins with a tab to the 1-inch stop.
  EXPECT_EQ(t[3].sText, "u");
  EXPECT_TRUE(t[3].font.bUnderline);
  EXPECT_TRUE(t[3].font.bItalic);
  EXPECT_EQ(t[3].x, 100 + 300);
  EXPECT_EQ(nWidth, 300 + target.CharWidth(t[3].font));
  for (const auto& d : t) EXPECT_EQ(d.sText.find('~'), std::string::npos);
}

TEST(LineDrawer, LiteralLinesKeepTheirCodesAndColumns) {
  CRecordingTarget target(300);
  CLineDrawer drawer(target);
  const stFormatRecord f = TestFormat(2, 100, {0.5, 1.5, 2.5});  // 21 pixels a character
  stPageLineRecord line;
  line.m_pFormat = &f;
  line.m_cType = FMT_LITERAL;
  // Codes are text; a first column too long for its stop is cut a space
  // before the next stop (whole characters: "ü" is two bytes), so the second
  // column still starts at its stop; the last piece is never cut.
  line.m_sText = "\t~Büüüüüüüüüüüüüüüüüü\tNext\tA rather long last piece";
  line.m_nWidth = drawer.GetLineSize(f, line.m_sText, FMT_LITERAL).nWidth;
  const int nWidth = drawer.PrintLine(line, 100, 50);
  const auto& t = target.Texts();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].sText, "~Büüüüüüüüüüü");  // 13 characters fit the 300 pixels less a space
  EXPECT_EQ(t[0].x, 100 + 150);
  EXPECT_EQ(t[0].font.nWeight, 400);
  EXPECT_EQ(t[1].sText, "Next");
  EXPECT_EQ(t[1].x, 100 + 450);
  EXPECT_EQ(t[2].sText, "A rather long last piece");
  EXPECT_EQ(t[2].x, 100 + 750);
  EXPECT_EQ(nWidth, 750 + 24 * 21);
  EXPECT_EQ(line.m_nWidth, nWidth);
  // The same text as an ordinary line: codes apply and columns move on.
  line.m_cType = FMT_LINE;
  drawer.PrintLine(line, 100, 100);
  ASSERT_GT(t.size(), 3u);
  EXPECT_EQ(t[3].sText, "üüüüüüüüüüüüüüüüüü");
  EXPECT_EQ(t[3].font.nWeight, 700);
}

}  // namespace
