#include "comms/MailDecode.h"

#include <iconv.h>

#include <cerrno>
#include <functional>

#include "support/StringUtil.h"

namespace {

constexpr int kMaxNesting = 8;     // multipart inside multipart
constexpr int kMaxParts = 1000;    // parts of one multipart body
constexpr char kReplacement[] = "\xEF\xBF\xBD";

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string ControlsToSpaces(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

// "iso-8859-1*en" (RFC 2231 language suffix) -> "iso-8859-1".
std::string CharsetName(std::string_view sCharset) {
  std::string s = ToLower(Trim(sCharset));
  const size_t nStar = s.find('*');
  if (nStar != std::string::npos) s.erase(nStar);
  return s;
}

std::string IconvToUtf8(std::string_view sBytes, const std::string& sCharset) {
  iconv_t cd = iconv_open("UTF-8", sCharset.c_str());
  if (cd == iconv_t(-1)) return DecodeStoredText(sBytes);
  std::string sOut;
  char aBuffer[4096];
  char* pIn = const_cast<char*>(sBytes.data());
  size_t nIn = sBytes.size();
  while (nIn > 0) {
    char* pOut = aBuffer;
    size_t nOut = sizeof aBuffer;
    const size_t r = iconv(cd, &pIn, &nIn, &pOut, &nOut);
    sOut.append(aBuffer, size_t(pOut - aBuffer));
    if (r != size_t(-1) || errno == E2BIG) continue;
    // A byte that does not convert (or a sequence cut off at the end).
    sOut += kReplacement;
    ++pIn;
    --nIn;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* pOut = aBuffer;
  size_t nOut = sizeof aBuffer;
  iconv(cd, nullptr, nullptr, &pOut, &nOut);
  sOut.append(aBuffer, size_t(pOut - aBuffer));
  iconv_close(cd);
  return sOut;
}

// Appends the decoded encoded word "=?charset?B|Q?text?=" that starts at
// nAt and puts its end (after "?=") in nEnd; false when it is not one.
bool DecodeWord(std::string_view s, size_t nAt, size_t& nEnd, std::string& sOut) {
  const size_t nQ1 = s.find('?', nAt + 2);
  if (nQ1 == std::string_view::npos || nQ1 + 2 >= s.size() || s[nQ1 + 2] != '?') return false;
  const char cEncoding = s[nQ1 + 1];
  const size_t nClose = s.find("?=", nQ1 + 3);
  if (nClose == std::string_view::npos) return false;
  const std::string_view sCharset = s.substr(nAt + 2, nQ1 - nAt - 2);
  const std::string_view sText = s.substr(nQ1 + 3, nClose - nQ1 - 3);
  if (sCharset.empty() || sText.find_first_of(" \t\r\n") != std::string_view::npos) return false;
  std::string sBytes;
  if (cEncoding == 'B' || cEncoding == 'b') {
    sBytes = DecodeBase64(sText);
  } else if (cEncoding == 'Q' || cEncoding == 'q') {
    std::string sQp(sText);
    for (char& c : sQp)
      if (c == '_') c = ' ';
    sBytes = DecodeQuotedPrintable(sQp);
  } else {
    return false;
  }
  sOut += ConvertToUtf8(sBytes, sCharset);
  nEnd = nClose + 2;
  return true;
}

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Calls fn for each part of a multipart body; the preamble and the epilogue
// are skipped, a missing closing delimiter ends the last part at the end.
void ForEachPart(std::string_view sBody, const std::string& sBoundary,
                 const std::function<void(std::string_view)>& fn) {
  const std::string sDelimiter = "--" + sBoundary;
  auto findDelimiter = [&](size_t nFrom) {
    for (size_t p = sBody.find(sDelimiter, nFrom); p != std::string_view::npos;
         p = sBody.find(sDelimiter, p + 1))
      if (p == 0 || (p >= 2 && sBody.substr(p - 2, 2) == "\r\n")) return p;
    return std::string_view::npos;
  };
  size_t p = findDelimiter(0);
  for (int nParts = 0; p != std::string_view::npos && nParts < kMaxParts; ++nParts) {
    const size_t nAfter = p + sDelimiter.size();
    if (sBody.substr(nAfter, 2) == "--") return;
    const size_t nLineEnd = sBody.find("\r\n", nAfter);
    if (nLineEnd == std::string_view::npos) return;
    const size_t nStart = nLineEnd + 2;
    const size_t nNext = findDelimiter(nStart);
    if (nNext == std::string_view::npos) {
      fn(sBody.substr(nStart));
      return;
    }
    fn(sBody.substr(nStart, nNext >= nStart + 2 ? nNext - 2 - nStart : 0));
    p = nNext;
  }
}

std::string DecodeTransfer(std::string_view sBody, std::string_view sHeader) {
  const std::string sEncoding = ToLower(HeaderItem(sHeader, "Content-Transfer-Encoding"));
  if (sEncoding == "quoted-printable") return DecodeQuotedPrintable(sBody);
  if (sEncoding == "base64") return DecodeBase64(sBody);
  return std::string(sBody);
}

void DecodePart(std::string_view sHeader, std::string_view sBody, int nDepth, stMailText& out) {
  const std::string sType = HeaderItem(sHeader, "Content-Type");
  std::string sMime = ToLower(Trim(std::string_view(sType).substr(0, sType.find(';'))));
  if (sMime.empty()) sMime = "text/plain";
  if (nDepth > 0 &&
      ToLower(HeaderItem(sHeader, "Content-Disposition")).rfind("attachment", 0) == 0)
    return;
  if (sMime.rfind("multipart/", 0) == 0 || sMime == "message/rfc822") {
    if (nDepth >= kMaxNesting) return;
    if (sMime == "message/rfc822") {
      DecodePart(MailHeaderOf(sBody), MailBodyOf(sBody), nDepth + 1, out);
      return;
    }
    const std::string sBoundary = HeaderParameter(sType, "boundary");
    if (sBoundary.empty()) return;
    ForEachPart(sBody, sBoundary, [&](std::string_view sPart) {
      DecodePart(MailHeaderOf(sPart), MailBodyOf(sPart), nDepth + 1, out);
    });
    return;
  }
  if (sMime.rfind("text/", 0) != 0) return;
  const std::string sText =
      ConvertToUtf8(DecodeTransfer(sBody, sHeader), HeaderParameter(sType, "charset"));
  std::string& sTarget = sMime == "text/html" ? out.sHtml : out.sText;
  if (!sTarget.empty()) sTarget += "\r\n";
  sTarget += sText;
}

}  // namespace

std::string_view MailHeaderOf(std::string_view sMessage) {
  if (sMessage.substr(0, 2) == "\r\n") return {};
  const size_t n = sMessage.find("\r\n\r\n");
  return n == std::string_view::npos ? sMessage : sMessage.substr(0, n);
}

std::string_view MailBodyOf(std::string_view sMessage) {
  if (sMessage.substr(0, 2) == "\r\n") return sMessage.substr(2);
  const size_t n = sMessage.find("\r\n\r\n");
  return n == std::string_view::npos ? std::string_view() : sMessage.substr(n + 4);
}

std::string HeaderItem(std::string_view sHeader, std::string_view sName, int n) {
  const std::string sHay = "\r\n" + ToUpper(sHeader);
  const std::string sNeedle = "\r\n" + ToUpper(sName) + ":";
  size_t p = sHay.find(sNeedle);
  for (int k = 1; k < n && p != std::string::npos; ++k) p = sHay.find(sNeedle, p + sNeedle.size());
  if (p == std::string::npos) return "";
  size_t i = p + sNeedle.size() - 2;  // the same place in sHeader
  std::string s;
  for (;;) {
    const size_t nEnd = sHeader.find("\r\n", i);
    s += sHeader.substr(i, nEnd == std::string_view::npos ? std::string_view::npos : nEnd - i);
    if (nEnd == std::string_view::npos) break;
    i = nEnd + 2;
    if (i >= sHeader.size() || (sHeader[i] != ' ' && sHeader[i] != '\t')) break;
  }
  for (char& c : s)
    if (c == '\t') c = ' ';
  return Trim(s);
}

std::string HeaderParameter(std::string_view sValue, std::string_view sName) {
  size_t i = sValue.find(';');
  while (i != std::string_view::npos && i < sValue.size()) {
    ++i;
    const size_t nEq = sValue.find_first_of("=;", i);
    if (nEq == std::string_view::npos) break;
    const std::string sAttribute = Trim(sValue.substr(i, nEq - i));
    if (sValue[nEq] == ';') {
      i = nEq;
      continue;
    }
    size_t j = nEq + 1;
    while (j < sValue.size() && (sValue[j] == ' ' || sValue[j] == '\t')) ++j;
    std::string sParam;
    if (j < sValue.size() && sValue[j] == '"') {
      for (++j; j < sValue.size() && sValue[j] != '"'; ++j) {
        if (sValue[j] == '\\' && j + 1 < sValue.size()) ++j;
        sParam += sValue[j];
      }
      i = sValue.find(';', j);
    } else {
      i = sValue.find(';', j);
      sParam = Trim(sValue.substr(j, i == std::string_view::npos ? std::string_view::npos : i - j));
    }
    if (EqualsNoCase(sAttribute, sName)) return sParam;
  }
  return "";
}

std::string DecodeHeaderText(std::string_view s) {
  std::string sOut;
  size_t i = 0;
  bool bAfterWord = false;
  while (i < s.size()) {
    const size_t p = s.find("=?", i);
    const std::string_view sBefore = s.substr(i, p == std::string_view::npos ? p : p - i);
    std::string sWord;
    size_t nEnd = 0;
    if (p == std::string_view::npos || !DecodeWord(s, p, nEnd, sWord)) {
      const size_t nTo = p == std::string_view::npos ? s.size() : p + 2;
      sOut += DecodeStoredText(s.substr(i, nTo - i));
      i = nTo;
      bAfterWord = false;
      continue;
    }
    // White space between two encoded words is not part of the text.
    if (!(bAfterWord && IsBlank(sBefore))) sOut += DecodeStoredText(sBefore);
    sOut += sWord;
    i = nEnd;
    bAfterWord = true;
  }
  return ControlsToSpaces(std::move(sOut));
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string sOut;
  sOut.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '=') {
      sOut += s[i];
      continue;
    }
    if (i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      sOut += char(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
      continue;
    }
    // A soft line break: "=" at the end of a line, maybe with trailing blanks.
    size_t j = i + 1;
    while (j < s.size() && (s[j] == ' ' || s[j] == '\t')) ++j;
    if (j + 1 < s.size() && s[j] == '\r' && s[j + 1] == '\n')
      i = j + 1;
    else if (j < s.size() && s[j] == '\n')
      i = j;
    else if (j == s.size())
      i = j;
    else
      sOut += '=';
  }
  return sOut;
}

std::string DecodeBase64(std::string_view s) {
  std::string sOut;
  sOut.reserve(s.size() / 4 * 3);
  unsigned nBits = 0;
  int nCount = 0;
  for (char c : s) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') break;
    else continue;
    nBits = (nBits << 6) | unsigned(v);
    if ((nCount += 6) >= 8) {
      nCount -= 8;
      sOut += char((nBits >> nCount) & 0xFF);
    }
  }
  return sOut;
}

std::string ConvertToUtf8(std::string_view sBytes, std::string_view sCharset) {
  if (IsAscii(sBytes)) return std::string(sBytes);
  const std::string sName = CharsetName(sCharset);
  if (sName.empty() || sName == "us-ascii" || sName == "utf-8" || sName == "utf8")
    return DecodeStoredText(sBytes);
  return IconvToUtf8(sBytes, sName);
}

stMailText DecodeMailText(std::string_view sMessage) {
  stMailText out;
  DecodePart(MailHeaderOf(sMessage), MailBodyOf(sMessage), 0, out);
  return out;
}
