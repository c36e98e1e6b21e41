#pragma once
// The formatted line: one line to print or to show in a line view, with its
// format (font, size, style, tab stops), a type letter and the text whose TAB
// characters jump to the format's tab stops.

#include <string>

#include "data/CFormatRecord.h"

// Type letters.
inline constexpr char FMT_HEADER = 'H';  // the page header line
inline constexpr char FMT_LINE = '-';    // an ordinary line (other letters print alike)
// A line printed exactly as written: its "~" is a character, never an inline
// code, and its text is never a control text. Data that users typed (names,
// addresses) goes on paper this way.
inline constexpr char FMT_LITERAL = 'T';

// Texts that control the layout instead of printing.
inline constexpr const char* FMT_BLOCK_START = "<";  // keep the lines up to ">" on one page
inline constexpr const char* FMT_BLOCK_END = ">";
inline constexpr const char* FMT_PAGE_BREAK = "^";
// The text of the record that ends a print file.
inline constexpr const char* FMT_END_OF_FILE = "<@~END_OF_FILE~@>";

struct stFmtString {
  // Not owned. Lines read back from the print file point into the print
  // job's own copies of the formats; null prints in the built-in default.
  const stFormatRecord* m_pFormat = nullptr;
  char m_cType = FMT_LINE;
  std::string m_sText;
};

// One line laid out on a page (or in a view's window): the line with its
// measured size.
struct stPageLineRecord {
  char m_cType = FMT_LINE;
  char m_cStatus = 0;  // the line view's colour status; unused on paper
  const stFormatRecord* m_pFormat = nullptr;
  int m_nWidth = 0;    // device pixels
  int m_nHeight = 0;
  int m_nIndex = 0;    // the line view's data line (-1 the header); unused on paper
  std::string m_sText;
};

// True for "<", ">" and "^".
bool IsControlText(const std::string& sText);
// True for a line that controls the layout: a control text not written as literal.
bool IsControlLine(const stFmtString& line);
bool IsControlLine(const stFmtString& line, const char* pControl);
