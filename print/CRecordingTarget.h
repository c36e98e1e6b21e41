#pragma once
// A drawing target with fixed, simple metrics that records everything drawn
// on it, page by page. Tests and benchmarks lay pages out on it and check
// where each run of text landed; headless tools can use it to see what a job
// would print. Metrics: a font of S tenths of a point is S * dpi / 720
// pixels high (rounded, at least 1), and every character is half that wide,
// bold ones a quarter more.

#include <string>
#include <vector>

#include "print/CDrawTarget.h"

class CRecordingTarget : public CDrawTarget {
 public:
  struct stDrawnText {
    int nPage = 0;  // 1-based
    int x = 0;
    int y = 0;
    std::string sText;
    stFontSpec font;
    uint32_t nColour = 0;
  };
  struct stDrawnLine {
    int nPage = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    uint32_t nColour = 0;
  };

  // Letter paper at 300 dpi unless told otherwise.
  explicit CRecordingTarget(int nDpi = 300, int nPageWidth = 2550, int nPageHeight = 3300);

  // Makes the n-th call (1 = next) of a bracket ("StartDocument",
  // "StartPage", "EndPage", "EndDocument") fail, as a printer that went away.
  void FailCall(const std::string& sCall, int nAfterCalls = 1);

  const std::vector<stDrawnText>& Texts() const { return m_texts; }
  const std::vector<stDrawnLine>& Lines() const { return m_lines; }
  // The texts of one page in drawing order; blank runs (" ") left out.
  std::vector<stDrawnText> PageTexts(int nPage) const;
  int PagesEnded() const { return m_nPagesEnded; }
  int DocumentsEnded() const { return m_nDocumentsEnded; }
  const std::string& DocumentName() const { return m_sDocumentName; }
  int MeasureCalls() const { return m_nMeasureCalls; }
  const stFontSpec& CurrentFont() const { return m_font; }

  // The recording metrics, for expectations in tests.
  int FontHeight(const stFontSpec& font) const;
  int CharWidth(const stFontSpec& font) const;

  int PixelsPerInchX() const override { return m_nDpi; }
  int PixelsPerInchY() const override { return m_nDpi; }
  int PageWidth() const override { return m_nPageWidth; }
  int PageHeight() const override { return m_nPageHeight; }
  void SelectFont(const stFontSpec& font) override { m_font = font; }
  stTextExtent MeasureText(std::string_view sText) override;
  void DrawText(int x, int y, std::string_view sText, uint32_t nColour) override;
  void DrawLine(int x1, int y1, int x2, int y2, uint32_t nColour) override;
  bool StartDocument(const std::string& sName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  std::string LastError() const override { return m_sError; }

 private:
  bool Bracket(const char* pCall);

  int m_nDpi;
  int m_nPageWidth;
  int m_nPageHeight;
  stFontSpec m_font;
  int m_nPage = 0;
  int m_nPagesEnded = 0;
  int m_nDocumentsEnded = 0;
  int m_nMeasureCalls = 0;
  std::string m_sDocumentName;
  std::string m_sError;
  std::string m_sFailCall;
  int m_nFailAfter = 0;
  std::vector<stDrawnText> m_texts;
  std::vector<stDrawnLine> m_lines;
};
