#include "app/CSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <cmath>

#include "support/FileUtil.h"

namespace {
constexpr int kSampleRate = 22050;
constexpr double kVolume = 0.3;
}  // namespace

CSound& CSound::Get() {
  static CSound* pSound = new CSound;
  return *pSound;
}

QByteArray CSound::ToneSamples(const std::vector<std::pair<int, int>>& tones, int nRate) {
  QByteArray data;
  for (const auto& [nFrequency, nMillis] : tones) {
    const int nSamples = std::max(0, nMillis) * nRate / 1000;
    for (int i = 0; i < nSamples; ++i) {
      const double d = kVolume * std::sin(2.0 * M_PI * nFrequency * i / nRate);
      const qint16 n = qint16(d * 32767.0);
      data.append(reinterpret_cast<const char*>(&n), sizeof n);
    }
  }
  return data;
}

void CSound::Tones(const std::vector<std::pair<int, int>>& tones) {
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    QApplication::beep();
    return;
  }
  QAudioFormat format;
  format.setSampleRate(kSampleRate);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Int16);
  auto* pSink = new QAudioSink(device, format, this);
  auto* pBuffer = new QBuffer(pSink);
  pBuffer->setData(ToneSamples(tones, kSampleRate));
  pBuffer->open(QIODevice::ReadOnly);
  connect(pSink, &QAudioSink::stateChanged, pSink, [pSink](QAudio::State state) {
    if (state == QAudio::IdleState || state == QAudio::StoppedState) pSink->deleteLater();
  });
  pSink->start(pBuffer);
}

void CSound::MessageAlertSound() {
  const std::string sWav = ProgramFile("KelvoMsg.wav");
  if (!FileExists(sWav)) {
    Tones({{1000, 1000}, {1000, 1000}});
    return;
  }
  auto* pEffect = new QSoundEffect(this);
  pEffect->setSource(QUrl::fromLocalFile(QString::fromStdString(sWav)));
  connect(pEffect, &QSoundEffect::playingChanged, pEffect, [pEffect] {
    if (!pEffect->isPlaying()) pEffect->deleteLater();
  });
  pEffect->play();
}
