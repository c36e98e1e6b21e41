// The phone dialer window on the pseudo-terminal modem: the numbers offered,
// the buttons through a call, the status text, the redial switch, and
// closing the window in the middle of a wait.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QTest>

#include <cstdlib>

#include "QtTestApp.h"
#include "app/CPhoneDialerDlg.h"
#include "common/TestCommon.h"
#include "comms/CModemPort.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "tests/comms/FakeModem.h"

namespace {

class PhoneDialerDlg : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    ASSERT_TRUE(m_modem.Opened());
    m_savedSettings = AppSettings();
    setenv("KELVO_MODEM", m_modem.Path().c_str(), 1);
    setenv("KELVO_LOCKDIR", m_dir.Path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KELVO_MODEM");
    unsetenv("KELVO_LOCKDIR");
    AppSettings() = m_savedSettings;
  }
  // Runs the event loop until the status text holds sText (at most 5 s).
  static bool WaitForStatus(CPhoneDialerDlg& dialog, const QString& sText) {
    for (int i = 0; i < 500 && !dialog.StatusText().contains(sText); ++i) QTest::qWait(10);
    return dialog.StatusText().contains(sText);
  }

  CTestUi m_ui;
  CScratchFolder m_dir;
  CFakeModem m_modem;
  stAppSettings m_savedSettings;
};

TEST_F(PhoneDialerDlg, CallThroughTheButtons) {
  CPhoneDialerDlg dialog({"(212) 555-1234 work", "555-9876"}, nullptr);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "PhoneDialer");
  ASSERT_EQ(dialog.Numbers()->count(), 2);
  EXPECT_EQ(dialog.Numbers()->currentText(), "(212) 555-1234 work");
  EXPECT_EQ(dialog.Devices()->currentText().toStdString(), m_modem.Path());
  EXPECT_TRUE(dialog.DialButton()->isVisible());
  EXPECT_FALSE(dialog.HangupButton()->isVisible());
  dialog.findChild<QCheckBox*>("Dial1")->setChecked(true);

  QTest::mouseClick(dialog.DialButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForStatus(dialog, "Connected!"));
  EXPECT_EQ(dialog.findChild<QLineEdit*>("NumberToDial")->text(), "12125551234");
  EXPECT_FALSE(dialog.DialButton()->isVisible());
  EXPECT_TRUE(dialog.HangupButton()->isVisible());
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT12125551234;\r");

  QTest::mouseClick(dialog.HangupButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForStatus(dialog, "Waiting for user to click 'Dial' or 'OK/Done' button"));
  EXPECT_EQ(
      dialog.StatusText().toStdString(),
      "Dial 12125551234 attempt 1\nTapi initialized.\nName of device is: " + m_modem.Path() +
          "\nDialing 12125551234\nLINE_REPLY: successfully replied.\nlineMakeCall succeeded.\nConnected!\n"
          "Call Dropped.\nCall Deallocated.\nLine Closed.\nCall stopped\n"
          "Waiting for user to click 'Dial' or 'OK/Done' button");
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT12125551234;\rATH\r");
  EXPECT_TRUE(dialog.DialButton()->isVisible());
  EXPECT_FALSE(dialog.HangupButton()->isVisible());

  // The second number, and a text that is no number.
  dialog.Numbers()->setCurrentIndex(1);
  m_modem.Answer("ATDT", "BUSY");
  QTest::mouseClick(dialog.DialButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForStatus(dialog, "Line busy, shutting down"));
  for (int i = 0; i < 500 && dialog.Dialer().IsBusy(); ++i) QTest::qWait(10);
  EXPECT_TRUE(dialog.DialButton()->isVisible());
  dialog.Numbers()->setEditText("home");
  QTest::mouseClick(dialog.DialButton(), Qt::LeftButton);
  EXPECT_TRUE(m_ui.SawText("Invalid number. Too short."));
  // The modem shown at first is not written to the configuration.
  EXPECT_EQ(AppSettings().phoneDevice.sPath, m_savedSettings.phoneDevice.sPath);
}

TEST_F(PhoneDialerDlg, RedialSwitchAndClosingInTheMiddleOfAWait) {
  m_modem.Answer("ATDT", "");
  auto pDialog = std::make_unique<CPhoneDialerDlg>(std::vector<std::string>{"555-1234"}, nullptr);
  pDialog->show();
  auto* pRetries = pDialog->findChild<QSpinBox*>("Retries");
  ASSERT_NE(pRetries, nullptr);
  EXPECT_EQ(pRetries->maximum(), 3);
  pDialog->findChild<QCheckBox*>("Redial")->setChecked(false);
  EXPECT_FALSE(pRetries->isEnabled());
  EXPECT_EQ(pDialog->Settings().bRedial, false);
  pDialog->findChild<QCheckBox*>("Redial")->setChecked(true);
  EXPECT_TRUE(pRetries->isEnabled());

  QTest::mouseClick(pDialog->DialButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForStatus(*pDialog, "Dialing 5551234"));
  // The window closes in the middle of the dial: "ATH" goes out first.
  pDialog->close();
  EXPECT_FALSE(pDialog->Dialer().IsBusy());
  pDialog.reset();
  for (int i = 0; i < 100 && m_modem.Written().find("ATH\r") == std::string::npos; ++i) QTest::qWait(10);
  EXPECT_EQ(m_modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
  EXPECT_FALSE(FileExists(m_dir.File(CModemPort::LockFileName(m_modem.Path()))));
  QTest::qWait(50);  // the deleted notifier and timers fire nothing

  // A modem the user types in is remembered.
  unsetenv("KELVO_MODEM");
  CPhoneDialerDlg dialog({"555-1234"}, nullptr);
  dialog.Devices()->setEditText(QString::fromStdString(m_modem.Path()));
  m_modem.Answer("ATDT", "OK");
  QTest::mouseClick(dialog.DialButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForStatus(dialog, "Connected!"));
  EXPECT_EQ(AppSettings().phoneDevice.sPath, m_modem.Path());
  dialog.accept();
  EXPECT_FALSE(dialog.Dialer().IsBusy());
}

}  // namespace
