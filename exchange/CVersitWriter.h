#pragma once
// Property lines of the older versit text formats (vCard 2.1, vCalendar 1.0):
// "NAME[;params]:value" ended by CR LF, the components of a compound value
// joined by ";" with ";" inside a component escaped as "\;".
//
// A value is written as it is when it is plain printable ASCII. A value with
// a byte above 127 is UTF-8 and declared "CHARSET=UTF-8"; such a value, one
// with a control character (CR and LF inside a value among them) and every
// value the caller asks for are QUOTED-PRINTABLE-encoded, declared so, and
// folded with soft line breaks into lines of at most 76 characters.

#include <initializer_list>
#include <string>
#include <string_view>

class CVersitWriter {
 public:
  static void AppendProperty(std::string& sOut, std::string_view sName,
                             std::initializer_list<std::string_view> saComponents,
                             bool bQuotedPrintable = false);
  // A property written only when its single value is not empty.
  static void AppendIfSet(std::string& sOut, std::string_view sName, std::string_view sValue);

  // ---- the newer formats (vCard 3.0/4.0, iCalendar): UTF-8, escapes, folding ----
  // A TEXT value: "\\", ",", ";" escaped with a backslash, a line break (LF,
  // CR LF or CR) as "\n"; other control characters but TAB are dropped, so
  // no value can end its line or start a property of its own.
  static std::string EscapeText(std::string_view s);
  // Appends one content line ended by CR LF, folded into lines of at most 75
  // octets (a folded line goes on after CR LF and a space); a UTF-8
  // character is never split.
  static void AppendFolded(std::string& sOut, std::string_view sLine);

 private:
  static void AppendEncoded(std::string& sOut, std::string_view sEncoded, size_t nLineStart);
};
