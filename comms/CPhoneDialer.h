#pragma once
// What the dialer window does, without the window: cleans the chosen
// number, runs one CTapiConnection per attempt and redials after an attempt
// that timed out, as often as the retries allow, at the set interval. The Qt
// dialog and the headless tool both drive it through CDialerEvents.

#include <memory>
#include <string>

#include "comms/CDialerEvents.h"
#include "comms/CTapiConnection.h"

// The dialer's fields, as the user sets them.
struct stDialerSettings {
  int nTimeoutSec = 45;   // "Timeout (sec.)"
  int nRetries = 3;       // "Number of retries", at most kMaxRetries
  int nIntervalSec = 15;  // "Interval (Sec.)"
  bool bRedial = true;    // "Redial" "On"
  bool bUseAreaCode = true;
  bool bDial1 = false;

  static constexpr int kMaxRetries = 3;
  static constexpr int kMaxTimeoutSec = 600;
  static constexpr int kMaxIntervalSec = 3600;
};

struct stDialerTimings {
  int nSecondMs = 1000;  // the length of the fields' seconds (tests shorten it)
  stModemTimings modem;
};

class CPhoneDialer : public CDialerDriven {
 public:
  explicit CPhoneDialer(CDialerEvents& events, stDialerTimings timings = {});
  // A call still on the line is hung up by its connection. The owner calls
  // Close() first, while its events still work.
  ~CPhoneDialer() override = default;
  CPhoneDialer(const CPhoneDialer&) = delete;
  CPhoneDialer& operator=(const CPhoneDialer&) = delete;

  void SetDevice(const stPhoneDevice& device) { m_device = device; }
  const stPhoneDevice& Device() const { return m_device; }

  // "&Dial" on the chosen text. A number that cannot be dialled is shown
  // as a message and false returned; otherwise the first attempt starts.
  bool OnDial(const std::string& sChosen, const stDialerSettings& settings);
  // "Hang up": ends the call or the wait for a redial.
  void OnHangup();
  // "OK/Done" and closing the window: stops the redial and hangs up at
  // once, without waiting for the modem.
  void Close();

  void OnPortReadable() override;
  void OnTimer(int nTimer) override;

  const std::string& Number() const { return m_sNumber; }
  int Attempts() const { return m_nAttempt; }
  // An attempt runs or a redial is waiting.
  bool IsBusy() const { return m_pConnection || m_bRedialWaiting; }
  bool IsConnected() const { return m_pConnection && m_pConnection->IsConnected(); }

 private:
  void DialNumber();
  void EndAttemptIfFinished();
  void WaitForUser();
  void StopRedial();

  CDialerEvents& m_events;
  stDialerTimings m_timings;
  stPhoneDevice m_device;
  std::unique_ptr<CTapiConnection> m_pConnection;
  std::string m_sNumber;
  int m_nRetries = 0;
  int m_nTimeoutSec = 0;
  int m_nIntervalSec = 0;
  int m_nAttempt = 0;
  bool m_bRedialWaiting = false;
  bool m_bUserStopped = false;
};
