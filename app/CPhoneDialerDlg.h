#pragma once
// The phone dialer window ("PhoneDialer"): the person's numbers, the modem,
// the redial fields, the call progress, and the "&Dial", "Hang up" and
// "OK/Done" buttons. The dialling itself is CPhoneDialer's; the window gives
// it its events: a socket notifier on the modem port and one timer for each
// of the modem wait and the redial wait. Closing the window in the middle of
// a call hangs up first.

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

#include "comms/CDialerEvents.h"
#include "comms/CPhoneDialer.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSocketNotifier;
class QSpinBox;

class CPhoneDialerDlg : public QDialog, public CDialerEvents {
  Q_OBJECT

 public:
  CPhoneDialerDlg(const std::vector<std::string>& saNumbers, QWidget* pParent, stDialerTimings timings = {});
  ~CPhoneDialerDlg() override;

  void OnDial();
  void OnHangup();
  void OnOK();
  void OnCancel();
  // The "Redial" switch: the retry fields only count while it is on.
  void OnRedialOn();
  // Closing by Esc, the window's close button or Enter goes the same way.
  void reject() override { OnCancel(); }
  void accept() override { OnOK(); }

  stDialerSettings Settings() const;
  CPhoneDialer& Dialer() { return m_dialer; }
  QString StatusText() const;
  QComboBox* Numbers() const { return m_pNumbers; }
  QComboBox* Devices() const { return m_pDevice; }
  QPushButton* DialButton() const { return m_pDial; }
  QPushButton* HangupButton() const { return m_pHangup; }

  // CDialerEvents
  void WatchPort(int nFd) override;
  void StartTimer(int nTimer, int nMs) override;
  void StopTimer(int nTimer) override;
  void DisplayStatus(const std::string& sLine) override;
  void ShowButtons(bool bDialShown, bool bHangupShown) override;

 private:
  void FillDevices();
  QTimer& Timer(int nTimer) { return nTimer == TIMER_REDIAL ? m_redialTimer : m_modemTimer; }

  QComboBox* m_pNumbers;
  QComboBox* m_pDevice;
  QLineEdit* m_pNumberToDial;
  QSpinBox* m_pTimeout;
  QSpinBox* m_pRetries;
  QSpinBox* m_pInterval;
  QCheckBox* m_pRedial;
  QCheckBox* m_pUseAreaCode;
  QCheckBox* m_pDial1;
  QPlainTextEdit* m_pStatus;
  QPushButton* m_pDial;
  QPushButton* m_pHangup;
  QPushButton* m_pOk;
  QSocketNotifier* m_pNotifier = nullptr;
  QTimer m_modemTimer;
  QTimer m_redialTimer;
  std::string m_sOfferedDevice;  // the device shown at first
  CPhoneDialer m_dialer;
};
