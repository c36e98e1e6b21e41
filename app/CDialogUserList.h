#pragma once
// The "User list" dialog: the lock manager, the computers on and off line,
// this copy's address and port, and the buttons that change them. What it
// shows and does comes from CUserListModel.

#include <QDialog>

class CUserListModel;
class QLabel;
class QListWidget;

class CDialogUserList : public QDialog {
  Q_OBJECT

 public:
  CDialogUserList(CUserListModel& model, QWidget* pParent);

 private:
  // Runs a button's action and shows the texts afresh.
  void Act(int (CUserListModel::*pAction)());
  void EditComputerList();
  void Reload();

  CUserListModel& m_model;
  QLabel* m_pHeader = nullptr;
  QListWidget* m_pList = nullptr;
  QLabel* m_pAddress = nullptr;
  QLabel* m_pPort = nullptr;
};
