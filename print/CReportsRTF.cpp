#include "print/CReportsRTF.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <map>
#include <utility>

#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

namespace {

CReportsRTF::ReportViewer g_viewer;

// The longest face name written, as the font table stores it.
constexpr size_t kMaxFaceBytes = FACE_NAME_SIZE - 1;

// Decodes one UTF-8 character at i (valid UTF-8 assumed) and moves i past it.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i++]);
  int nMore = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  uint32_t n = nMore == 3 ? c & 0x07 : nMore == 2 ? c & 0x0F : nMore == 1 ? c & 0x1F : c;
  for (; nMore > 0 && i < s.size(); --nMore) n = n << 6 | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return n;
}

void AppendUtf8(std::string& s, uint32_t n) {
  if (n < 0x80) {
    s += char(n);
  } else if (n < 0x800) {
    s += char(0xC0 | n >> 6);
    s += char(0x80 | (n & 0x3F));
  } else if (n < 0x10000) {
    s += char(0xE0 | n >> 12);
    s += char(0x80 | (n >> 6 & 0x3F));
    s += char(0x80 | (n & 0x3F));
  } else {
    s += char(0xF0 | n >> 18);
    s += char(0x80 | (n >> 12 & 0x3F));
    s += char(0x80 | (n >> 6 & 0x3F));
    s += char(0x80 | (n & 0x3F));
  }
}

void AppendUnicodeEscape(std::string& s, uint32_t nUnit) {
  s += StrFormat("\\u%d?", int(int16_t(uint16_t(nUnit))));
}

// The face name as the font table may hold it: at most 31 bytes, cut on a
// character boundary, without the ";" that would end the entry.
std::string BoundedFace(const std::string& sFace) {
  std::string s;
  for (const char c : sFace)
    if (c != ';') s += c;
  if (s.size() > kMaxFaceBytes) {
    size_t n = kMaxFaceBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
  }
  return s;
}

// Reading back: where the text of the current group goes.
enum eDestination { DEST_BODY, DEST_FONTTABLE, DEST_FONT, DEST_SKIP };


int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads back the RTF this class writes: groups, control words, escapes and
// text; the font table's font 3 is the report font.
class CRtfReader {
 public:
  explicit CRtfReader(const std::string& s) : m_s(s) {}

  bool Read(CReportsRTF::stReport& report) {
    while (m_i < m_s.size()) {
      const char c = m_s[m_i++];
      if (c == '{') {
        m_stack.push_back(m_dest);
        if (m_dest == DEST_FONTTABLE) m_dest = DEST_FONT;
      } else if (c == '}') {
        if (m_stack.empty()) return false;
        m_dest = m_stack.back();
        m_stack.pop_back();
      } else if (c == '\\') {
        Control();
      } else if (c != '\r' && c != '\n') {
        AppendText(DecodeStoredText(std::string(1, c)));
      }
    }
    if (!m_stack.empty()) return false;
    if (!m_sLine.empty()) m_report.saLines.push_back(m_sLine);
    std::string sFace = m_faces[3];
    while (!sFace.empty() && sFace.back() == ';') sFace.pop_back();
    m_report.sFaceName = Trim(sFace);
    report = std::move(m_report);
    return true;
  }

 private:
  void AppendText(const std::string& sText) {
    if (m_dest == DEST_BODY) m_sLine += sText;
    else if (m_dest == DEST_FONT) m_faces[m_nFont] += sText;
  }

  // After a backslash: a control symbol or a control word with its number.
  void Control() {
    if (m_i >= m_s.size()) return;
    const char c = m_s[m_i];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++m_i;
      if (c == '\\' || c == '{' || c == '}') AppendText(std::string(1, c));
      else if (c == '\'' && m_i + 2 <= m_s.size() && HexDigit(m_s[m_i]) >= 0 && HexDigit(m_s[m_i + 1]) >= 0) {
        AppendText(DecodeStoredText(std::string(1, char(HexDigit(m_s[m_i]) * 16 + HexDigit(m_s[m_i + 1])))));
        m_i += 2;
      }
      return;
    }
    const size_t nWord = m_i;
    while (m_i < m_s.size() && std::isalpha(static_cast<unsigned char>(m_s[m_i]))) ++m_i;
    const std::string sWord = m_s.substr(nWord, m_i - nWord);
    const size_t nNumber = m_i;
    if (m_i < m_s.size() && m_s[m_i] == '-') ++m_i;
    while (m_i < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i])) && m_i - nNumber < 10) ++m_i;
    const bool bHasNumber = m_i > nNumber && std::isdigit(static_cast<unsigned char>(m_s[m_i - 1]));
    const long n = bHasNumber ? std::strtol(m_s.c_str() + nNumber, nullptr, 10) : 0;
    if (m_i < m_s.size() && m_s[m_i] == ' ') ++m_i;
    Word(sWord, bHasNumber, n);
  }

  void Word(const std::string& sWord, bool bHasNumber, long n) {
    const bool bBody = m_dest == DEST_BODY;
    if (sWord == "fonttbl") m_dest = DEST_FONTTABLE;
    else if (sWord == "colortbl") m_dest = DEST_SKIP;
    else if (sWord == "f" && m_dest == DEST_FONT) m_nFont = n;
    else if (sWord == "fs" && bBody) m_report.nHalfPoints = int(n);
    else if (sWord == "b" && bBody) m_report.bBold = !bHasNumber || n != 0;
    else if (sWord == "plain" && bBody) m_report.bBold = false;
    else if (sWord == "pard" && bBody) m_report.naTabTwips.clear();
    else if (sWord == "tx" && bBody) m_report.naTabTwips.push_back(int(n));
    else if (sWord == "tab") AppendText("\t");
    else if (sWord == "par" && bBody) m_report.saLines.push_back(std::exchange(m_sLine, {}));
    else if (sWord == "u") Unicode(uint16_t(int16_t(n)));
  }

  void Unicode(uint32_t nUnit) {
    if (m_i < m_s.size() && m_s[m_i] == '?') ++m_i;  // the stand-in for readers without \u
    std::string s;
    if (nUnit >= 0xD800 && nUnit < 0xDC00) {
      m_nHighSurrogate = nUnit;
      return;
    }
    if (nUnit >= 0xDC00 && nUnit < 0xE000) {
      if (m_nHighSurrogate) AppendUtf8(s, 0x10000 + ((m_nHighSurrogate - 0xD800) << 10) + (nUnit - 0xDC00));
    } else {
      AppendUtf8(s, nUnit);
    }
    m_nHighSurrogate = 0;
    AppendText(s);
  }

  const std::string& m_s;
  size_t m_i = 0;
  CReportsRTF::stReport m_report;
  std::map<long, std::string> m_faces;
  std::vector<eDestination> m_stack;
  eDestination m_dest = DEST_BODY;
  long m_nFont = -1;
  std::string m_sLine;
  uint32_t m_nHighSurrogate = 0;
};

}  // namespace

CReportsRTF::CReportsRTF(const stFormatRecord* pReportFormat, int nKind,
                         const std::vector<std::string>& saLines)
    : m_pReportFormat(pReportFormat ? pReportFormat : &BuiltInFormat()), m_sPath(DefaultPath()) {
  if (nKind != REPORT_LINES || !OpenFileRTF()) return;
  DefaultReport();
  WriteReportLines(saLines);
  std::fputs("}\n", m_pFile);
  if (!CloseFileRTF()) {
    GetResponse("Cannot write report file", MB_OK);
    return;
  }
  m_bWritten = true;
  if (g_viewer) g_viewer(m_sPath);
}

CReportsRTF::~CReportsRTF() {
  if (m_pFile) std::fclose(m_pFile);
}

std::string CReportsRTF::DefaultPath() { return ProgramFile("REPORT.RTF"); }

const stFormatRecord& CReportsRTF::BuiltInFormat() {
  static const stFormatRecord kFormat = [] {
    stFormatRecord f;
    f.m_nCode = 0xFFFFFFFF;
    f.m_sFaceName = "Courier New";
    f.m_nSize = 90;
    f.m_fHeightScale = 1.0f;
    f.m_daTabStops = {1, 2, 3, 4, 5, 6};
    return f;
  }();
  return kFormat;
}

void CReportsRTF::SetReportViewer(ReportViewer viewer) { g_viewer = std::move(viewer); }

std::string CReportsRTF::EscapeText(std::string_view sText) {
  const std::string sUtf8 = DecodeStoredText(sText);
  std::string sOut;
  sOut.reserve(sUtf8.size());
  for (size_t i = 0; i < sUtf8.size();) {
    const uint32_t n = NextCodePoint(sUtf8, i);
    if (n == '\\' || n == '{' || n == '}') {
      sOut += '\\';
      sOut += char(n);
    } else if (n < 0x80) {
      sOut += char(n);
    } else if (n < 0x10000) {
      AppendUnicodeEscape(sOut, n);
    } else {
      AppendUnicodeEscape(sOut, 0xD800 + ((n - 0x10000) >> 10));
      AppendUnicodeEscape(sOut, 0xDC00 + ((n - 0x10000) & 0x3FF));
    }
  }
  return sOut;
}

bool CReportsRTF::OpenFileRTF() {
  const int fd = ::open(m_sPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  m_pFile = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (!m_pFile) {
    if (fd >= 0) ::close(fd);
    GetResponse("Cannot open report file", MB_OK);
    return false;
  }
  return true;
}

void CReportsRTF::DefaultReport() {
  const stFormatRecord& f = *m_pReportFormat;
  std::string s = "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss MS Sans Serif;}\n";
  s += "{\\f1\\froman\\fcharset2 Symbol;}{\\f2\\fswiss\\fprq2 System;}\n";
  s += "{\\f3\\fmodern\\fprq1 " + EscapeText(BoundedFace(f.m_sFaceName)) + ";}}\n";
  s += "{\\colortbl\\red0\\green0\\blue0;}\n";
  if (f.m_daTabStops.empty()) {
    s += "\\deflang1033\\pard\\tx1440\\tx2880\\tx4320\\tx5760\\tx7200\n";
  } else {
    s += "\\deflang1033\\pard";
    for (const double d : f.m_daTabStops) {
      const double dTwips = std::trunc(d * 1440.0);
      if (std::isfinite(dTwips) && dTwips >= 0 && dTwips <= INT_MAX) s += StrFormat("\\tx%i", int(dTwips));
    }
    s += "\n";
  }
  s += StrFormat(f.m_bBold ? "\\plain\\f3\\fs%u\\b\n" : "\\plain\\f3\\fs%u\n", f.m_nSize / 5);
  std::fputs(s.c_str(), m_pFile);
}

void CReportsRTF::WriteReportLines(const std::vector<std::string>& saLines) {
  for (const auto& s : saLines) WriteReportLine(s);
}

void CReportsRTF::WriteReportLine(const std::string& sLine) {
  const std::string s = EscapeText(sLine) + "\\par\n";
  std::fwrite(s.data(), 1, s.size(), m_pFile);
}

bool CReportsRTF::CloseFileRTF() {
  const bool bFlushed = std::fflush(m_pFile) == 0 && !std::ferror(m_pFile);
  const bool bClosed = std::fclose(m_pFile) == 0;
  m_pFile = nullptr;
  return bFlushed && bClosed;
}

bool CReportsRTF::ReadReport(const std::string& sPath, stReport& report) {
  std::string s;
  if (!ReadWholeFile(sPath, s) || s.rfind("{\\rtf1", 0) != 0) return false;
  CRtfReader reader(s);
  return reader.Read(report);
}
