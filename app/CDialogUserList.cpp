#include "app/CDialogUserList.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "network/CUserListModel.h"
#include "support/CUserInterface.h"

CDialogUserList::CDialogUserList(CUserListModel& model, QWidget* pParent)
    : QDialog(pParent), m_model(model) {
  setObjectName("KelvoUserList");
  setWindowTitle("User list");
  auto* pLayout = new QVBoxLayout(this);
  m_pHeader = new QLabel(this);
  m_pList = new QListWidget(this);
  m_pList->setMinimumSize(360, 160);
  m_pAddress = new QLabel(this);
  m_pPort = new QLabel(this);
  pLayout->addWidget(m_pHeader);
  pLayout->addWidget(m_pList, 1);
  pLayout->addWidget(m_pAddress);
  pLayout->addWidget(m_pPort);
  auto* pGrid = new QGridLayout;
  const auto addButton = [&](const char* pText, int nRow, int nColumn, auto fn) {
    auto* pButton = new QPushButton(pText, this);
    pButton->setAutoDefault(false);
    connect(pButton, &QPushButton::clicked, this, fn);
    pGrid->addWidget(pButton, nRow, nColumn);
  };
  addButton("Reset computer list", 0, 0, [this] { Act(&CUserListModel::ResetComputerList); });
  addButton("Edit computer list", 0, 1, [this] { EditComputerList(); });
  addButton("Network adapters", 1, 0,
            [this] { GetUi().ShowText("IP Address list", m_model.AdapterListText()); });
  addButton("Change address for local computer", 1, 1, [this] { Act(&CUserListModel::ChangeAddress); });
  addButton("Change port", 2, 0, [this] { Act(&CUserListModel::ChangePort); });
  pLayout->addLayout(pGrid);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  pLayout->addWidget(pButtons);
  Reload();
}

void CDialogUserList::Act(int (CUserListModel::*pAction)()) {
  (m_model.*pAction)();
  Reload();
}

void CDialogUserList::EditComputerList() {
  const auto sText = GetUi().EditText("Edit computer list", m_model.ComputerListText());
  if (sText) m_model.SaveComputerListText(*sText);
  Reload();
}

void CDialogUserList::Reload() {
  m_pHeader->setText(QString::fromStdString(m_model.HeaderText()));
  m_pList->clear();
  for (const auto& sLine : m_model.ListLines()) m_pList->addItem(QString::fromStdString(sLine));
  m_pAddress->setText(QString::fromStdString(m_model.AddressText()));
  m_pPort->setText(QString::fromStdString(m_model.PortText()));
}
