#pragma once
// A list to choose one entry (or several) from, with OK and Cancel.

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;

class CDialogChoice : public QDialog {
  Q_OBJECT

 public:
  CDialogChoice(const std::string& sCaption, const std::vector<std::string>& items,
                bool bMultiple, QWidget* pParent);
  std::vector<int> Chosen() const;
  QListWidget* List() const { return m_pList; }

 private:
  QListWidget* m_pList;
};
