#include "app/CDialogCustomMessageBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CSound.h"
#include "data/CAlarmList.h"

namespace {
constexpr const char* kHeadingOn = "QLabel { color: rgb(255,0,0); background-color: rgb(0,0,0); }";
constexpr const char* kHeadingOff = "QLabel { color: rgb(255,0,0); background-color: rgb(255,255,0); }";
}  // namespace

CDialogCustomMessageBox::CDialogCustomMessageBox(const std::string& sCaption, const std::string& sHeading,
                                                 const std::vector<std::string>& saTexts, double dCloseAfter,
                                                 Clock fnNow, QWidget* pParent, Sound fnSound)
    : QDialog(pParent),
      m_pHeading(new QLabel(QString::fromStdString(sHeading), this)),
      m_pText(new QLabel(QString::fromStdString(JoinTexts(saTexts)), this)),
      m_dCloseAfter(dCloseAfter),
      m_fnNow(std::move(fnNow)),
      m_fnSound(fnSound ? std::move(fnSound) : Sound(&CDialogCustomMessageBox::DefaultSoundRound)) {
  setObjectName("AlarmBox");
  setWindowTitle(QString::fromStdString(sCaption));
  QFont font("Arial", 17);
  font.setBold(true);
  font.setItalic(true);
  m_pHeading->setObjectName("AlarmHeading");
  m_pHeading->setFont(font);
  m_pHeading->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_pHeading->setLineWidth(2);
  m_pHeading->setAlignment(Qt::AlignCenter);
  m_pHeading->setStyleSheet(kHeadingOn);
  m_pText->setObjectName("AlarmText");
  m_pText->setTextFormat(Qt::PlainText);  // item descriptions are shown as they are
  m_pText->setWordWrap(true);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addWidget(m_pHeading);
  pLayout->addWidget(m_pText, 1);
  pLayout->addWidget(pButtons);
  // A click or a key anywhere in the box ends it.
  installEventFilter(this);
  for (QWidget* p : findChildren<QWidget*>()) p->installEventFilter(this);
  m_soundTimer.setInterval(kSoundRoundMs);
  connect(&m_soundTimer, &QTimer::timeout, this, &CDialogCustomMessageBox::SoundRound);
  m_flashTimer.setInterval(kFlashMs);
  connect(&m_flashTimer, &QTimer::timeout, this, &CDialogCustomMessageBox::Flash);
}

std::string CDialogCustomMessageBox::JoinTexts(const std::vector<std::string>& saTexts) {
  std::string sText;
  for (const std::string& s : saTexts) sText += (sText.empty() ? "" : "\n\n") + s;
  return sText;
}

void CDialogCustomMessageBox::DefaultSoundRound() {
  CSound::Get().Tones({{900, 100}, {700, 100}, {500, 100}});
}

void CDialogCustomMessageBox::showEvent(QShowEvent* pEvent) {
  QDialog::showEvent(pEvent);
  if (m_soundTimer.isActive()) return;
  SoundRound();
  m_soundTimer.start();
  m_flashTimer.start();
}

void CDialogCustomMessageBox::SoundRound() {
  // An alert no longer due ends its box without the user.
  if (m_dCloseAfter > 0.0 && m_fnNow && OleSeconds(ToMinute(m_fnNow())) > OleSeconds(m_dCloseAfter)) {
    accept();
    return;
  }
  ++m_nSoundRounds;
  m_fnSound();
}

void CDialogCustomMessageBox::Flash() {
  m_bFlashOn = !m_bFlashOn;
  m_pHeading->setStyleSheet(m_bFlashOn ? kHeadingOff : kHeadingOn);
}

void CDialogCustomMessageBox::done(int nResult) {
  m_soundTimer.stop();
  m_flashTimer.stop();
  QDialog::done(nResult);
}

bool CDialogCustomMessageBox::eventFilter(QObject* pObject, QEvent* pEvent) {
  const QEvent::Type type = pEvent->type();
  if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress) {
    accept();
    return true;
  }
  return QDialog::eventFilter(pObject, pEvent);
}
