#pragma once
// The alarm bar docked below the views: the clock, the next alarm, the
// unscheduled items, the version, the error status and the Set, On, Off,
// To-do and Notes buttons. Buttons report their command ids; a right press
// on Set or On reports the alert commands.

#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

class CAlarmBar : public QWidget {
  Q_OBJECT

 public:
  // fnCommand gets the button's id; fnRight the id of a right press (Set or On).
  CAlarmBar(std::function<void(int)> fnCommand, std::function<void(int)> fnRight,
            QWidget* pParent);

  void SetTimeText(const std::string& sText);
  void SetAlarmText(const std::string& sText);
  void SetVersionText(const std::string& sText);
  void SetErrorStatus(const std::string& sText);
  // The unscheduled items' text (descriptions joined by ", "); empty clears it.
  void SetUnscheduled(const std::string& sText);
  QComboBox* UnscheduledList() const { return m_pUnscheduled; }
  QLabel* TimeText() const { return m_pTime; }
  QLabel* AlarmText() const { return m_pAlarm; }
  QLabel* ErrorStatus() const { return m_pError; }
  QPushButton* Button(int nId) const;

 protected:
  bool eventFilter(QObject* pObject, QEvent* pEvent) override;

 private:
  QPushButton* AddButton(const char* pText, int nId);

  std::function<void(int)> m_fnCommand;
  std::function<void(int)> m_fnRight;
  QLabel* m_pTime;
  QLabel* m_pAlarm;
  QComboBox* m_pUnscheduled;
  QLabel* m_pVersion;
  QLabel* m_pError;
  std::vector<std::pair<int, QPushButton*>> m_buttons;
};
