// The alarm box by itself: its sound round repeats from a timer while the
// box waits, a key press ends it, and an alert's box closes once the clock
// is past the alert's minute, with nobody there.

#include <QLabel>
#include <QtTest/QTest>

#include "QtTestApp.h"
#include "app/CDialogCustomMessageBox.h"
#include "common/TestCommon.h"
#include "schedule/OleDate.h"

TEST(AlarmBox, SoundRepeatsUntilAKeyAndAnAlertEndsByItself) {
  TestApp();
  int nRounds = 0;
  double dNow = MakeOleDate(2024, 3, 5, 9, 15, 0);
  CDialogCustomMessageBox box(
      "Alarm", "It is time for:", {"Tea: now", "Cake: now"}, 0.0, [&] { return dNow; }, nullptr,
      [&] { ++nRounds; });
  EXPECT_EQ(box.Text()->text().toStdString(), "Tea: now\n\nCake: now");
  QTimer::singleShot(3 * CDialogCustomMessageBox::kSoundRoundMs + 100, &box,
                     [&] { QTest::keyClick(&box, Qt::Key_Space); });
  EXPECT_EQ(box.exec(), QDialog::Accepted);
  EXPECT_GE(nRounds, 3);  // one at once, then one per round
  EXPECT_EQ(box.SoundRounds(), nRounds);
  EXPECT_FALSE(box.SoundRunning());

  // The alert of 09:15 closes once the clock reads 09:17.
  nRounds = 0;
  CDialogCustomMessageBox alert(
      "Alarm", "It is time for:", {"Alert at: 09:15"}, MakeOleDate(2024, 3, 5, 9, 16, 0),
      [&] { return dNow; }, nullptr, [&] { ++nRounds; });
  QTimer::singleShot(CDialogCustomMessageBox::kSoundRoundMs + 100, &alert,
                     [&] { dNow = MakeOleDate(2024, 3, 5, 9, 16, 59); });
  QTimer::singleShot(2 * CDialogCustomMessageBox::kSoundRoundMs + 100, &alert,
                     [&] { dNow = MakeOleDate(2024, 3, 5, 9, 17, 0); });
  QTimer::singleShot(30000, &alert, [&] { alert.reject(); });  // never reached when it works
  EXPECT_EQ(alert.exec(), QDialog::Accepted);
  EXPECT_GE(nRounds, 2);  // still sounding at 09:16:59
}
