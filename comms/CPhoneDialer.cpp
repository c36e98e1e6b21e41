#include "comms/CPhoneDialer.h"

#include <algorithm>

#include "comms/PhoneNumber.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"

CPhoneDialer::CPhoneDialer(CDialerEvents& events, stDialerTimings timings)
    : m_events(events), m_timings(timings) {}

bool CPhoneDialer::OnDial(const std::string& sChosen, const stDialerSettings& settings) {
  if (m_pConnection) {
    // The connection says that a call is already being handled.
    m_pConnection->DialCall(m_sNumber);
    return false;
  }
  std::string sNumber;
  const ePhoneNumber result = GetPhoneNumberToDial(sChosen, settings.bUseAreaCode, settings.bDial1, sNumber);
  if (result != PHONE_NUMBER_OK) {
    ShowMessage(PhoneNumberMessage(result), "PhoneDialer");
    return false;
  }
  m_sNumber = sNumber;
  m_events.ShowButtons(false, false);
  m_nIntervalSec = std::clamp(settings.nIntervalSec, 0, stDialerSettings::kMaxIntervalSec);
  m_nRetries = settings.bRedial ? std::clamp(settings.nRetries, 0, stDialerSettings::kMaxRetries) : 0;
  m_nTimeoutSec = m_nRetries == 0 ? 0 : std::clamp(settings.nTimeoutSec, 0, stDialerSettings::kMaxTimeoutSec);
  m_nAttempt = 0;
  m_bUserStopped = false;
  DialNumber();
  return true;
}

void CPhoneDialer::DialNumber() {
  StopRedial();
  ++m_nAttempt;
  m_events.DisplayStatus(StrFormat("Dial %s attempt %i", m_sNumber.c_str(), m_nAttempt));
  m_pConnection =
      std::make_unique<CTapiConnection>(m_events, m_nTimeoutSec * m_timings.nSecondMs, m_timings.modem);
  if (m_pConnection->Create(m_device)) m_pConnection->DialCall(m_sNumber);
  EndAttemptIfFinished();
}

void CPhoneDialer::EndAttemptIfFinished() {
  if (!m_pConnection || !m_pConnection->IsFinished()) return;
  const bool bTimedOut = m_pConnection->TimedOut();
  m_events.WatchPort(-1);
  m_events.StopTimer(TIMER_MODEM);
  m_pConnection.reset();
  if (bTimedOut && !m_bUserStopped && m_nRetries > 0 && m_nAttempt < m_nRetries) {
    m_bRedialWaiting = true;
    m_events.StartTimer(TIMER_REDIAL, m_nIntervalSec * m_timings.nSecondMs);
    m_events.DisplayStatus("Waiting for redial");
  } else {
    WaitForUser();
  }
}

void CPhoneDialer::WaitForUser() {
  m_events.DisplayStatus("Waiting for user to click 'Dial' or 'OK/Done' button");
  m_events.ShowButtons(true, false);
}

void CPhoneDialer::StopRedial() {
  m_events.StopTimer(TIMER_REDIAL);
  m_bRedialWaiting = false;
}

void CPhoneDialer::OnHangup() {
  const bool bWasWaiting = m_bRedialWaiting;
  StopRedial();
  m_bUserStopped = true;
  if (m_pConnection) {
    m_pConnection->HangupCall();
    EndAttemptIfFinished();
  } else if (bWasWaiting) {
    WaitForUser();
  }
}

void CPhoneDialer::Close() {
  StopRedial();
  if (!m_pConnection) return;
  m_events.WatchPort(-1);
  m_events.StopTimer(TIMER_MODEM);
  m_pConnection.reset();
}

void CPhoneDialer::OnPortReadable() {
  if (!m_pConnection) return;
  m_pConnection->OnPortReadable();
  EndAttemptIfFinished();
}

void CPhoneDialer::OnTimer(int nTimer) {
  if (nTimer == TIMER_REDIAL) {
    if (m_bRedialWaiting) DialNumber();
    return;
  }
  if (!m_pConnection) return;
  m_pConnection->OnTimer();
  EndAttemptIfFinished();
}
