#pragma once
// Reading the versit text formats (vCard 2.1/3.0/4.0, iCalendar): the text
// is unfolded (a line break followed by a space or TAB joins two lines) and
// cut into content lines "[group.]NAME[;param...]:value". vCard 2.1
// QUOTED-PRINTABLE values, whose soft line breaks end a line with "=", are
// joined and decoded. Every value comes back as valid UTF-8: bytes that are
// no UTF-8 are read as Windows-1252.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct stContentLine {
  std::string sGroup;  // "item1" of "item1.EMAIL", else empty
  std::string sName;   // upper case
  std::vector<std::pair<std::string, std::string>>
      params;          // name upper case (empty for a bare 2.1 value), value
  std::string sValue;  // still escaped; quoted-printable already decoded
  std::string sLine;   // the whole unfolded line as it stood

  // Every TYPE value in lower case: "TYPE=home,voice", "TYPE=HOME;TYPE=VOICE"
  // and the bare 2.1 "HOME;VOICE" all give {"home", "voice"}.
  std::vector<std::string> Types() const;
  bool HasType(std::string_view sType) const;
};

class CVersitReader {
 public:
  // The content lines of the text; a line without ":" is left out.
  static std::vector<stContentLine> Lines(std::string_view sText);
  // A TEXT value unescaped: "\\n" and "\\N" a line break, "\\\\", "\\,", "\\;"
  // the character; any other backslash stays.
  static std::string Unescape(std::string_view s);
  // A compound value cut at every cSeparator that is not escaped, each piece
  // unescaped.
  static std::vector<std::string> Split(std::string_view s, char cSeparator);

 private:
  static bool Parse(std::string_view sLine, stContentLine& line);
};
