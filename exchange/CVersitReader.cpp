#include "exchange/CVersitReader.h"

#include <algorithm>

#include "support/StringUtil.h"

namespace {

// The physical lines of the text, ended by CR LF, LF or CR.
std::vector<std::string_view> PhysicalLines(std::string_view s) {
  std::vector<std::string_view> sa;
  while (!s.empty()) {
    const size_t nEnd = s.find_first_of("\r\n");
    sa.push_back(s.substr(0, nEnd));
    if (nEnd == std::string_view::npos) break;
    const size_t nNext = nEnd + (s[nEnd] == '\r' && nEnd + 1 < s.size() && s[nEnd + 1] == '\n' ? 2 : 1);
    s.remove_prefix(nNext);
  }
  return sa;
}

bool IsQuotedPrintable(const stContentLine& line) {
  return std::any_of(line.params.begin(), line.params.end(), [](const auto& p) {
    return EqualsNoCase(p.second, "QUOTED-PRINTABLE") && (p.first.empty() || p.first == "ENCODING");
  });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string sOut;
  for (size_t i = 0; i < s.size(); ++i) {
    const int nHigh = s[i] == '=' && i + 2 < s.size() ? HexValue(s[i + 1]) : -1;
    const int nLow = nHigh >= 0 ? HexValue(s[i + 2]) : -1;
    if (nLow >= 0) {
      sOut += char(nHigh * 16 + nLow);
      i += 2;
    } else {
      sOut += s[i];
    }
  }
  return sOut;
}

}  // namespace

std::vector<std::string> stContentLine::Types() const {
  std::vector<std::string> sa;
  for (const auto& [sParam, sValue] : params) {
    if (sParam.empty()) {
      sa.push_back(ToLower(sValue));
    } else if (sParam == "TYPE") {
      std::vector<std::string> saValues;
      ParseString(sValue, ",", saValues);
      for (const std::string& s : saValues) sa.push_back(ToLower(Trim(s)));
    }
  }
  return sa;
}

bool stContentLine::HasType(std::string_view sType) const {
  const std::vector<std::string> sa = Types();
  return std::find(sa.begin(), sa.end(), sType) != sa.end();
}

std::vector<stContentLine> CVersitReader::Lines(std::string_view sText) {
  const std::vector<std::string_view> saPhysical = PhysicalLines(sText);
  std::vector<stContentLine> lines;
  for (size_t i = 0; i < saPhysical.size(); ++i) {
    std::string sLine(saPhysical[i]);
    while (i + 1 < saPhysical.size() && !saPhysical[i + 1].empty() &&
           (saPhysical[i + 1][0] == ' ' || saPhysical[i + 1][0] == '\t'))
      sLine.append(saPhysical[++i].substr(1));
    stContentLine line;
    if (!Parse(sLine, line)) continue;
    if (IsQuotedPrintable(line)) {
      // A soft line break: the value goes on in the next physical line.
      while (!line.sValue.empty() && line.sValue.back() == '=' && i + 1 < saPhysical.size()) {
        line.sValue.pop_back();
        line.sValue.append(saPhysical[++i]);
        line.sLine.pop_back();
        line.sLine.append(saPhysical[i]);
      }
      line.sValue = DecodeQuotedPrintable(line.sValue);
    }
    line.sValue = DecodeStoredText(line.sValue);
    line.sLine = DecodeStoredText(line.sLine);
    lines.push_back(std::move(line));
  }
  return lines;
}

bool CVersitReader::Parse(std::string_view sLine, stContentLine& line) {
  line.sLine = std::string(sLine);
  const size_t nNameEnd = sLine.find_first_of(";:");
  if (nNameEnd == std::string_view::npos || nNameEnd == 0) return false;
  std::string_view sName = sLine.substr(0, nNameEnd);
  if (const size_t nDot = sName.find('.'); nDot != std::string_view::npos) {
    line.sGroup = std::string(sName.substr(0, nDot));
    sName.remove_prefix(nDot + 1);
  }
  line.sName = ToUpper(sName);
  size_t i = nNameEnd;
  while (i < sLine.size() && sLine[i] == ';') {
    // One parameter, up to the next ";" or ":" outside double quotes.
    size_t nEnd = ++i;
    bool bQuoted = false;
    while (nEnd < sLine.size() && (bQuoted || (sLine[nEnd] != ';' && sLine[nEnd] != ':'))) {
      if (sLine[nEnd] == '"') bQuoted = !bQuoted;
      ++nEnd;
    }
    const std::string_view sParam = sLine.substr(i, nEnd - i);
    const size_t nEq = sParam.find('=');
    std::string sValue(nEq == std::string_view::npos ? sParam : sParam.substr(nEq + 1));
    sValue.erase(std::remove(sValue.begin(), sValue.end(), '"'), sValue.end());
    line.params.emplace_back(nEq == std::string_view::npos ? "" : ToUpper(sParam.substr(0, nEq)), sValue);
    i = nEnd;
  }
  if (i >= sLine.size() || sLine[i] != ':') return false;
  line.sValue = std::string(sLine.substr(i + 1));
  return true;
}

std::string CVersitReader::Unescape(std::string_view s) {
  std::string sOut;
  sOut.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char cNext = i + 1 < s.size() ? s[i + 1] : 0;
    if (s[i] != '\\' || !cNext || std::string_view("nN\\,;").find(cNext) == std::string_view::npos) {
      sOut += s[i];
      continue;
    }
    sOut += cNext == 'n' || cNext == 'N' ? '\n' : cNext;
    ++i;
  }
  return sOut;
}

std::vector<std::string> CVersitReader::Split(std::string_view s, char cSeparator) {
  std::vector<std::string> sa;
  size_t nStart = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i + 1 < s.size() && s[i] == '\\') {
      ++i;  // the escaped character is no separator
      continue;
    }
    if (i == s.size() || s[i] == cSeparator) {
      sa.push_back(Unescape(s.substr(nStart, i - nStart)));
      nStart = i + 1;
    }
  }
  return sa;
}
