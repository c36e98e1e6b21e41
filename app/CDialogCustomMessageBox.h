#pragma once
// The alarm box: the caption, a flashing heading in a sunken frame, the
// texts of the alarms that are due and a single OK button. Once it is shown
// a timer plays the sound round (three short falling beeps) again and again
// until the user clicks or presses a key anywhere in the box. An alert's box
// closes by itself once the clock, to the minute, is past the alert's end.
//
// The sound round and the flashing run from timers of the box's own event
// loop; nothing here processes events in a loop of its own.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QLabel;

class CDialogCustomMessageBox : public QDialog {
  Q_OBJECT

 public:
  // Now as an OLE date (the frame's clock).
  using Clock = std::function<double()>;
  // One round of the sound loop.
  using Sound = std::function<void()>;

  static constexpr int kSoundRoundMs = 450;
  static constexpr int kFlashMs = 500;

  // dCloseAfter: an alert's end (0: the box stays until the user reacts).
  CDialogCustomMessageBox(const std::string& sCaption, const std::string& sHeading,
                          const std::vector<std::string>& saTexts, double dCloseAfter, Clock fnNow,
                          QWidget* pParent, Sound fnSound = {});

  // The three beeps of one round: 100 ms each at 900, 700 and 500 Hz.
  static void DefaultSoundRound();
  // The texts joined with two line breaks.
  static std::string JoinTexts(const std::vector<std::string>& saTexts);

  QLabel* Heading() const { return m_pHeading; }
  QLabel* Text() const { return m_pText; }
  int SoundRounds() const { return m_nSoundRounds; }
  bool SoundRunning() const { return m_soundTimer.isActive(); }

 protected:
  void showEvent(QShowEvent* pEvent) override;
  void done(int nResult) override;
  bool eventFilter(QObject* pObject, QEvent* pEvent) override;

 private:
  void SoundRound();
  void Flash();

  QLabel* m_pHeading;
  QLabel* m_pText;
  double m_dCloseAfter;
  Clock m_fnNow;
  Sound m_fnSound;
  QTimer m_soundTimer;
  QTimer m_flashTimer;
  int m_nSoundRounds = 0;
  bool m_bFlashOn = false;
};
