#include "exchange/CVersitWriter.h"

#include <algorithm>

namespace {

constexpr size_t QP_LINE_MAX = 76;  // characters of an encoded line, the soft break's "=" included

bool IsHigh(unsigned char c) { return c > 127; }
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

template <class Test>
bool AnyByte(std::initializer_list<std::string_view> sa, Test fnTest) {
  return std::any_of(sa.begin(), sa.end(), [&](std::string_view s) {
    return std::any_of(s.begin(), s.end(), [&](char c) { return fnTest(static_cast<unsigned char>(c)); });
  });
}

void AppendEscaped(std::string& sOut, std::string_view s) {
  for (size_t i = s.find(';'); i != std::string_view::npos; i = s.find(';')) {
    sOut.append(s.substr(0, i)) += "\\;";
    s.remove_prefix(i + 1);
  }
  sOut += s;
}

// QUOTED-PRINTABLE of one component: printable ASCII but "=" stays (";" escaped as
// everywhere), every other byte is "=XX".
void AppendQuotedPrintable(std::string& sOut, std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ';') {
      sOut += "\\;";
    } else if (c == ' ' || (c > ' ' && c < 127 && c != '=')) {
      sOut += ch;
    } else {
      sOut += '=';
      sOut += kHex[c >> 4];
      sOut += kHex[c & 15];
    }
  }
}

// The length of the piece of encoded text at s[i] that a soft line break must not split.
size_t TokenLength(std::string_view s, size_t i) {
  if (s[i] == '=') return 3;
  return s[i] == '\\' && i + 1 < s.size() && s[i + 1] == ';' ? 2 : 1;
}

}  // namespace

void CVersitWriter::AppendProperty(std::string& sOut, std::string_view sName,
                                   std::initializer_list<std::string_view> saComponents,
                                   bool bQuotedPrintable) {
  const bool bHigh = AnyByte(saComponents, IsHigh);
  const size_t nLineStart = sOut.size();
  sOut += sName;
  if (bHigh) sOut += ";CHARSET=UTF-8";
  if (!(bQuotedPrintable || bHigh || AnyByte(saComponents, IsControl))) {
    sOut += ':';
    for (auto it = saComponents.begin(); it != saComponents.end(); ++it) {
      if (it != saComponents.begin()) sOut += ';';
      AppendEscaped(sOut, *it);
    }
    sOut += "\r\n";
    return;
  }
  sOut += ";ENCODING=QUOTED-PRINTABLE:";
  std::string sEncoded;
  for (auto it = saComponents.begin(); it != saComponents.end(); ++it) {
    if (it != saComponents.begin()) sEncoded += ';';
    AppendQuotedPrintable(sEncoded, *it);
  }
  // A space that ends the line would be taken for padding and dropped.
  if (!sEncoded.empty() && sEncoded.back() == ' ') sEncoded.replace(sEncoded.size() - 1, 1, "=20");
  AppendEncoded(sOut, sEncoded, nLineStart);
}

void CVersitWriter::AppendIfSet(std::string& sOut, std::string_view sName, std::string_view sValue) {
  if (!sValue.empty()) AppendProperty(sOut, sName, {sValue});
}

// Appends the encoded value, breaking the line with "=" CR LF before a
// character, "=XX" or "\;" that would not fit, so no line exceeds QP_LINE_MAX.
void CVersitWriter::AppendEncoded(std::string& sOut, std::string_view sEncoded, size_t nLineStart) {
  size_t nLine = sOut.size() - nLineStart;
  while (nLine + sEncoded.size() > QP_LINE_MAX) {
    size_t nFit = 0;  // what fits before the soft break's "="
    while (nFit < sEncoded.size()) {
      const size_t nToken = TokenLength(sEncoded, nFit);
      if (nLine + nFit + nToken > QP_LINE_MAX - 1) break;
      nFit += nToken;
    }
    sOut.append(sEncoded.substr(0, nFit)) += "=\r\n";
    sEncoded.remove_prefix(nFit);
    nLine = 0;
  }
  sOut.append(sEncoded) += "\r\n";
}

std::string CVersitWriter::EscapeText(std::string_view s) {
  std::string sOut;
  sOut.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' || c == ',' || c == ';') {
      sOut += '\\';
      sOut += c;
    } else if (c == '\n' || c == '\r') {
      sOut += "\\n";
      if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else if (c == '\t' || !IsControl(static_cast<unsigned char>(c))) {
      sOut += c;
    }
  }
  return sOut;
}

void CVersitWriter::AppendFolded(std::string& sOut, std::string_view sLine) {
  constexpr size_t FOLD_OCTETS = 75;
  size_t nRoom = FOLD_OCTETS;
  while (sLine.size() > nRoom) {
    size_t nCut = nRoom;
    // A UTF-8 continuation byte (10xxxxxx) must stay with the bytes before it.
    while (nCut > 0 && (static_cast<unsigned char>(sLine[nCut]) & 0xC0) == 0x80) --nCut;
    if (nCut == 0) nCut = nRoom;  // no character start in reach: not UTF-8, cut anyway
    sOut.append(sLine.substr(0, nCut)) += "\r\n ";
    sLine.remove_prefix(nCut);
    nRoom = FOLD_OCTETS - 1;  // the leading space counts
  }
  sOut.append(sLine) += "\r\n";
}
