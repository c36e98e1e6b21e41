#pragma once
// One call attempt on a Hayes-compatible voice modem. The connection opens
// and locks the port, wakes the modem with "AT", sends the configured extra
// command and "ATE0V1X4" (no echo, word answers, busy and dial-tone
// detection; digit answers are understood as well), dials "ATDT<number>;"
// (the ";" keeps the modem in command mode: a voice call, no carrier), and
// turns the modem's answers into the call states the dialer shows. Hang-up
// is "ATH". Nothing here waits: every step writes its command, starts the
// modem timer and returns; the answer or the time-out arrives through
// OnPortReadable and OnTimer. Every step has a time limit, and a time-out
// of 0 means the dial's own limit, never "for ever".

#include <string>

#include "comms/CDialerEvents.h"
#include "comms/CModemPort.h"
#include "support/CConfigFile.h"

// The time limits of the modem talk, in milliseconds.
struct stModemTimings {
  int nCommandMs = 5000;  // each set-up command
  int nDialMs = 60000;    // the dial when the dialer sets no time-out
  int nHangupMs = 5000;   // "ATH"
};

class CTapiConnection {
 public:
  // nTimeoutMs: how long the dial may go without an answer before the
  // attempt counts as timed out (0: the dial limit of the timings).
  CTapiConnection(CDialerEvents& events, int nTimeoutMs, stModemTimings timings = {});
  // Still on the line: sends "ATH", gives it a moment to leave and closes
  // the port (which drops DTR). Calls nothing on the events: the owner
  // stops the port reports and the modem timer first.
  ~CTapiConnection();
  CTapiConnection(const CTapiConnection&) = delete;
  CTapiConnection& operator=(const CTapiConnection&) = delete;

  // Takes the device; with none, shows "There are no telephony devices
  // installed." and returns false (the attempt is then finished).
  bool Create(const stPhoneDevice& device);
  // Starts the call on a cleaned number (GetPhoneNumberToDial); returns at
  // once.
  void DialCall(const std::string& sNumber);
  // Starts the hang-up; the attempt is finished when the modem answered
  // "ATH" or its time ran out.
  void HangupCall();
  // Appends the text, trailing white space removed, to the status.
  void DisplayStatus(const std::string& sText);

  void OnPortReadable();
  void OnTimer();

  // Over: the port is closed and nothing more will be reported.
  bool IsFinished() const { return m_step == STEP_DONE; }
  bool TimedOut() const { return m_bTimedOut; }
  bool IsConnected() const { return m_bConnected; }
  bool IsCallInProgress() const { return m_bCallInProgress; }

 private:
  enum eStep {
    STEP_IDLE,
    STEP_PROBE,
    STEP_USER_INIT,
    STEP_INIT,
    STEP_DIAL,
    STEP_CONNECTED,
    STEP_HANGUP,
    STEP_DONE
  };

  bool OpenLine();
  void SendCommand(const std::string& sCommand, eStep step, int nWaitMs);
  void NextSetUpStep();
  void MakeTheCall();
  void HandleReply(int nReply);
  void HandleLineCallState(int nReply);
  void ShutdownTAPI(bool bDropped);

  CDialerEvents& m_events;
  stModemTimings m_timings;
  int m_nTimeoutMs = 0;
  stPhoneDevice m_device;
  CModemPort m_port;
  std::string m_sInput;  // bytes read and not yet a whole line
  std::string m_sNumber;
  eStep m_step = STEP_IDLE;
  bool m_bCallInProgress = false;
  bool m_bDialSent = false;
  bool m_bStopping = false;
  bool m_bConnected = false;
  bool m_bTimedOut = false;
};
