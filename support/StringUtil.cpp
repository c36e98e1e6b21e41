#include "support/StringUtil.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>

int ParseString(std::string_view sText, std::string_view sSeparators,
                std::vector<std::string>& saOut, int nMaxCount, bool bWholeSeparator) {
  saOut.clear();
  if (sSeparators.empty()) {
    if (!sText.empty()) saOut.emplace_back(sText);
    return int(saOut.size());
  }
  std::string_view sRest = sText;
  while (nMaxCount <= 0 || int(saOut.size()) < nMaxCount) {
    const size_t nPos =
        bWholeSeparator ? sRest.find(sSeparators) : sRest.find_first_of(sSeparators);
    if (nPos == std::string_view::npos) {
      if (!sRest.empty()) saOut.emplace_back(sRest);
      break;
    }
    std::string_view sPiece = sRest.substr(0, nPos);
    if (bWholeSeparator || !sPiece.empty() || !saOut.empty()) saOut.emplace_back(sPiece);
    sRest.remove_prefix(nPos + (bWholeSeparator ? sSeparators.size() : 1));
  }
  return int(saOut.size());
}

uint32_t GetCRC(std::string_view sText) {
  uLong nCrc = crc32(0L, Z_NULL, 0);
  nCrc = crc32(nCrc, reinterpret_cast<const Bytef*>(sText.data()), uInt(sText.size()));
  uint32_t n = uint32_t(nCrc);
  if (n < 1024) n += 1024;
  return n;
}

std::string VStrFormat(const char* pFormat, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, pFormat, copy);
  va_end(copy);
  std::string s;
  if (n > 0) {
    s.resize(size_t(n) + 1);
    std::vsnprintf(s.data(), s.size(), pFormat, args);
    s.resize(size_t(n));
  }
  return s;
}

std::string StrFormat(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  std::string s = VStrFormat(pFormat, args);
  va_end(args);
  return s;
}

std::string ToUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string ToLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string Trim(std::string_view s) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return std::string(s);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ParseInt(std::string_view s, long long& nOut) {
  std::string t = Trim(s);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  const auto r = std::from_chars(t.data(), t.data() + t.size(), nOut);
  return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool ParseDouble(std::string_view s, double& dOut) {
  std::string t = Trim(s);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  const auto r = std::from_chars(t.data(), t.data() + t.size(), dOut);
  return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
}

std::string FormatDouble(double d) {
  char c[64];
  const auto r = std::to_chars(c, c + sizeof c, d);
  return std::string(c, r.ptr);
}

namespace {

// Windows-1252 code points of bytes 0x80..0x9F (0 where the byte is unassigned).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t Cp1252ToCodePoint(unsigned char c) {
  if (c >= 0x80 && c < 0xA0) {
    const uint16_t n = kCp1252High[c - 0x80];
    return n ? n : c;  // unassigned bytes keep their value as a C1 control
  }
  return c;
}

// The Windows-1252 byte of a code point, or -1 when it has none.
int CodePointToCp1252(uint32_t n) {
  if (n < 0x80 || (n >= 0xA0 && n <= 0xFF)) return int(n);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == n) return 0x80 + i;
  return -1;
}

void AppendUtf8(std::string& s, uint32_t n) {
  if (n < 0x80) {
    s += char(n);
  } else if (n < 0x800) {
    s += char(0xC0 | (n >> 6));
    s += char(0x80 | (n & 0x3F));
  } else if (n < 0x10000) {
    s += char(0xE0 | (n >> 12));
    s += char(0x80 | ((n >> 6) & 0x3F));
    s += char(0x80 | (n & 0x3F));
  } else {
    s += char(0xF0 | (n >> 18));
    s += char(0x80 | ((n >> 12) & 0x3F));
    s += char(0x80 | ((n >> 6) & 0x3F));
    s += char(0x80 | (n & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when invalid.
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& n) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t nLen = 0;
  uint32_t nMin = 0;
  if (c < 0x80) {
    n = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    nLen = 2, n = c & 0x1F, nMin = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    nLen = 3, n = c & 0x0F, nMin = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    nLen = 4, n = c & 0x07, nMin = 0x10000;
  } else {
    return 0;
  }
  if (i + nLen > s.size()) return 0;
  for (size_t k = 1; k < nLen; ++k) {
    const auto d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    n = (n << 6) | (d & 0x3F);
  }
  if (n < nMin || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return 0;
  return nLen;
}

// True when s is valid UTF-8 and holds at least one byte above 127.
bool IsMultiByteUtf8(std::string_view s) {
  bool bHigh = false;
  for (size_t i = 0; i < s.size();) {
    uint32_t n;
    const size_t nLen = DecodeUtf8(s, i, n);
    if (!nLen) return false;
    bHigh |= nLen > 1;
    i += nLen;
  }
  return bHigh;
}

}  // namespace

std::string EncodeStoredText(std::string_view sUtf8) {
  std::string sOut;
  sOut.reserve(sUtf8.size());
  for (size_t i = 0; i < sUtf8.size();) {
    uint32_t n;
    size_t nLen = DecodeUtf8(sUtf8, i, n);
    if (!nLen) return std::string(sUtf8);  // not UTF-8: keep the bytes as they are
    const int b = CodePointToCp1252(n);
    if (b < 0) return std::string(sUtf8);  // a character beyond Windows-1252: store UTF-8
    sOut += char(b);
    i += nLen;
  }
  // A single-byte result that happens to read as UTF-8 would be decoded
  // wrongly; such a text is stored as UTF-8 instead.
  if (IsMultiByteUtf8(sOut)) return std::string(sUtf8);
  return sOut;
}

std::string DecodeStoredText(std::string_view sStored) {
  if (IsMultiByteUtf8(sStored)) return std::string(sStored);
  std::string sOut;
  sOut.reserve(sStored.size());
  for (unsigned char c : sStored) AppendUtf8(sOut, Cp1252ToCodePoint(c));
  return sOut;
}

namespace {

// The plain letters of the accented Latin letters U+00C0 to U+017F, by ranges
// of code points that share them.
struct stFoldRange {
  uint16_t nFirst, nLast;
  const char* pPlain;
};
constexpr stFoldRange kFoldRanges[] = {
    {0xC0, 0xC5, "a"},    {0xC6, 0xC6, "ae"},   {0xC7, 0xC7, "c"},    {0xC8, 0xCB, "e"},
    {0xCC, 0xCF, "i"},    {0xD0, 0xD0, "d"},    {0xD1, 0xD1, "n"},    {0xD2, 0xD6, "o"},
    {0xD8, 0xD8, "o"},    {0xD9, 0xDC, "u"},    {0xDD, 0xDD, "y"},    {0xDE, 0xDE, "th"},
    {0xDF, 0xDF, "ss"},   {0xE0, 0xE5, "a"},    {0xE6, 0xE6, "ae"},   {0xE7, 0xE7, "c"},
    {0xE8, 0xEB, "e"},    {0xEC, 0xEF, "i"},    {0xF0, 0xF0, "d"},    {0xF1, 0xF1, "n"},
    {0xF2, 0xF6, "o"},    {0xF8, 0xF8, "o"},    {0xF9, 0xFC, "u"},    {0xFD, 0xFD, "y"},
    {0xFE, 0xFE, "th"},   {0xFF, 0xFF, "y"},    {0x100, 0x105, "a"},  {0x106, 0x10D, "c"},
    {0x10E, 0x111, "d"},  {0x112, 0x11B, "e"},  {0x11C, 0x123, "g"},  {0x124, 0x127, "h"},
    {0x128, 0x131, "i"},  {0x132, 0x133, "ij"}, {0x134, 0x135, "j"},  {0x136, 0x138, "k"},
    {0x139, 0x142, "l"},  {0x143, 0x14B, "n"},  {0x14C, 0x151, "o"},  {0x152, 0x153, "oe"},
    {0x154, 0x159, "r"},  {0x15A, 0x161, "s"},  {0x162, 0x167, "t"},  {0x168, 0x173, "u"},
    {0x174, 0x175, "w"},  {0x176, 0x178, "y"},  {0x179, 0x17E, "z"},  {0x17F, 0x17F, "s"},
};

const char* PlainLetters(uint32_t n) {
  for (const stFoldRange& r : kFoldRanges)
    if (n >= r.nFirst && n <= r.nLast) return r.pPlain;
  return nullptr;
}

}  // namespace

std::string FoldForMatch(std::string_view sUtf8) {
  std::string sOut;
  bool bBlank = false;
  for (size_t i = 0; i < sUtf8.size();) {
    uint32_t n = 0;
    const size_t nLen = DecodeUtf8(sUtf8, i, n);
    if (nLen <= 1) {  // ASCII, or a byte that is no UTF-8
      const auto c = static_cast<unsigned char>(sUtf8[i++]);
      if (std::isspace(c)) {
        bBlank = !sOut.empty();
        continue;
      }
      if (bBlank) sOut += ' ';
      bBlank = false;
      sOut += char(std::tolower(c));
      continue;
    }
    if (bBlank) sOut += ' ';
    bBlank = false;
    const char* pPlain = PlainLetters(n);
    if (pPlain)
      sOut += pPlain;
    else
      sOut.append(sUtf8.substr(i, nLen));
    i += nLen;
  }
  return sOut;
}

std::vector<uint32_t> TextCodePoints(std::string_view sText) {
  const std::string sUtf8 = DecodeStoredText(sText);
  std::vector<uint32_t> na;
  na.reserve(sUtf8.size());
  for (size_t i = 0; i < sUtf8.size();) {
    uint32_t n = 0;
    const size_t nLen = DecodeUtf8(sUtf8, i, n);
    na.push_back(nLen ? n : static_cast<unsigned char>(sUtf8[i]));
    i += nLen ? nLen : 1;
  }
  return na;
}
