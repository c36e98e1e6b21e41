#pragma once
// A page layout (table 4, key = layout code 0 to 3): a raw block of exactly
// 84 bytes with the margins, page numbering, orientation and the font of the
// page numbers.

#include <cstdint>

#include "data/CDataRecord.h"
#include "data/CFormatRecord.h"

inline constexpr uint32_t PAGE_LAYOUT_SIZE = 84;
inline constexpr uint32_t PAGE_LAYOUT_COUNT = 4;
inline constexpr float MAX_MARGIN = 20.0f;  // inches

struct stPageLayout {
  uint32_t m_nCode = 0;          // offset 0
  float m_fLeftMargin = 0.0f;    // 4, inches
  float m_fTopMargin = 0.0f;     // 8
  float m_fBottomMargin = 0.0f;  // 12
  uint32_t m_nPageFlag = 0;      // 16: number of the first printed page; 0 no page numbers
  uint32_t m_nLandscape = 0;     // 20
  stFormatRecord m_stPageFont;   // 24: 56 bytes laid out as a format's block (no tab stops)
                                 // 80: reserved, always 0

  bool operator==(const stPageLayout&) const = default;
};

class CPageLayout {
 public:
  // 84 on success, 0 when the buffer is too small.
  static uint32_t LoadBufferPageLayout(const stPageLayout& l, stRecordBuffer& b);
  // 1 when the record held the whole block; l is unchanged otherwise.
  static int ReadBufferPageLayout(stPageLayout& l, stRecordBuffer& b);

  static stPageLayout DefaultLayout(uint32_t nCode);
  // Brings a layout read from the file into shape for the code of its key:
  // the code becomes the key; a margin that is negative, NaN or too large,
  // and a page-number font size or scale out of range, take that code's default.
  static void Sanitize(stPageLayout& l, uint32_t nKey);
  // Layouts 2 and 3 print without margins or page numbers when loaded at open.
  static void ClearMarginsOfPlainLayout(stPageLayout& l);
};
