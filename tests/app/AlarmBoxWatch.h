#pragma once
// Watches for the alarm box while a frame test runs its ticks: every box
// that opens is recorded (its texts, heading and caption), fnWhileUp runs
// with the box on the screen (what another copy does meanwhile), and the box
// is then answered with OK unless the test lets it close by itself. A box
// nobody expected is answered too, so a test never hangs on one.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/CDialogCustomMessageBox.h"

class CAlarmBoxWatch {
 public:
  struct stSeen {
    std::string sCaption, sHeading, sText;
    QFont headingFont;
    int nSoundRounds = 0;
  };

  explicit CAlarmBoxWatch(std::function<void(CDialogCustomMessageBox&)> fnWhileUp = {}, bool bAnswer = true)
      : m_fnWhileUp(std::move(fnWhileUp)), m_bAnswer(bAnswer) {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
  }
  const std::vector<stSeen>& Seen() const { return m_seen; }
  // What happens to the next boxes.
  void SetWhileUp(std::function<void(CDialogCustomMessageBox&)> fnWhileUp, bool bAnswer) {
    m_fnWhileUp = std::move(fnWhileUp);
    m_bAnswer = bAnswer;
  }

 private:
  void Poll() {
    auto* pBox = qobject_cast<CDialogCustomMessageBox*>(QApplication::activeModalWidget());
    if (!pBox || m_bInPoll || pBox->property("watched").toBool()) return;
    m_bInPoll = true;
    pBox->setProperty("watched", true);
    m_seen.push_back({pBox->windowTitle().toStdString(), pBox->Heading()->text().toStdString(),
                      pBox->Text()->text().toStdString(), pBox->Heading()->font(), pBox->SoundRounds()});
    if (m_fnWhileUp) m_fnWhileUp(*pBox);
    if (m_bAnswer && pBox->isVisible()) pBox->accept();
    m_bInPoll = false;
  }

  std::function<void(CDialogCustomMessageBox&)> m_fnWhileUp;
  bool m_bAnswer;
  QTimer m_timer;
  std::vector<stSeen> m_seen;
  bool m_bInPoll = false;
};
