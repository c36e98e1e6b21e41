#pragma once
// A list to choose one entry (or several) from, with OK and Cancel, and
// optionally one more button that also ends the choice ("Delete").

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;

class CDialogChoice : public QDialog {
  Q_OBJECT

 public:
  CDialogChoice(const std::string& sCaption, const std::vector<std::string>& items, bool bMultiple,
                QWidget* pParent, const std::string& sButton = "");
  std::vector<int> Chosen() const;
  // Whether the extra button ended the dialog.
  bool ButtonPressed() const { return m_bButton; }
  QListWidget* List() const { return m_pList; }

 private:
  QListWidget* m_pList;
  bool m_bButton = false;
};
