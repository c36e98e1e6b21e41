#include "app/CPhoneDialerDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QVBoxLayout>

#include "comms/ModemDevice.h"
#include "support/CConfigFile.h"

namespace {

QSpinBox* SpinBox(QWidget* pParent, const char* pName, int nMax, int nValue) {
  auto* p = new QSpinBox(pParent);
  p->setObjectName(pName);
  p->setRange(0, nMax);
  p->setValue(nValue);
  return p;
}

QCheckBox* CheckBox(QWidget* pParent, const char* pText, const char* pName, bool bChecked) {
  auto* p = new QCheckBox(pParent->tr(pText), pParent);
  p->setObjectName(pName);
  p->setChecked(bChecked);
  return p;
}

}  // namespace

CPhoneDialerDlg::CPhoneDialerDlg(const std::vector<std::string>& saNumbers, QWidget* pParent,
                                 stDialerTimings timings)
    : QDialog(pParent),
      m_pNumbers(new QComboBox(this)),
      m_pDevice(new QComboBox(this)),
      m_pNumberToDial(new QLineEdit(this)),
      m_pStatus(new QPlainTextEdit(this)),
      m_pDial(new QPushButton(tr("&Dial"), this)),
      m_pHangup(new QPushButton(tr("Hang up"), this)),
      m_pOk(new QPushButton(tr("OK/Done"), this)),
      m_dialer(*this, timings) {
  setObjectName("KelvoPhoneDialer");
  setWindowTitle("PhoneDialer");
  const stDialerSettings defaults;
  m_pTimeout = SpinBox(this, "Timeout", stDialerSettings::kMaxTimeoutSec, defaults.nTimeoutSec);
  m_pRetries = SpinBox(this, "Retries", stDialerSettings::kMaxRetries, defaults.nRetries);
  m_pInterval = SpinBox(this, "Interval", stDialerSettings::kMaxIntervalSec, defaults.nIntervalSec);
  m_pRedial = CheckBox(this, "On", "Redial", defaults.bRedial);
  m_pUseAreaCode = CheckBox(this, "Use area code", "UseAreaCode", defaults.bUseAreaCode);
  m_pDial1 = CheckBox(this, "Dial 1", "Dial1", defaults.bDial1);

  m_pNumbers->setObjectName("Numbers");
  m_pNumbers->setEditable(true);
  for (const std::string& s : saNumbers) m_pNumbers->addItem(QString::fromStdString(s));
  m_pNumbers->setCurrentIndex(0);
  m_pDevice->setObjectName("Device");
  m_pDevice->setEditable(true);
  FillDevices();
  m_pNumberToDial->setObjectName("NumberToDial");
  m_pNumberToDial->setReadOnly(true);
  m_pStatus->setObjectName("Status");
  m_pStatus->setReadOnly(true);

  auto* pForm = new QFormLayout;
  pForm->addRow(tr("Phone number"), m_pNumbers);
  pForm->addRow(tr("Number to dial"), m_pNumberToDial);
  pForm->addRow(tr("Modem"), m_pDevice);
  pForm->addRow(tr("Timeout (sec.)"), m_pTimeout);
  pForm->addRow(tr("Number of retries"), m_pRetries);
  pForm->addRow(tr("Interval (Sec.)"), m_pInterval);
  pForm->addRow(tr("Redial"), m_pRedial);
  auto* pSwitches = new QHBoxLayout;
  pSwitches->addWidget(m_pUseAreaCode);
  pSwitches->addWidget(m_pDial1);
  pForm->addRow(pSwitches);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addLayout(pForm);
  pLayout->addWidget(new QLabel(tr("Status/Call progress"), this));
  pLayout->addWidget(m_pStatus);
  auto* pButtons = new QHBoxLayout;
  for (QPushButton* p : {m_pDial, m_pHangup, m_pOk}) {
    p->setObjectName(p->text().remove('&').remove(' ').remove('/'));
    p->setAutoDefault(false);
    pButtons->addWidget(p);
  }
  pLayout->addLayout(pButtons);
  m_pDial->setDefault(true);
  m_pHangup->hide();

  connect(m_pDial, &QPushButton::clicked, this, [this] { OnDial(); });
  connect(m_pHangup, &QPushButton::clicked, this, [this] { OnHangup(); });
  connect(m_pOk, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(m_pRedial, &QCheckBox::toggled, this, [this] { OnRedialOn(); });
  for (QTimer* p : {&m_modemTimer, &m_redialTimer}) p->setSingleShot(true);
  connect(&m_modemTimer, &QTimer::timeout, this, [this] { m_dialer.OnTimer(TIMER_MODEM); });
  connect(&m_redialTimer, &QTimer::timeout, this, [this] { m_dialer.OnTimer(TIMER_REDIAL); });
  OnRedialOn();
  resize(460, 520);
}

CPhoneDialerDlg::~CPhoneDialerDlg() {
  // While the notifier and the timers still exist.
  m_dialer.Close();
}

void CPhoneDialerDlg::FillDevices() {
  const std::vector<std::string> saFound = ListModemDevices();
  const stPhoneDevice chosen = ChooseModemDevice(AppSettings().phoneDevice, saFound);
  for (const std::string& s : saFound) m_pDevice->addItem(QString::fromStdString(s));
  if (!chosen.sPath.empty() && m_pDevice->findText(QString::fromStdString(chosen.sPath)) < 0)
    m_pDevice->insertItem(0, QString::fromStdString(chosen.sPath));
  m_pDevice->setCurrentText(QString::fromStdString(chosen.sPath));
  m_sOfferedDevice = chosen.sPath;
}

stDialerSettings CPhoneDialerDlg::Settings() const {
  stDialerSettings s;
  s.nTimeoutSec = m_pTimeout->value();
  s.nRetries = m_pRetries->value();
  s.nIntervalSec = m_pInterval->value();
  s.bRedial = m_pRedial->isChecked();
  s.bUseAreaCode = m_pUseAreaCode->isChecked();
  s.bDial1 = m_pDial1->isChecked();
  return s;
}

QString CPhoneDialerDlg::StatusText() const { return m_pStatus->toPlainText(); }

void CPhoneDialerDlg::OnDial() {
  stPhoneDevice device = ChooseModemDevice(AppSettings().phoneDevice, {});
  device.sPath = m_pDevice->currentText().trimmed().toStdString();
  // A modem the user picked is remembered in Kelvo.cfg.
  if (device.sPath != m_sOfferedDevice) AppSettings().phoneDevice = device;
  m_dialer.SetDevice(device);
  if (m_dialer.OnDial(m_pNumbers->currentText().toStdString(), Settings()))
    m_pNumberToDial->setText(QString::fromStdString(m_dialer.Number()));
}

void CPhoneDialerDlg::OnHangup() { m_dialer.OnHangup(); }

void CPhoneDialerDlg::OnOK() {
  m_dialer.Close();
  QDialog::accept();
}

void CPhoneDialerDlg::OnCancel() {
  m_dialer.Close();
  QDialog::reject();
}

void CPhoneDialerDlg::OnRedialOn() {
  const bool bOn = m_pRedial->isChecked();
  for (QSpinBox* p : {m_pTimeout, m_pRetries, m_pInterval}) p->setEnabled(bOn);
}

void CPhoneDialerDlg::WatchPort(int nFd) {
  if (m_pNotifier) {
    // This may run inside the notifier's own signal: it goes once that returns.
    m_pNotifier->setEnabled(false);
    m_pNotifier->deleteLater();
    m_pNotifier = nullptr;
  }
  if (nFd < 0) return;
  m_pNotifier = new QSocketNotifier(nFd, QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { m_dialer.OnPortReadable(); });
}

void CPhoneDialerDlg::StartTimer(int nTimer, int nMs) { Timer(nTimer).start(nMs); }

void CPhoneDialerDlg::StopTimer(int nTimer) { Timer(nTimer).stop(); }

void CPhoneDialerDlg::DisplayStatus(const std::string& sLine) {
  m_pStatus->appendPlainText(QString::fromStdString(sLine));
}

void CPhoneDialerDlg::ShowButtons(bool bDialShown, bool bHangupShown) {
  m_pDial->setVisible(bDialShown);
  m_pHangup->setVisible(bHangupShown);
}
