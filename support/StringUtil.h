#pragma once
// String helpers shared by every subsystem.

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Splits sText at the characters of sSeparators (or, with bWholeSeparator, at
// the whole separator text). Leading empty pieces are dropped without the
// flag; nMaxCount > 0 stops after that many pieces. Returns the piece count.
int ParseString(std::string_view sText, std::string_view sSeparators,
                std::vector<std::string>& saOut, int nMaxCount = 0, bool bWholeSeparator = false);

// Standard CRC-32 of a text, plus 1024 when the result is below 1024.
uint32_t GetCRC(std::string_view sText);

// printf-style formatting into a std::string.
std::string StrFormat(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
std::string VStrFormat(const char* pFormat, va_list args) __attribute__((format(printf, 1, 0)));

std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
std::string Trim(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Integer and float parsing that ignores the locale; false on anything but a
// complete number.
bool ParseInt(std::string_view s, long long& nOut);
bool ParseDouble(std::string_view s, double& dOut);
std::string FormatDouble(double d);

// Text as stored in the database file, LAN messages and legacy exports: a
// string is stored as Windows-1252 when every character fits, otherwise as
// UTF-8. Reading accepts valid UTF-8 with bytes above 127 as UTF-8, anything
// else as Windows-1252. Memory holds UTF-8.
std::string EncodeStoredText(std::string_view sUtf8);
std::string DecodeStoredText(std::string_view sStored);

// The text as names are matched: lower case, with the accents of Latin-1 and
// Latin Extended-A letters taken off ("Müller" and "MULLER" both give
// "muller"; "ß" gives "ss", "Æ" "ae"), runs of blanks as one space, no blanks
// at either end. Other characters stay as they are.
std::string FoldForMatch(std::string_view sUtf8);

// The characters (code points) of a text, read as stored text is: valid
// UTF-8 as UTF-8, anything else as Windows-1252.
std::vector<uint32_t> TextCodePoints(std::string_view sText);
