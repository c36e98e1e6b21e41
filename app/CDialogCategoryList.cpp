#include "app/CDialogCategoryList.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/CTableManager.h"

CDialogCategoryList::CDialogCategoryList(CTableManager& db, QWidget* pParent)
    : QDialog(pParent), m_db(db) {
  setObjectName("KelvoCategoryList");
  setWindowTitle("Category list");
  auto* pLayout = new QVBoxLayout(this);
  m_pList = new QListWidget(this);
  m_pList->setMinimumSize(280, 220);
  pLayout->addWidget(m_pList, 1);
  auto* pRow = new QHBoxLayout;
  for (const auto& [pText, cCommand] : {std::pair{"Add", 'A'}, {"Edit", 'E'}, {"Delete", 'D'}}) {
    auto* pButton = new QPushButton(pText, this);
    pButton->setAutoDefault(false);
    connect(pButton, &QPushButton::clicked, this, [this, c = cCommand] { Command(c); });
    pRow->addWidget(pButton);
  }
  pLayout->addLayout(pRow);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  pLayout->addWidget(pButtons);
  connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] { Command('E'); });
  Reload();
}

void CDialogCategoryList::Command(char cCommand) {
  m_db.CategoryListCommand(CTableManager::eCategoryCommand(cCommand), m_pList->currentRow(),
                           m_naCodes);
  Reload();
}

void CDialogCategoryList::Reload() {
  const int nRow = m_pList->currentRow();
  m_pList->clear();
  for (const auto& sLine : m_db.CategoryListLines(m_naCodes)) m_pList->addItem(QString::fromStdString(sLine));
  if (nRow >= 0 && nRow < m_pList->count()) m_pList->setCurrentRow(nRow);
}
