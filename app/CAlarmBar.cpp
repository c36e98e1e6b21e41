#include "app/CAlarmBar.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "app/CommandIds.h"

CAlarmBar::CAlarmBar(std::function<void(int)> fnCommand, std::function<void(int)> fnRight,
                     QWidget* pParent)
    : QWidget(pParent),
      m_fnCommand(std::move(fnCommand)),
      m_fnRight(std::move(fnRight)),
      m_pTime(new QLabel(this)),
      m_pAlarm(new QLabel(this)),
      m_pUnscheduled(new QComboBox(this)),
      m_pVersion(new QLabel(this)),
      m_pError(new QLabel(this)) {
  setObjectName("KelvoAlarmBar");
  m_pTime->setObjectName("TimeText");
  m_pAlarm->setObjectName("AlarmText");
  m_pUnscheduled->setObjectName("UnscheduledList");
  m_pVersion->setObjectName("VersionText");
  m_pError->setObjectName("ErrorStatus");
  m_pUnscheduled->setMinimumContentsLength(24);
  m_pUnscheduled->setToolTip(tr("Unscheduled items"));
  auto* pLayout = new QGridLayout(this);
  pLayout->setContentsMargins(4, 2, 4, 2);
  pLayout->addWidget(m_pTime, 0, 0, 1, 2);
  pLayout->addWidget(m_pAlarm, 1, 0, 1, 2);
  int nColumn = 2;
  for (auto [pText, nId] : {std::pair{"Set", int(ID_ALARM_SET)}, {"On", int(ID_ALARM_ON)},
                            {"Off", int(ID_ALARM_OFF)}}) {
    pLayout->addWidget(AddButton(pText, nId), 0, nColumn++, 2, 1);
  }
  pLayout->addWidget(m_pUnscheduled, 0, nColumn, 1, 2);
  pLayout->addWidget(AddButton("To-do", ID_ALARM_TODO), 1, nColumn);
  pLayout->addWidget(AddButton("Notes", ID_ALARM_NOTES), 1, nColumn + 1);
  pLayout->addWidget(m_pVersion, 0, nColumn + 2);
  pLayout->addWidget(m_pError, 1, nColumn + 2);
  pLayout->setColumnStretch(1, 1);
}

QPushButton* CAlarmBar::AddButton(const char* pText, int nId) {
  auto* pButton = new QPushButton(tr(pText), this);
  pButton->setObjectName(QString("Button%1").arg(nId));
  pButton->setFocusPolicy(Qt::NoFocus);
  connect(pButton, &QPushButton::clicked, this, [this, nId] { m_fnCommand(nId); });
  if (nId == ID_ALARM_SET || nId == ID_ALARM_ON) pButton->installEventFilter(this);
  m_buttons.emplace_back(nId, pButton);
  return pButton;
}

QPushButton* CAlarmBar::Button(int nId) const {
  for (const auto& [n, p] : m_buttons)
    if (n == nId) return p;
  return nullptr;
}

bool CAlarmBar::eventFilter(QObject* pObject, QEvent* pEvent) {
  if (pEvent->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(pEvent)->button() == Qt::RightButton) {
    for (const auto& [nId, pButton] : m_buttons)
      if (pButton == pObject) {
        m_fnRight(nId);
        return true;
      }
  }
  return QWidget::eventFilter(pObject, pEvent);
}

void CAlarmBar::SetTimeText(const std::string& sText) { m_pTime->setText(QString::fromStdString(sText)); }

void CAlarmBar::SetAlarmText(const std::string& sText) { m_pAlarm->setText(QString::fromStdString(sText)); }

void CAlarmBar::SetVersionText(const std::string& sText) {
  m_pVersion->setText(QString::fromStdString(sText));
}

void CAlarmBar::SetErrorStatus(const std::string& sText) {
  m_pError->setText(QString::fromStdString(sText));
}

void CAlarmBar::SetUnscheduled(const std::string& sText) {
  const QString s = QString::fromStdString(sText);
  if (m_pUnscheduled->count() == (s.isEmpty() ? 0 : 1) && m_pUnscheduled->currentText() == s) return;
  m_pUnscheduled->clear();
  if (!s.isEmpty()) m_pUnscheduled->addItem(s);
  m_pUnscheduled->setToolTip(s.isEmpty() ? tr("Unscheduled items") : s);
}
