#pragma once
// The "Category list" dialog: the categories in table order (a category no
// item uses shows as "%s (not used)"), with Add, Edit and Delete through the
// table manager. It reloads after each command and when another copy's
// change to the categories has been read.

#include <QDialog>
#include <cstdint>
#include <vector>

class CTableManager;
class QListWidget;

class CDialogCategoryList : public QDialog {
  Q_OBJECT

 public:
  CDialogCategoryList(CTableManager& db, QWidget* pParent);
  void Reload();

 private:
  void Command(char cCommand);

  CTableManager& m_db;
  QListWidget* m_pList = nullptr;
  std::vector<uint32_t> m_naCodes;
};
