#include "support/CConfigFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

constexpr char kNotesSeparator = '\xDE';
constexpr double kLastOleDate = 2958465.99999;  // 12/31/9999

// Splits at every "|", keeping empty pieces.
std::vector<std::string> SplitFields(const std::string& sLine) {
  std::vector<std::string> sa;
  size_t nStart = 0;
  for (;;) {
    const size_t n = sLine.find('|', nStart);
    sa.push_back(sLine.substr(nStart, n - nStart));
    if (n == std::string::npos) return sa;
    nStart = n + 1;
  }
}

std::string TrimRight(const std::string& s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n' ||
                   s[n - 1] == '\v' || s[n - 1] == '\f'))
    --n;
  return s.substr(0, n);
}

// A value written on one line: line breaks would start a new setting, so
// they are dropped.
std::string OneLine(const std::string& s) {
  std::string sOut;
  for (char c : s)
    if (c != '\r' && c != '\n') sOut += c;
  return sOut;
}

std::string Fixed(double d, int nDecimals) {
  if (!std::isfinite(d)) d = 0.0;
  char c[400];
  const auto r = std::to_chars(c, c + sizeof c, d, std::chars_format::fixed, nDecimals);
  return r.ec == std::errc() ? std::string(c, r.ptr) : std::string("0");
}

std::string Int(long long n) { return std::to_string(n); }

// Reads one integer field within [nMin, nMax]; false leaves nOut alone.
bool ReadInt(const std::string& s, int nMin, int nMax, int& nOut) {
  long long n = 0;
  if (!ParseInt(s, n) || n < nMin || n > nMax) return false;
  nOut = int(n);
  return true;
}

bool ReadReal(const std::string& s, double dMin, double dMax, double& dOut) {
  double d = 0.0;
  if (!ParseDouble(s, d) || !std::isfinite(d) || d < dMin || d > dMax) return false;
  dOut = d;
  return true;
}

// Reads an integer field brought into the range of its type; false leaves
// the field alone.
template <typename T>
bool ReadClamped(const std::string& s, T& out) {
  long long n = 0;
  if (!ParseInt(s, n)) return false;
  out = static_cast<T>(std::clamp<long long>(n, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
  return true;
}

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The parse of one line: fields split at "|", the whole line, the text after
// the key. Returns false when something could not be used.
using LineReader = std::function<bool(const std::vector<std::string>& saFields,
                                      const std::string& sLine, const std::string& sRest,
                                      stAppSettings& s)>;

// PHONEDEVICE|path|baud|init: the init command is the rest of the line, so
// it may hold "|" itself. A speed that cannot be read keeps the default.
bool ReadPhoneDevice(const std::vector<std::string>& f, stPhoneDevice& device) {
  device.sPath = f[1];
  bool bOk = f.size() < 3 || ReadInt(f[2], 300, 4000000, device.nBaud);
  device.sInit.clear();
  for (size_t i = 3; i < f.size(); ++i) device.sInit += (i > 3 ? "|" : "") + f[i];
  return bOk;
}

// PUBLISHFTP|server|user|folder|password: the password is the rest of the
// line, so it may hold "|" itself.
bool ReadFtpAccount(const std::vector<std::string>& f, stFtpAccount& account) {
  if (f.size() < 5) return false;
  account.sServer = f[1];
  account.sUser = f[2];
  account.sFolder = f[3];
  account.sPassword.clear();
  for (size_t i = 4; i < f.size(); ++i) account.sPassword += (i > 4 ? "|" : "") + f[i];
  return true;
}

bool ReadIntKey(const std::vector<std::string>& sa, int nMin, int nMax, int& nOut) {
  return ReadInt(sa[1], nMin, nMax, nOut);
}

const std::map<std::string, LineReader>& Readers() {
  using V = const std::vector<std::string>&;
  using L = const std::string&;
  static const std::map<std::string, LineReader> kReaders = {
      {"LAST", [](V, L, L r, stAppSettings& s) { s.sLast = r; return true; }},
      {"PREV", [](V, L, L r, stAppSettings& s) { s.sPrev = r; return true; }},
      {"BACKUP", [](V, L, L r, stAppSettings& s) { s.sBackup = r; return true; }},
      {"DIAGNOSTIC", [](V f, L, L, stAppSettings& s) { return ReadIntKey(f, 0, 100, s.nDiagnostic); }},
      {"IPADDRESS_LANSVR", [](V, L, L r, stAppSettings& s) { s.sLanServerAddress = r; return true; }},
      {"PORT_LANSVR", [](V, L, L r, stAppSettings& s) { s.sLanServerPort = r; return true; }},
      {"PRINTERVIEW", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetPrinterConfig(f, s.printerView); }},
      {"PRINTERMAILLIST", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetPrinterConfig(f, s.printerMailList); }},
      {"PRINTERMAILLABELS", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetPrinterConfig(f, s.printerMailLabels); }},
      {"PRINTERENVELOPES", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetPrinterConfig(f, s.printerEnvelopes); }},
      {"LABELPRINTER", [](V, L l, L, stAppSettings& s) { s.sLabelPrinterLine = l; return true; }},
      {"LABELPRINTERLAYOUT", [](V, L l, L, stAppSettings& s) { s.sLabelPrinterLayoutLine = l; return true; }},
      {"PHONELIST", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetMaillistConfig(f, s.phoneList); }},
      {"MAILLABELS", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetMaillistConfig(f, s.mailLabels); }},
      {"ENVELOPES", [](V f, L, L, stAppSettings& s) { return CConfigFile::GetMaillistConfig(f, s.envelopes); }},
      {"RETURNADDRESS", [](V f, L, L, stAppSettings& s) {
         s.saReturnAddress.assign(f.begin() + 1, f.end());
         return true;
       }},
      {"NOTESSTRING", [](V, L, L r, stAppSettings& s) { s.sNotesString = r; return true; }},
      {"EMAILCHECKENABLE", [](V f, L, L, stAppSettings& s) { return ReadIntKey(f, 0, 1, s.nEmailCheckEnable); }},
      {"EMAILCHECKINTERVAL", [](V f, L, L, stAppSettings& s) {
         return ReadIntKey(f, -1000000, 1000000, s.nEmailCheckInterval);
       }},
      {"EMAILCHECKSTRING", [](V, L, L r, stAppSettings& s) { s.saEmailAccounts.push_back(r); return true; }},
      {"VIEW", [](V f, L, L, stAppSettings& s) {
         // The start view is clamped to the view codes rather than refused.
         long long n = 0;
         if (!ParseInt(f[1], n)) return false;
         s.nView = int(std::clamp(n, 0LL, 6LL));
         return true;
       }},
      {"ALARM", [](V f, L, L, stAppSettings& s) {
         bool bOk = f.size() >= 3;
         bOk = ReadInt(f[1], 0, 1, s.nAlarmOn) && bOk;
         if (f.size() >= 3) bOk = ReadReal(f[2], 0.0, kLastOleDate, s.dQuickAlarm) && bOk;
         return bOk;
       }},
      {"ALERT", [](V f, L, L, stAppSettings& s) { return ReadIntKey(f, 0, 1000000, s.nAlertMinutes); }},
      {"POPUP", [](V f, L, L, stAppSettings& s) {
         s.bPopup = true;
         bool bOk = f.size() >= 4;
         // Hour and minute outside their ranges take the defaults.
         if (!ReadInt(f[1], 1, 23, s.nPopupHour)) s.nPopupHour = 8, bOk = false;
         if (f.size() < 3 || !ReadInt(f[2], 0, 59, s.nPopupMinute)) s.nPopupMinute = 0, bOk = false;
         if (f.size() >= 4) bOk = ReadReal(f[3], 0.0, kLastOleDate, s.dLastPopup) && bOk;
         return bOk;
       }},
      {"NETWORK_DISABLE", [](V f, L, L, stAppSettings& s) { return ReadIntKey(f, 0, 1, s.nNetworkDisable); }},
      {"SHOW", [](V f, L, L, stAppSettings& s) { s.bShowMaximized = f[1] != "SW_SHOWNORMAL"; return true; }},
      {"PHONEDEVICE", [](V f, L, L, stAppSettings& s) { return ReadPhoneDevice(f, s.phoneDevice); }},
      {"PUBLISHFTP", [](V f, L, L, stAppSettings& s) { return ReadFtpAccount(f, s.publishAccount); }},
  };
  return kReaders;
}

}  // namespace

stAppSettings& AppSettings() {
  static stAppSettings settings;
  return settings;
}

CConfigFile::stReadReport CConfigFile::Parse(const std::string& sText, stAppSettings& settings) {
  stReadReport report;
  report.bFound = true;
  size_t nStart = 0;
  int nLineNo = 0;
  while (nStart < sText.size()) {
    size_t nEnd = sText.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = sText.size();
    std::string sLine = TrimRight(sText.substr(nStart, nEnd - nStart));
    // A password may end in blanks: the account line loses only its line end.
    if (sLine.rfind("PUBLISHFTP|", 0) == 0) {
      sLine = sText.substr(nStart, nEnd - nStart);
      if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    }
    nStart = nEnd + 1;
    ++nLineNo;
    if (sLine.empty()) continue;
    const std::vector<std::string> saFields = SplitFields(sLine);
    const auto it = Readers().find(saFields[0]);
    const bool bUsed = saFields.size() >= 2 && it != Readers().end() &&
                       it->second(saFields, sLine, sLine.substr(saFields[0].size() + 1), settings);
    if (!bUsed) {
      std::string sKey = saFields[0].substr(0, 40);
      report.saIgnored.push_back("line " + std::to_string(nLineNo) + " (" + OneLine(sKey) + ")");
    }
  }
  return report;
}

std::string CConfigFile::SetPrinterConfig(const std::string& sKey, const stPrinterSetup& setup) {
  const std::string sName = OneLine(setup.sPrinter);
  return sKey + "|1|" + Int(setup.nPauseAfterPage) + "|" + Int(setup.nDelaySeconds) + "|0|" + sName +
         "|" + sName + "|PrinterPort|0|0\n";
}

bool CConfigFile::GetPrinterConfig(const std::vector<std::string>& saFields, stPrinterSetup& setup) {
  if (saFields.size() < 6) return false;
  stPrinterSetup read = setup;
  if (!ReadInt(saFields[2], 0, 1, read.nPauseAfterPage) ||
      !ReadInt(saFields[3], 0, 86400, read.nDelaySeconds))
    return false;
  read.sPrinter = saFields[5];
  setup = read;
  return true;
}

std::string CConfigFile::SetMaillistConfig(const std::string& sKey, const stMailList& m) {
  std::string s = sKey + "|" + OneLine(m.sFontFace) + "|" + Int(m.nSize) + "|" + Fixed(m.fScale, 4);
  for (unsigned char c : m.cStyle) s += "|" + Int(c);
  s += "|" + Int(m.cTopLines) + "|" + Fixed(m.fLeftMargin, 3) + "|" + Int(m.cColumns) + "|" +
       Int(m.cRows) + "|" + Int(m.cLinesPerRow) + "|" + Fixed(m.fColumnSpacing, 3) + "|" +
       Int(m.nLinesBeforeAddress) + "|" + Fixed(m.fAddressIndent, 2) + "|" +
       Int(m.nPrintReturnAddress) + "\n";
  return s;
}

bool CConfigFile::GetMaillistConfig(const std::vector<std::string>& f, stMailList& m) {
  if (f.size() < 2) return false;
  // A missing field keeps the layout's default; so does a value that is no
  // number (and the line counts as not fully read); a number out of its
  // range is brought into it.
  const stMailList def;
  stMailList read;
  read.sFontFace = f[1];
  bool bOk = true;
  auto whole = [&](size_t i, auto& field, auto fallback) {
    if (i < f.size() && !ReadClamped(f[i], field)) field = fallback, bOk = false;
  };
  auto real = [&](size_t i, double& field, double fallback) {
    double d = 0.0;
    if (i >= f.size()) return;
    if (ParseDouble(f[i], d) && std::isfinite(d)) field = d;
    else field = fallback, bOk = false;
  };
  whole(2, read.nSize, def.nSize);
  real(3, read.fScale, def.fScale);
  for (int i = 0; i < 4; ++i) whole(4 + i, read.cStyle[i], def.cStyle[i]);
  whole(8, read.cTopLines, def.cTopLines);
  real(9, read.fLeftMargin, def.fLeftMargin);
  whole(10, read.cColumns, def.cColumns);
  whole(11, read.cRows, def.cRows);
  whole(12, read.cLinesPerRow, def.cLinesPerRow);
  real(13, read.fColumnSpacing, def.fColumnSpacing);
  whole(14, read.nLinesBeforeAddress, def.nLinesBeforeAddress);
  real(15, read.fAddressIndent, def.fAddressIndent);
  whole(16, read.nPrintReturnAddress, def.nPrintReturnAddress);
  ClampMaillist(read);
  m = read;
  return bOk;
}

void CConfigFile::ClampMaillist(stMailList& m) {
  if (m.sFontFace.size() > kMaxFaceBytes) {
    size_t n = kMaxFaceBytes;
    while (n > 0 && IsUtf8Continuation(static_cast<unsigned char>(m.sFontFace[n]))) --n;
    m.sFontFace.resize(n);
  }
  m.nSize = std::clamp(m.nSize, 10, 10000);
  m.fScale = std::isfinite(m.fScale) ? std::clamp(m.fScale, 0.1, 10.0) : 1.0;
  for (int i = 1; i < 4; ++i) m.cStyle[i] = m.cStyle[i] ? 1 : 0;  // bold, italic, underline
  m.cTopLines = std::min<unsigned char>(m.cTopLines, kMaxLayoutCount);
  m.cColumns = std::clamp<unsigned char>(m.cColumns, 1, kMaxLayoutCount);
  m.cRows = std::min<unsigned char>(m.cRows, kMaxLayoutCount);
  m.cLinesPerRow = std::clamp<unsigned char>(m.cLinesPerRow, 1, kMaxLinesPerRow);
  m.nLinesBeforeAddress = std::clamp(m.nLinesBeforeAddress, 0, int(kMaxLayoutCount));
  m.nPrintReturnAddress = m.nPrintReturnAddress ? 1 : 0;
  for (double* p : {&m.fLeftMargin, &m.fColumnSpacing, &m.fAddressIndent})
    *p = std::isfinite(*p) ? std::clamp(*p, 0.0, kMaxLayoutInches) : 0.0;
}

std::string CConfigFile::Format(const stAppSettings& s) {
  std::string t;
  auto line = [&t](const std::string& sKey, const std::string& sValue) {
    t += sKey + "|" + OneLine(sValue) + "\n";
  };
  auto lineIfSet = [&line](const std::string& sKey, const std::string& sValue) {
    if (!sValue.empty()) line(sKey, sValue);
  };
  lineIfSet("LAST", s.sCurrentRoot);
  lineIfSet("PREV", s.sPrev);
  lineIfSet("BACKUP", s.sBackup);
  line("DIAGNOSTIC", Int(s.nDiagnostic));
  lineIfSet("IPADDRESS_LANSVR", s.sLanServerAddress);
  lineIfSet("PORT_LANSVR", s.sLanServerPort);
  const std::pair<const char*, const stPrinterSetup*> printers[] = {
      {"PRINTERVIEW", &s.printerView},
      {"PRINTERMAILLIST", &s.printerMailList},
      {"PRINTERMAILLABELS", &s.printerMailLabels},
      {"PRINTERENVELOPES", &s.printerEnvelopes}};
  for (const auto& [pKey, pSetup] : printers)
    if (!pSetup->sPrinter.empty()) t += SetPrinterConfig(pKey, *pSetup);
  if (!s.sLabelPrinterLine.empty()) t += OneLine(s.sLabelPrinterLine) + "\n";
  if (!s.sLabelPrinterLayoutLine.empty()) t += OneLine(s.sLabelPrinterLayoutLine) + "\n";
  const std::pair<const char*, const stMailList*> layouts[] = {
      {"PHONELIST", &s.phoneList}, {"MAILLABELS", &s.mailLabels}, {"ENVELOPES", &s.envelopes}};
  for (const auto& [pKey, pLayout] : layouts)
    if (!pLayout->sFontFace.empty()) t += SetMaillistConfig(pKey, *pLayout);
  if (!s.saReturnAddress.empty()) {
    std::string sJoined;
    for (size_t i = 0; i < s.saReturnAddress.size(); ++i)
      sJoined += (i ? "|" : "") + OneLine(s.saReturnAddress[i]);
    line("RETURNADDRESS", sJoined);
  }
  lineIfSet("NOTESSTRING", s.sNotesString);
  line("EMAILCHECKENABLE", Int(s.nEmailCheckEnable));
  line("EMAILCHECKINTERVAL", Int(s.nEmailCheckInterval));
  for (const auto& sAccount : s.saEmailAccounts) line("EMAILCHECKSTRING", sAccount);
  line("VIEW", Int(s.nView));
  line("ALARM", Int(s.nAlarmOn) + "|" + Fixed(s.dQuickAlarm, 6));
  if (s.nAlertMinutes > 0) line("ALERT", Int(s.nAlertMinutes));
  if (s.bPopup)
    line("POPUP", Int(s.nPopupHour) + "|" + Int(s.nPopupMinute) + "|" + Fixed(s.dLastPopup, 6));
  line("NETWORK_DISABLE", Int(s.nNetworkDisable));
  line("SHOW", s.bShowMaximized ? "SW_SHOWMAXIMIZED" : "SW_SHOWNORMAL");
  // Keys older copies skip; written last so their reading is unchanged.
  if (!s.phoneDevice.sPath.empty())
    line("PHONEDEVICE", s.phoneDevice.sPath + "|" + Int(s.phoneDevice.nBaud) + "|" + s.phoneDevice.sInit);
  if (s.publishAccount.IsSet()) {
    const stFtpAccount& a = s.publishAccount;
    line("PUBLISHFTP", a.sServer + "|" + a.sUser + "|" + a.sFolder + "|" + a.sPassword);
  }
  return t;
}

CConfigFile::stReadReport CConfigFile::ReadFile(const std::string& sPath, stAppSettings& settings) {
  std::string sText;
  if (!ReadWholeFile(sPath, sText)) {
    stReadReport report;
    report.bFound = FileExists(sPath);
    report.bReadError = report.bFound;
    return report;
  }
  return Parse(sText, settings);
}

bool CConfigFile::WriteFile(const std::string& sPath, const stAppSettings& settings) {
  return WriteFileAtomic(sPath, Format(settings), 0600);
}

std::string CConfigFile::JoinNotes(const std::vector<std::string>& saFields) {
  std::string sOut;
  for (size_t i = 0; i < saFields.size(); ++i) {
    if (i) sOut += kNotesSeparator;
    const std::string& s = saFields[i];
    for (size_t j = 0; j < s.size(); ++j) {
      if (s[j] == '\r') {
        if (j + 1 < s.size() && s[j + 1] == '\n') ++j;
        sOut += '`';
      } else if (s[j] == '\n') {
        sOut += '`';
      } else {
        sOut += s[j];
      }
    }
  }
  return sOut;
}

std::vector<std::string> CConfigFile::SplitNotes(const std::string& sNotes) {
  // A 0xDE byte followed by a UTF-8 continuation byte is part of a character;
  // any other 0xDE separates two fields.
  std::vector<std::string> sa(1);
  for (size_t i = 0; i < sNotes.size(); ++i) {
    const char c = sNotes[i];
    const bool bSeparator =
        c == kNotesSeparator &&
        !(i + 1 < sNotes.size() && IsUtf8Continuation(static_cast<unsigned char>(sNotes[i + 1])));
    if (bSeparator && sa.size() < 4)
      sa.emplace_back();
    else if (c == '`')
      sa.back() += '\n';
    else
      sa.back() += c;
  }
  sa.resize(4);
  return sa;
}
