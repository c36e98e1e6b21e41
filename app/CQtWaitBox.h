#pragma once
// The wait box window: caption, text (or step lines), an optional progress
// bar with its percentage inside, an optional abort button. It never closes
// itself: the abort button, Esc and the window's close button only report a
// press, and the operation decides (after its confirmation) what to do.

#include <QDialog>
#include <functional>

#include "support/CUserInterface.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CQtWaitBox : public QDialog {
  Q_OBJECT

 public:
  CQtWaitBox(const stWaitBoxView& view, std::function<void()> fnAbortPressed, QWidget* pOver);
  void Show(const stWaitBoxView& view);
  const QString& Text() const { return m_sText; }
  QPushButton* AbortButton() const { return m_pAbort; }
  QProgressBar* ProgressBar() const { return m_pProgress; }

 protected:
  void keyPressEvent(QKeyEvent* pEvent) override;
  void closeEvent(QCloseEvent* pEvent) override;
  void reject() override;

 private:
  std::function<void()> m_fnAbortPressed;
  QLabel* m_pLabel;
  QProgressBar* m_pProgress;
  QPushButton* m_pAbort;
  QString m_sText;
};
