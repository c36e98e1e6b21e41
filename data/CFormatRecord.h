#pragma once
// A format (font) record (table 3, key = format code 0 to 11): a 56-byte raw
// block followed by the tab stops as an array of doubles. The same 56-byte
// block is the page-number font of a page layout.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDataRecord.h"

inline constexpr uint32_t FONT_BLOCK_SIZE = 56;
inline constexpr uint32_t FACE_NAME_SIZE = 32;
inline constexpr uint32_t FORMAT_COUNT = 12;

// Sane bounds for values written by other copies.
inline constexpr uint32_t MIN_FONT_SIZE = 10;     // 1 pt, in tenths of a point
inline constexpr uint32_t MAX_FONT_SIZE = 10000;  // 1000 pt
inline constexpr float MAX_HEIGHT_SCALE = 10.0f;
inline constexpr double MAX_TAB_STOP = 100.0;     // inches
inline constexpr size_t MAX_TAB_STOPS = 100;

struct stFormatRecord {
  uint32_t m_nCode = 0;          // offset 0
  std::string m_sFaceName;       // 4: 32 bytes, zero-terminated (at most 31 stored bytes)
  uint32_t m_nSize = 90;         // 36: tenths of a point
  float m_fHeightScale = 1.0f;   // 40
  uint8_t m_cCharSet = 0;        // 44
  uint8_t m_bBold = 0;           // 45
  uint8_t m_bItalics = 0;        // 46
  uint8_t m_bUnderline = 0;      // 47
  uint8_t m_bStrikeOut = 0;      // 48
  uint8_t m_bCenter = 0;         // 49
                                 // 50: 2 reserved bytes, written 0
  uint32_t m_nTextColour = 0;    // 52: RGB, 0 black
  std::vector<double> m_daTabStops;  // inches; stored behind the block

  bool operator==(const stFormatRecord&) const = default;
};

// One row of the default font table.
struct stFormatDefault {
  const char* m_pName;
  const char* m_pFace;
  uint32_t m_nSize;
  int m_bBold;
  const char* m_pTabStops;  // inches as text, "," between
};

class CFormatRecord {
 public:
  // Payload length (56 + the tab-stop array), or 0 when it does not fit.
  static uint32_t LoadBufferFormatRecord(const stFormatRecord& f, stRecordBuffer& b);
  // 1 when block and tab stops decoded; f is unchanged otherwise.
  static int ReadBufferFormatRecord(stFormatRecord& f, stRecordBuffer& b);

  // The 56-byte block, field by field at its offsets.
  static void PutFontBlock(const stFormatRecord& f, uint8_t* p);
  static void GetFontBlock(stFormatRecord& f, const uint8_t* p);

  // The default table row of a code 0 to 11 (row 0 for other codes), the
  // default format built from it, and its name.
  static const stFormatDefault& DefaultSpec(uint32_t nCode);
  static stFormatRecord DefaultFormat(uint32_t nCode);
  static const char* FormatName(uint32_t nCode);
  // Builds a format: face, bold, center, size and the tab stops as text ("4.75,6.0").
  static stFormatRecord MakeFormat(uint32_t nCode, const std::string& sFace, int bBold, int bCenter,
                                   uint32_t nSize, const std::string& sTabStops);
  static std::vector<double> ParseTabStops(const std::string& sTabStops);
  static std::string TabStopText(const std::vector<double>& da);

  // Brings a format read from the file into shape for the code of its key:
  // the code becomes the key; a size, height scale or tab stop that is zero,
  // negative, NaN or out of range takes the default of that code.
  static void Sanitize(stFormatRecord& f, uint32_t nKey);
  static bool IsSaneSize(uint32_t nSize) { return nSize >= MIN_FONT_SIZE && nSize <= MAX_FONT_SIZE; }
  static bool IsSaneScale(float f) { return f > 0.0f && f <= MAX_HEIGHT_SCALE; }
};
