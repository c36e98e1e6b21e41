#pragma once
// The drawing surface the print engine lays its pages out on: a printer, a
// PDF file, a window, or the recording target of the tests. Everything is in
// the device's pixels, with text aligned at its top left. The engine does all
// layout itself (tab expansion, runs of inline styles, centring, page
// breaks); a target only has to select a font, measure and draw a plain run
// of text without tabs, draw a rule, and bracket documents and pages.
//
// Text is UTF-8. Colours are RGB values as the format records store them:
// red in the low byte, then green, then blue (0x00BBGGRR; 0 is black).

#include <cstdint>
#include <string>
#include <string_view>

// A font description. The size is in tenths of a point; the target scales it
// by its own vertical resolution (a 10-point font is 10/72 inch high).
struct stFontSpec {
  std::string sFaceName;
  int nSizeTenths = 90;
  int nWeight = 400;  // 700 bold
  bool bItalic = false;
  bool bUnderline = false;
  bool bStrikeOut = false;
  uint8_t cCharSet = 0;

  bool operator==(const stFontSpec&) const = default;
};

struct stTextExtent {
  int nWidth = 0;
  int nHeight = 0;  // the font's line height
};

// RGB in the byte order of the format records.
constexpr uint32_t RgbColour(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
}

class CDrawTarget {
 public:
  virtual ~CDrawTarget() = default;

  // Resolution and the printable page (or the window's client area) in pixels.
  virtual int PixelsPerInchX() const = 0;
  virtual int PixelsPerInchY() const = 0;
  virtual int PageWidth() const = 0;
  virtual int PageHeight() const = 0;

  // The font for the following MeasureText and DrawText calls.
  virtual void SelectFont(const stFontSpec& font) = 0;
  // Width of a run of text (no tabs in it) and the line height of the font.
  virtual stTextExtent MeasureText(std::string_view sText) = 0;
  // Draws a run at (x, y), its top left, in the colour, without background.
  virtual void DrawText(int x, int y, std::string_view sText, uint32_t nColour) = 0;
  // A solid 1-pixel rule (grid printing).
  virtual void DrawLine(int x1, int y1, int x2, int y2, uint32_t nColour) = 0;

  // Document and page brackets. Each gives false when the device failed (a
  // printer that went away, a full disk); LastError then says why in words.
  virtual bool StartDocument(const std::string& sName) = 0;
  virtual bool StartPage() = 0;
  virtual bool EndPage() = 0;
  virtual bool EndDocument() = 0;
  virtual std::string LastError() const = 0;
};
