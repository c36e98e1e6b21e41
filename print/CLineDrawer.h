#pragma once
// Measuring and drawing one formatted line on a drawing target: the font of
// its format, tab expansion at the format's stops, centring, and the inline
// codes "~B"/"~b" (bold), "~I"/"~i" (italic), "~U"/"~u" (underline) and
// "~S"/"~s" (strike-out) that switch styles for the rest of the line. The
// print engine and the line views share it, so a list looks on screen as it
// prints.
//
// Tab stops are in inches from the tab origin (the left margin); a TAB moves
// to the first stop right of the current position, and past the last stop
// to the next multiple of eight character widths ("x") from the origin.

#include <string>
#include <string_view>
#include <vector>

#include "print/CDrawTarget.h"
#include "print/FmtString.h"

class CLineDrawer {
 public:
  explicit CLineDrawer(CDrawTarget& target) : m_target(target) {}

  // The font of a format with the given styles: face, size in tenths of a
  // point, weight 700 when bold else 400, and the format's character set.
  static stFontSpec SetLogFont(const stFormatRecord& format, bool bBold, bool bItalic,
                               bool bUnderline, bool bStrikeOut);
  // The format's own font (its bold, italic, underline and strike-out flags).
  static stFontSpec FormatFont(const stFormatRecord& format);

  // Tab stops in inches to pixel offsets from the origin: stop x pixels per inch, truncated.
  std::vector<int> ScaleTabs(const std::vector<double>& daStops) const;

  // Width and height of a line: measured in the format's font, underlined
  // when the text holds "~U" and bold when it holds "~B", codes counted as
  // ordinary characters; an empty text measures as two spaces. The height is
  // the font's line height times the format's height scale, truncated. A
  // literal line (type FMT_LITERAL) is measured in the format's own font.
  stTextExtent GetLineSize(const stFormatRecord& format, const std::string& sText,
                           char cType = FMT_LINE);

  // The centring offset of a line of the given width: (page width - 2 x left
  // margin - width) / 2 for a centred format, never below 0; else 0.
  int CenterOffset(const stFormatRecord& format, int nTextWidth, int nLeftMargin) const;

  // Draws the line at (left margin + centring offset, y) in its format's text
  // colour; a text with "~" goes run by run unless the line is literal.
  // Returns the width drawn.
  int PrintLine(const stPageLineRecord& line, int nLeftMargin, int y);

  // Width of a text in the selected font with tab expansion, starting at x.
  // With bKeepColumns (literal lines) a piece followed by a TAB is cut, by
  // whole characters, to end a space before the stop that TAB goes to: a
  // long name never pushes the next label or column one stop further.
  int MeasureTabbed(std::string_view sText, const std::vector<int>& naTabs, int x, int nOrigin,
                    bool bKeepColumns = false);
  // Draws a text in the selected font with tab expansion; returns its width.
  int DrawTabbed(std::string_view sText, const std::vector<int>& naTabs, int x, int y,
                 int nOrigin, uint32_t nColour, bool bKeepColumns = false);

 private:
  // Walks the text's TAB-separated pieces, drawing them when bDraw.
  int Tabbed(std::string_view sText, const std::vector<int>& naTabs, int x, int y, int nOrigin,
             uint32_t nColour, bool bDraw, bool bKeepColumns);
  // The first stop right of x (pixels from the origin); -1 past the last.
  static int NextStop(const std::vector<int>& naTabs, int x, int nOrigin);
  // The longest start of the piece that is at most nRoom wide.
  std::string_view FitInto(std::string_view sPiece, int nRoom);
  int PrintSpecial(const stFormatRecord& format, const std::string& sText,
                   const std::vector<int>& naTabs, int x, int y, int nOrigin);
  int ProcessTextSegment(const stFormatRecord& format, std::string_view sRun, bool bBold,
                         bool bItalic, bool bUnderline, bool bStrikeOut,
                         const std::vector<int>& naTabs, int x, int y, int nOrigin);

  CDrawTarget& m_target;
};
