#include "comms/CTapiConnection.h"

#include <cctype>
#include <chrono>
#include <vector>

#include "comms/ModemDevice.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

namespace {

// The modem's answers; both the word forms and the digit forms (V0) map here.
enum eModemReply : int {
  REPLY_NONE = 0,  // not an answer: echo, empty line, unknown text
  REPLY_OK,
  REPLY_CONNECT,
  REPLY_RING,
  REPLY_NO_CARRIER,
  REPLY_ERROR,
  REPLY_NO_DIALTONE,
  REPLY_BUSY,
  REPLY_NO_ANSWER,
  REPLY_DELAYED,
  REPLY_BLACKLISTED,
};

// A line longer than this is no modem answer; what has no line end by then
// is dropped, so a chattering device cannot grow the buffer.
constexpr size_t kMaxLine = 256;
// The moment given to a last "ATH" when the dialer goes away mid-call.
constexpr int kLastHangupMs = 300;

eModemReply ParseReply(const std::string& sLine) {
  static const std::pair<const char*, eModemReply> kWords[] = {
      {"OK", REPLY_OK},
      {"RING", REPLY_RING},
      {"NO CARRIER", REPLY_NO_CARRIER},
      {"ERROR", REPLY_ERROR},
      {"NO DIALTONE", REPLY_NO_DIALTONE},
      {"NO DIAL TONE", REPLY_NO_DIALTONE},
      {"BUSY", REPLY_BUSY},
      {"NO ANSWER", REPLY_NO_ANSWER},
      {"DELAYED", REPLY_DELAYED},
      {"BLACKLISTED", REPLY_BLACKLISTED},
  };
  // The digit answers of the basic set: 0 OK, 1 CONNECT, 2 RING, 3 NO
  // CARRIER, 4 ERROR, 5 CONNECT 1200, 6 NO DIALTONE, 7 BUSY, 8 NO ANSWER.
  static const eModemReply kDigits[] = {REPLY_OK,          REPLY_CONNECT, REPLY_RING,
                                        REPLY_NO_CARRIER,  REPLY_ERROR,   REPLY_CONNECT,
                                        REPLY_NO_DIALTONE, REPLY_BUSY,    REPLY_NO_ANSWER};
  const std::string s = ToUpper(Trim(sLine));
  if (s.size() == 1 && s[0] >= '0' && s[0] <= '8') return kDigits[s[0] - '0'];
  // The modem repeating a command (echo still on) is no answer.
  if (s.rfind("AT", 0) == 0) return REPLY_NONE;
  if (s.rfind("CONNECT", 0) == 0) return REPLY_CONNECT;
  for (const auto& [pWord, reply] : kWords)
    if (s == pWord) return reply;
  return REPLY_NONE;
}

// Whether the text holds a whole line with a final answer.
bool HasFinalReply(const std::string& sText) {
  std::vector<std::string> saLines;
  ParseString(sText, "\r\n", saLines);
  const bool bWhole = !sText.empty() && (sText.back() == '\r' || sText.back() == '\n');
  for (size_t i = 0; i < saLines.size(); ++i) {
    const eModemReply reply = ParseReply(saLines[i]);
    if ((i + 1 < saLines.size() || bWhole) && reply != REPLY_NONE && reply != REPLY_RING) return true;
  }
  return false;
}

// The extra command as the modem may receive it: up to the first
// character that is not printable, so it cannot end the command early and
// smuggle a second one in.
std::string CleanCommand(const std::string& sInit) {
  std::string s;
  for (char c : sInit) {
    if (c < ' ' || c > '~') break;
    s += c;
  }
  s = Trim(s);
  if (!s.empty() && ToUpper(s.substr(0, 2)) != "AT") s = "AT" + s;
  return s;
}

}  // namespace

CTapiConnection::CTapiConnection(CDialerEvents& events, int nTimeoutMs, stModemTimings timings)
    : m_events(events), m_timings(timings), m_nTimeoutMs(nTimeoutMs > 0 ? nTimeoutMs : 0) {}

CTapiConnection::~CTapiConnection() {
  if (!m_port.IsOpen()) return;
  if (m_bDialSent && m_step != STEP_HANGUP && m_port.Write("ATH\r", kLastHangupMs)) {
    // A moment for the modem to take the command and answer it; the close
    // drops DTR in any case.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLastHangupMs);
    std::string sAnswer;
    while (m_port.WaitReadable(end) && m_port.ReadAvailable(sAnswer) && !HasFinalReply(sAnswer)) {
    }
  }
  m_port.Close(kLastHangupMs);
}

void CTapiConnection::DisplayStatus(const std::string& sText) {
  size_t n = sText.size();
  while (n > 0 && std::isspace(static_cast<unsigned char>(sText[n - 1]))) --n;
  m_events.DisplayStatus(sText.substr(0, n));
}

bool CTapiConnection::Create(const stPhoneDevice& device) {
  if (device.sPath.empty()) {
    m_step = STEP_DONE;
    ShowMessage("There are no telephony devices installed.", "PhoneDialer");
    return false;
  }
  m_device = device;
  DisplayStatus("Tapi initialized.");
  return true;
}

void CTapiConnection::DialCall(const std::string& sNumber) {
  if (m_bCallInProgress) {
    DisplayStatus("A call is already being handled.");
    return;
  }
  if (m_step != STEP_IDLE || m_device.sPath.empty()) return;
  m_bCallInProgress = true;
  m_sNumber = sNumber;
  m_events.ShowButtons(false, true);
  DisplayStatus("Name of device is: " + m_device.sPath);
  if (!OpenLine()) return;
  m_events.WatchPort(m_port.Fd());
  SendCommand("AT", STEP_PROBE, m_timings.nCommandMs);
}

bool CTapiConnection::OpenLine() {
  const stModemOpen opened = m_port.Open(m_device.sPath, m_device.nBaud, ModemLockFolder());
  if (opened.result == MODEM_OPEN_OK) return true;
  PrintDiagn("Modem %s not opened: %s", m_device.sPath.c_str(), opened.sMessage.c_str());
  if (opened.result == MODEM_OPEN_IN_USE)
    DisplayStatus("Line is already in use by a non-TAPI application or by another TAPI Service Provider.");
  DisplayStatus(opened.sMessage);
  if (opened.result != MODEM_OPEN_IN_USE) DisplayStatus("Unable to Use Line");
  HangupCall();
  return false;
}

void CTapiConnection::SendCommand(const std::string& sCommand, eStep step, int nWaitMs) {
  PrintDiagn("Modem %s <- %s", m_device.sPath.c_str(), sCommand.c_str());
  m_step = step;
  if (!m_port.Write(sCommand + "\r", m_timings.nCommandMs)) {
    DisplayStatus("The TAPI operation failed.");
    // The port takes no bytes: "ATH" would not get through either.
    m_bDialSent = false;
    HangupCall();
    return;
  }
  m_events.StartTimer(TIMER_MODEM, nWaitMs);
}

void CTapiConnection::NextSetUpStep() {
  const std::string sInit = CleanCommand(m_device.sInit);
  if (m_step == STEP_PROBE && !sInit.empty())
    SendCommand(sInit, STEP_USER_INIT, m_timings.nCommandMs);
  else if (m_step == STEP_PROBE || m_step == STEP_USER_INIT)
    SendCommand("ATE0V1X4", STEP_INIT, m_timings.nCommandMs);
  else
    MakeTheCall();
}

void CTapiConnection::MakeTheCall() {
  m_bDialSent = true;
  SendCommand("ATDT" + m_sNumber + ";", STEP_DIAL, m_nTimeoutMs > 0 ? m_nTimeoutMs : m_timings.nDialMs);
  if (m_step == STEP_DIAL) DisplayStatus("Dialing " + m_sNumber);
}

void CTapiConnection::OnPortReadable() {
  if (!m_port.IsOpen()) return;
  if (!m_port.ReadAvailable(m_sInput)) {
    // The device went away (unplugged, or the far end of the line closed).
    PrintDiagn("Modem %s: the line went away", m_device.sPath.c_str());
    DisplayStatus("Line idle");
    m_bStopping = true;
    ShutdownTAPI(false);
    return;
  }
  for (;;) {
    const size_t nEnd = m_sInput.find_first_of("\r\n");
    if (nEnd == std::string::npos) break;
    const std::string sLine = m_sInput.substr(0, nEnd);
    m_sInput.erase(0, nEnd + 1);
    if (Trim(sLine).empty()) continue;
    PrintDiagn("Modem %s -> %s", m_device.sPath.c_str(), sLine.c_str());
    HandleReply(ParseReply(sLine));
    if (IsFinished()) return;
  }
  if (m_sInput.size() > kMaxLine) m_sInput.clear();
}

void CTapiConnection::HandleReply(int nReply) {
  if (nReply == REPLY_NONE || nReply == REPLY_RING) return;
  switch (m_step) {
    case STEP_PROBE:
    case STEP_USER_INIT:
    case STEP_INIT:
      m_events.StopTimer(TIMER_MODEM);
      if (nReply == REPLY_OK) {
        NextSetUpStep();
      } else {
        DisplayStatus("LINE_REPLY error");
        HangupCall();
      }
      break;
    case STEP_DIAL:
    case STEP_CONNECTED: HandleLineCallState(nReply); break;
    case STEP_HANGUP:
      // Any final answer ends the hang-up: a modem still dialling answers
      // the interruption with "NO CARRIER" rather than "OK".
      m_events.StopTimer(TIMER_MODEM);
      ShutdownTAPI(true);
      break;
    default: break;
  }
}

void CTapiConnection::HandleLineCallState(int nReply) {
  const char* pDisconnect = nullptr;
  switch (nReply) {
    case REPLY_OK:
    case REPLY_CONNECT:
      if (m_step == STEP_CONNECTED) return;
      // The modem finished dialling and is back in command mode with the
      // line off-hook: the call stands until the user hangs up.
      m_events.StopTimer(TIMER_MODEM);
      m_step = STEP_CONNECTED;
      DisplayStatus("LINE_REPLY: successfully replied.");
      DisplayStatus("lineMakeCall succeeded.");
      m_bConnected = true;
      DisplayStatus("Connected!");
      return;
    case REPLY_BUSY: pDisconnect = "Line busy, shutting down"; break;
    case REPLY_NO_DIALTONE: pDisconnect = "Disconnected: No Dial Tone"; break;
    case REPLY_NO_ANSWER: pDisconnect = "Disconnected: No Answer"; break;
    case REPLY_NO_CARRIER: pDisconnect = "Disconnected: Unknown reason"; break;
    case REPLY_DELAYED:
    case REPLY_BLACKLISTED: pDisconnect = "Special Info, probably couldn't dial number"; break;
    case REPLY_ERROR:
      DisplayStatus("LINE_REPLY error");
      pDisconnect = m_step == STEP_DIAL ? "lineMakeCall failed." : nullptr;
      break;
    default: return;
  }
  if (pDisconnect) DisplayStatus(pDisconnect);
  HangupCall();
}

void CTapiConnection::OnTimer() {
  switch (m_step) {
    case STEP_PROBE:
    case STEP_USER_INIT:
    case STEP_INIT:
      // The device does not talk like a modem.
      DisplayStatus("Error on Requested line");
      HangupCall();
      break;
    case STEP_DIAL:
      DisplayStatus("Timeout call in progress");
      m_bTimedOut = true;
      HangupCall();
      break;
    case STEP_HANGUP:
      // No answer to "ATH": closing the port drops DTR, which hangs up too.
      ShutdownTAPI(false);
      break;
    default: break;
  }
}

void CTapiConnection::HangupCall() {
  if (m_bStopping) {
    PrintDiagn("HangupCall: a stop is in progress");
    return;
  }
  m_bStopping = true;
  m_events.StopTimer(TIMER_MODEM);
  if (m_bDialSent && m_port.IsOpen()) {
    PrintDiagn("Modem %s <- ATH", m_device.sPath.c_str());
    if (m_port.Write("ATH\r", m_timings.nCommandMs)) {
      m_step = STEP_HANGUP;
      m_events.StartTimer(TIMER_MODEM, m_timings.nHangupMs);
      return;
    }
  }
  ShutdownTAPI(false);
}

void CTapiConnection::ShutdownTAPI(bool bDropped) {
  if (bDropped) DisplayStatus("Call Dropped.");
  if (m_bDialSent) DisplayStatus("Call Deallocated.");
  if (m_port.IsOpen()) {
    m_events.StopTimer(TIMER_MODEM);
    m_events.WatchPort(-1);
    m_port.Close();
    DisplayStatus("Line Closed.");
  }
  DisplayStatus("Call stopped");
  m_step = STEP_DONE;
  m_bCallInProgress = false;
  m_bConnected = false;
}
