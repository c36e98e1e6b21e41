#pragma once
// "Servers on which to check email": the check interval and the account
// list, each account edited in the "Email check" dialog. Works on copies;
// the caller takes them over when the dialog is accepted.

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QSpinBox;

class CDialogEmailSetup : public QDialog {
  Q_OBJECT

 public:
  CDialogEmailSetup(int nInterval, std::vector<std::string> saAccounts, QWidget* pParent);

  int Interval() const;
  const std::vector<std::string>& Accounts() const { return m_saAccounts; }

  // The "Email check" dialog for one account string (empty for a new one);
  // the edited string, or empty when cancelled.
  static std::string EditAccount(const std::string& sAccount, QWidget* pParent);

 private:
  void OnAdd();
  void OnEdit();
  void OnDelete();
  void Reload();

  std::vector<std::string> m_saAccounts;
  QSpinBox* m_pInterval = nullptr;
  QListWidget* m_pList = nullptr;
};
