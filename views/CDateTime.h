#pragma once
// The date and time field of the edit dialogs: three small buttons ("Cal."
// opens a month calendar, "Cur." sets the current date and time, "Clr."
// clears) in front of a fixed digit template that the arrow and digit keys
// change. The rules live in CDateTimeTemplate; this window draws the text and
// forwards keys and clicks. Enter moves the focus on, as Tab does, so the
// dialog's default button never fires from inside the field.

#include <QWidget>
#include <string>

#include "views/CDateTimeTemplate.h"

class CDateTime : public QWidget {
  Q_OBJECT

 public:
  explicit CDateTime(QWidget* pParent = nullptr);

  // The template with or without time, then the date (0 stands for now).
  void SetInitial(double dDate, bool bWithTime);
  // A date other than 0 is shown; 0 clears the field.
  void SetDateTime(double dDate);
  double GetDate() const { return m_template.GetDate(); }
  bool IsValid() const { return m_template.IsValid(); }
  std::string GetDateString() const { return m_template.GetDateString(); }
  const CDateTimeTemplate& Template() const { return m_template; }
  void Enable(bool bEnable) { setEnabled(bEnable); }

  // Opens the month calendar preset to the field's day (today when it holds
  // none); OK takes the chosen day and keeps the field's time.
  void OpenCalendar();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 signals:
  // The text changed (by key, click, calendar or a set call).
  void Changed();

 protected:
  void paintEvent(QPaintEvent* pEvent) override;
  void keyPressEvent(QKeyEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void focusInEvent(QFocusEvent* pEvent) override;
  void focusOutEvent(QFocusEvent* pEvent) override;

 private:
  // Redraws and tells of a change when the text differs from sBefore.
  void Refresh(const std::string& sBefore);

  CDateTimeTemplate m_template;
};
