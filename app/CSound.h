#pragma once
// The program's sounds: generated tones (a frequency for a time) and the
// message sound "KelvoMsg.wav" of the program folder. Tones play in the
// background; without an audio output the terminal bell stands in.

#include <QObject>
#include <string>
#include <utility>
#include <vector>

class CSound : public QObject {
  Q_OBJECT

 public:
  static CSound& Get();
  // The tones one after the other: (frequency in Hz, length in ms).
  void Tones(const std::vector<std::pair<int, int>>& tones);
  void Beep(int nFrequency, int nMillis) { Tones({{nFrequency, nMillis}}); }
  // "KelvoMsg.wav" when it exists, otherwise two beeps of 1000 Hz for 1000 ms.
  void MessageAlertSound();

  // 16-bit mono samples of the tones at nRate samples a second.
  static QByteArray ToneSamples(const std::vector<std::pair<int, int>>& tones, int nRate);

 private:
  CSound() = default;
};
