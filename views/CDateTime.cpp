#include "views/CDateTime.h"

#include <QCalendarWidget>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "schedule/OleDate.h"

namespace {
constexpr int kButtonPoints = 8;
constexpr int kTextPoints = 12;
constexpr int kHeight = 24;

QFont FieldFont(int nPoints) {
  QFont font("Times New Roman");
  font.setPointSize(nPoints);
  return font;
}

QDate QDateOf(double dDate) {
  stDateTime dt;
  if (dDate <= 0.0 || !SplitOleDate(dDate, dt)) return {};
  return QDate(dt.nYear, dt.nMonth, dt.nDay);
}
}  // namespace

CDateTime::CDateTime(QWidget* pParent) : QWidget(pParent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CDateTime::SetInitial(double dDate, bool bWithTime) {
  const std::string sBefore = m_template.GetText();
  m_template.SetInitial(dDate, bWithTime);
  updateGeometry();
  Refresh(sBefore);
}

void CDateTime::SetDateTime(double dDate) {
  const std::string sBefore = m_template.GetText();
  m_template.SetDateTime(dDate);
  Refresh(sBefore);
}

void CDateTime::OpenCalendar() {
  QDialog dialog(this);
  dialog.setObjectName("KelvoMonthCalendar");
  dialog.setWindowTitle("Month calendar");
  auto* pLayout = new QVBoxLayout(&dialog);
  auto* pCalendar = new QCalendarWidget(&dialog);
  pCalendar->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  pCalendar->setFirstDayOfWeek(Qt::Sunday);
  pCalendar->setGridVisible(true);
  pCalendar->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
  QDate day = m_template.IsValid() ? QDateOf(m_template.GetDate()) : QDate();
  if (!day.isValid()) day = QDateOf(GetCurrentDate());
  pCalendar->setSelectedDate(day);
  pLayout->addWidget(pCalendar);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(pButtons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  // A double click or Enter on a day chooses it.
  connect(pCalendar, &QCalendarWidget::activated, &dialog, &QDialog::accept);
  pLayout->addWidget(pButtons);
  if (dialog.exec() != QDialog::Accepted) return;
  const QDate chosen = pCalendar->selectedDate();
  const std::string sBefore = m_template.GetText();
  m_template.SetDay(MakeOleDate(chosen.year(), chosen.month(), chosen.day()));
  Refresh(sBefore);
}

QSize CDateTime::sizeHint() const {
  const int nChars = int(m_template.GetText().size());
  return {CDateTimeTemplate::kTextLeft + nChars * CDateTimeTemplate::kCharWidth + 4, kHeight};
}

void CDateTime::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const int nBaseline = height() * 2 / 3;
  painter.setFont(FieldFont(kButtonPoints));
  const std::pair<const char*, QColor> buttons[] = {
      {"Cal.", Qt::black}, {"Cur.", QColor(0, 128, 0)}, {"Clr.", Qt::blue}};
  int x = 0;
  for (const auto& [pText, color] : buttons) {
    painter.setPen(color);
    painter.drawText(x, nBaseline, pText);
    x += CDateTimeTemplate::kButtonWidth;
  }
  // An impossible text is drawn red until it is mended.
  const QColor textColor = !isEnabled() ? Qt::gray : m_template.IsValid() ? Qt::black : Qt::red;
  painter.setPen(textColor);
  const QFont plain = FieldFont(kTextPoints);
  QFont emphasis = plain;
  emphasis.setBold(true);
  emphasis.setUnderline(true);
  const std::string& sText = m_template.GetText();
  for (int i = 0; i < int(sText.size()); ++i) {
    painter.setFont(hasFocus() && i == m_template.GetCaret() ? emphasis : plain);
    painter.drawText(CDateTimeTemplate::kTextLeft + i * CDateTimeTemplate::kCharWidth, nBaseline,
                     QString(QChar(sText[size_t(i)])));
  }
}

void CDateTime::keyPressEvent(QKeyEvent* pEvent) {
  if (pEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
    QWidget::keyPressEvent(pEvent);
    return;
  }
  const std::string sBefore = m_template.GetText();
  const int nCaretBefore = m_template.GetCaret();
  switch (pEvent->key()) {
    case Qt::Key_Up: m_template.Increase(); break;
    case Qt::Key_Down: m_template.Decrease(); break;
    case Qt::Key_Right:
    case Qt::Key_Space: m_template.MoveRight(); break;
    case Qt::Key_Left:
    case Qt::Key_Backspace: m_template.MoveLeft(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: focusNextChild(); break;
    default: {
      const QString sKey = pEvent->text();
      if (sKey.size() != 1 || !m_template.TypeChar(sKey[0].toLatin1())) {
        pEvent->ignore();
        return;
      }
    }
  }
  pEvent->accept();
  if (m_template.GetCaret() != nCaretBefore) update();
  Refresh(sBefore);
}

void CDateTime::mousePressEvent(QMouseEvent* pEvent) {
  if (pEvent->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(pEvent);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  const std::string sBefore = m_template.GetText();
  switch (m_template.ClickAt(int(pEvent->position().x()))) {
    case CDateTimeTemplate::eClick::Calendar: OpenCalendar(); return;
    case CDateTimeTemplate::eClick::Current: m_template.SetCurrent(); break;
    case CDateTimeTemplate::eClick::Clear: m_template.AskClear(); break;
    case CDateTimeTemplate::eClick::Caret: update(); break;
  }
  Refresh(sBefore);
}

void CDateTime::focusInEvent(QFocusEvent* pEvent) {
  QWidget::focusInEvent(pEvent);
  update();
}

void CDateTime::focusOutEvent(QFocusEvent* pEvent) {
  QWidget::focusOutEvent(pEvent);
  update();
}

void CDateTime::Refresh(const std::string& sBefore) {
  if (m_template.GetText() == sBefore) return;
  update();
  emit Changed();
}
