#include "comms/CPop3Connection.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "network/NetworkHelpers.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

namespace {

constexpr size_t kMaxKeptResponse = 1024;  // of a failed reply, for the user and the trace

bool IsOk(std::string_view sLine) { return sLine.size() >= 3 && EqualsNoCase(sLine.substr(0, 3), "+OK"); }

// The next number of a reply line; false when there is none or it does not
// fit the range.
bool NextNumber(std::string_view& s, long long nMax, long long& nOut) {
  const size_t nStart = s.find_first_not_of(' ');
  if (nStart == std::string_view::npos) return false;
  s.remove_prefix(nStart);
  unsigned long long n = 0;
  const auto [pEnd, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (ec != std::errc() || pEnd == s.data() || n > (unsigned long long)nMax) return false;
  if (pEnd != s.data() + s.size() && *pEnd != ' ') return false;
  s.remove_prefix(size_t(pEnd - s.data()));
  nOut = (long long)n;
  return true;
}

// Calls fn for every data line of a multi-line reply, without its CR LF.
template <typename Fn>
void ForEachLine(const std::string& sData, Fn fn) {
  size_t i = 0;
  while (i < sData.size()) {
    const size_t nEnd = sData.find("\r\n", i);
    fn(std::string_view(sData).substr(i, nEnd == std::string::npos ? std::string::npos : nEnd - i));
    if (nEnd == std::string::npos) break;
    i = nEnd + 2;
  }
}

// A line that begins with a dot lost that dot to the transfer; the text is
// compacted in place, so a large message is never copied.
void Unstuff(std::string& s) {
  size_t nTo = 0;
  char cPrevious = 0, cBeforePrevious = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool bLineStart = i == 0 || (cPrevious == '\n' && cBeforePrevious == '\r');
    cBeforePrevious = cPrevious;
    cPrevious = c;
    if (bLineStart && c == '.') continue;
    s[nTo++] = c;
  }
  s.resize(nTo);
}

std::string TraceText(std::string_view s) {
  std::string t(s.substr(0, 200));
  for (char& c : t)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return t;
}

bool HasLineBreakOrNul(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

}  // namespace

void CPop3Connection::ClearState() {
  m_bConnected = false;
  m_nNumberMail = 0;
  m_nTotalSize = 0;
  m_bStatRead = m_bListRead = m_bUidlRead = false;
  m_naSizes.clear();
  m_saMsgIds.clear();
}

bool CPop3Connection::Failed(int nCode, const std::string& sReceived) {
  m_nLastError = nCode;
  // A refusal is the server's own line; any other failure says what went
  // wrong, then what had arrived.
  std::string sText;
  if (nCode != POP3_ERR_PROTOCOL || sReceived.empty())
    sText = nCode == m_socket.LastError() ? m_socket.LastErrorText() : WsaErrorText(nCode);
  if (!sReceived.empty())
    sText += (sText.empty() ? "" : ", received: ") + sReceived.substr(0, kMaxKeptResponse);
  m_sLastCommandResponse = sText;
  KTRACE("POP3 failed, error %i: %s\n", nCode, TraceText(m_sLastCommandResponse).c_str());
  return false;
}

bool CPop3Connection::Abandon(int nCode, const std::string& sReceived) {
  Failed(nCode, sReceived);
  // A closed, stopped or half-secured connection gets no more words.
  if (m_socket.IsOpen() && nCode != POP3_ERR_CLOSED && nCode != POP3_ERR_STOPPED &&
      nCode != POP3_ERR_TLS)
    m_socket.Send("QUIT\r\n");
  m_socket.Close();
  ClearState();
  return false;
}

bool CPop3Connection::ReadStatusLine(std::string& sIn, size_t& nLineEnd) {
  size_t nSearch = 0;
  for (;;) {
    nLineEnd = sIn.find("\r\n", nSearch);
    if (nLineEnd != std::string::npos) return true;
    if (sIn.size() >= kPop3MaxStatusLine) return Abandon(POP3_ERR_OVERSIZE, sIn);
    nSearch = sIn.empty() ? 0 : sIn.size() - 1;
    if (!m_socket.Receive(sIn, kPop3MaxStatusLine - sIn.size()))
      return Abandon(m_socket.LastError(), sIn);
  }
}

bool CPop3Connection::ReadReply(bool bMultiLine, size_t nReserve, size_t nCap,
                                std::string* pData) {
  std::string sIn;
  sIn.reserve(std::min(nReserve, kPop3MaxReserve));
  size_t nLineEnd = 0;
  if (!ReadStatusLine(sIn, nLineEnd)) return false;
  KTRACE("POP3 << %s\n", TraceText(std::string_view(sIn).substr(0, nLineEnd)).c_str());
  const bool bOk = IsOk(sIn);
  // A failure has no data lines, whatever the command.
  if (!bOk || !bMultiLine) {
    if (sIn.size() > nLineEnd + 2) return Abandon(POP3_ERR_PROTOCOL, sIn);
    if (!bOk) return Failed(POP3_ERR_PROTOCOL, sIn.substr(0, nLineEnd));
    if (pData) pData->assign(sIn, 0, nLineEnd);
    return true;
  }
  // The terminator is a line holding only a dot; an empty list is the status
  // line's own CR LF followed by ".\r\n".
  size_t nSearch = nLineEnd;
  size_t nEnd;
  while ((nEnd = sIn.find("\r\n.\r\n", nSearch)) == std::string::npos) {
    if (sIn.size() >= nCap) return Abandon(POP3_ERR_OVERSIZE, sIn.substr(0, nLineEnd));
    nSearch = std::max(nLineEnd, sIn.size() < 4 ? 0 : sIn.size() - 4);
    if (!m_socket.Receive(sIn, nCap - sIn.size()))
      return Abandon(m_socket.LastError(), sIn.substr(0, nLineEnd));
  }
  // Bytes after the terminator answer nothing we asked: the stream is out of step.
  const bool bInStep = sIn.size() == nEnd + 5;
  if (pData) {
    sIn.resize(nEnd + 2);
    sIn.erase(0, nLineEnd + 2);
    Unstuff(sIn);
    *pData = std::move(sIn);
  }
  if (!bInStep) Abandon(POP3_ERR_PROTOCOL, "unexpected data after the reply");
  return true;
}

bool CPop3Connection::Command(const std::string& sCommand, bool bMultiLine, size_t nReserve,
                              size_t nCap, std::string* pData) {
  if (!m_socket.IsOpen()) return Failed(10057, "");
  KTRACE("POP3 >> %s\n", sCommand.rfind("PASS ", 0) == 0 ? "PASS ****" : sCommand.c_str());
  if (!m_socket.Send(sCommand + "\r\n")) return Abandon(m_socket.LastError(), "");
  return ReadReply(bMultiLine, nReserve, nCap, pData);
}

bool CPop3Connection::StartTls(const std::string& sServer) {
  if (m_socket.StartTls(sServer, m_sCaFile)) return true;
  return Abandon(m_socket.LastError(), "");
}

int CPop3Connection::Connect(const std::string& sServer, const std::string& sUser,
                             const std::string& sPassword, int nPort) {
  m_socket.Close();
  ClearState();
  m_sLastCommandResponse.clear();
  m_nLastError = 0;
  // A line break would let the user name or password smuggle in a command.
  if (HasLineBreakOrNul(sUser) || HasLineBreakOrNul(sPassword)) {
    Failed(10022, "The user name or password holds a line break.");
    return 0;
  }
  if (nPort < 1 || nPort > 65535) {
    Failed(10022, "");
    return 0;
  }
  KTRACE("POP3 connect to %s port %i at %s\n", sServer.c_str(), nPort, TraceTime().c_str());
  if (!m_socket.Connect(sServer, uint16_t(nPort), m_limits)) {
    Failed(m_socket.LastError(), "");
    return 0;
  }
  const bool bTls = nPort == m_nTlsPort;
  if ((bTls && !StartTls(sServer)) || !ReadReply(false, 1000, 0, nullptr)) {
    m_socket.Close();
    return 0;
  }
  if (!bTls) {
    // STLS when the server offers it; plain text only when it offers nothing else.
    std::string sCapabilities;
    bool bStls = false;
    if (Command("CAPA", true, 1000, kPop3MaxListReply, &sCapabilities))
      ForEachLine(sCapabilities, [&](std::string_view s) { bStls |= EqualsNoCase(Trim(s), "STLS"); });
    if (!m_socket.IsOpen()) return 0;
    if (bStls && (!Command("STLS") || !StartTls(sServer))) {
      m_socket.Close();
      return 0;
    }
  }
  if (!Command("USER " + sUser) || !Command("PASS " + sPassword)) {
    const std::string sResponse = m_sLastCommandResponse;
    const int nError = m_nLastError;
    Disconnect();
    m_sLastCommandResponse = sResponse;
    m_nLastError = nError;
    return 0;
  }
  m_bConnected = true;
  return 1;
}

int CPop3Connection::Disconnect() {
  bool bGood = false;
  if (m_socket.IsOpen()) bGood = Command("QUIT");
  m_socket.Close();
  ClearState();
  return bGood ? 1 : 0;
}

int CPop3Connection::Noop() { return m_bConnected && Command("NOOP") ? 1 : 0; }
int CPop3Connection::Reset() { return m_bConnected && Command("RSET") ? 1 : 0; }

int CPop3Connection::Statistics(int& nCount, long long& nSize) {
  std::string sLine;
  if (!m_bConnected || !Command("STAT", false, 100, 0, &sLine)) return 0;
  std::string_view s = std::string_view(sLine).substr(3);
  long long nMessages = 0, nBytes = 0;
  if (!NextNumber(s, INT_MAX, nMessages) || !NextNumber(s, LLONG_MAX, nBytes)) {
    Failed(POP3_ERR_PROTOCOL, sLine);
    return 0;
  }
  m_nNumberMail = nCount = int(nMessages);
  m_nTotalSize = nSize = nBytes;
  m_bStatRead = true;
  return 1;
}

bool CPop3Connection::ValidNumber(int n) { return n >= 1 && n <= m_nNumberMail; }

int CPop3Connection::List() {
  int nCount = 0;
  long long nSize = 0;
  if (!m_bConnected || (!m_bStatRead && !Statistics(nCount, nSize))) return 0;
  std::string sData;
  const size_t nReserve = 14 * size_t(m_nNumberMail) + 100;
  if (!Command("LIST", true, nReserve, kPop3MaxListReply, &sData)) return 0;
  m_naSizes.clear();
  // Lines that do not parse or name a message outside 1..count are ignored.
  ForEachLine(sData, [&](std::string_view s) {
    long long n = 0, nBytes = 0;
    if (NextNumber(s, INT_MAX, n) && NextNumber(s, UINT32_MAX, nBytes) && ValidNumber(int(n)))
      m_naSizes.emplace(int(n), uint32_t(nBytes));
  });
  m_bListRead = true;
  return 1;
}

int CPop3Connection::UIDL() {
  int nCount = 0;
  long long nSize = 0;
  if (!m_bConnected || (!m_bStatRead && !Statistics(nCount, nSize))) return 0;
  std::string sData;
  const size_t nReserve = 14 * size_t(m_nNumberMail) + 100;
  if (!Command("UIDL", true, nReserve, kPop3MaxListReply, &sData)) return 0;
  m_saMsgIds.clear();
  ForEachLine(sData, [&](std::string_view s) {
    long long n = 0;
    if (!NextNumber(s, INT_MAX, n) || !ValidNumber(int(n))) return;
    const std::string sId = Trim(s);
    // An ID is 1 to 70 printable characters.
    const bool bPrintable = std::all_of(sId.begin(), sId.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (!sId.empty() && sId.size() <= 70 && bPrintable) m_saMsgIds.emplace(int(n), sId);
  });
  m_bUidlRead = true;
  return 1;
}

bool CPop3Connection::EnsureList() { return m_bConnected && (m_bListRead || List()); }

int CPop3Connection::GetMessageSize(int n, uint32_t& nSize) {
  if (!EnsureList() || !ValidNumber(n)) return 0;
  const auto it = m_naSizes.find(n);
  if (it == m_naSizes.end()) return 0;
  nSize = it->second;
  return 1;
}

int CPop3Connection::GetMessageID(int n, std::string& sId) {
  if (!m_bConnected || (!m_bUidlRead && !UIDL()) || !ValidNumber(n)) return 0;
  const auto it = m_saMsgIds.find(n);
  if (it == m_saMsgIds.end()) return 0;
  sId = it->second;
  return 1;
}

int CPop3Connection::FindMessageByID(const std::string& sId) {
  if (!m_bConnected || (!m_bUidlRead && !UIDL())) return 0;
  for (const auto& [n, s] : m_saMsgIds)
    if (s == sId) return n;
  return 0;
}

int CPop3Connection::ReadMessage(const char* pCommand, int n, CPop3Message& message) {
  if (!EnsureList() || !ValidNumber(n)) return 0;
  const auto it = m_naSizes.find(n);
  const size_t nReserve = (it == m_naSizes.end() ? 0 : size_t(it->second)) + 100;
  std::string sText;
  if (!Command(StrFormat(pCommand, n), true, nReserve, kPop3MaxMessage, &sText)) return 0;
  message.SetText(std::move(sText));
  return 1;
}

int CPop3Connection::Retrieve(int n, CPop3Message& message) {
  return ReadMessage("RETR %d", n, message);
}

int CPop3Connection::GetMessageHeader(int n, CPop3Message& message) {
  return ReadMessage("TOP %d 0", n, message);
}

int CPop3Connection::Delete(int n) {
  if (!EnsureList() || !ValidNumber(n)) return 0;
  return Command(StrFormat("DELE %d", n)) ? 1 : 0;
}
