#include "app/CDialogChoice.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

CDialogChoice::CDialogChoice(const std::string& sCaption, const std::vector<std::string>& items,
                             bool bMultiple, QWidget* pParent, const std::string& sButton)
    : QDialog(pParent), m_pList(new QListWidget(this)) {
  setObjectName("KelvoChoice");
  setWindowTitle(QString::fromStdString(sCaption));
  auto* pLayout = new QVBoxLayout(this);
  for (const auto& s : items) m_pList->addItem(QString::fromStdString(s));
  m_pList->setSelectionMode(bMultiple ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
  if (!items.empty()) m_pList->setCurrentRow(0);
  pLayout->addWidget(m_pList);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (!sButton.empty()) {
    QPushButton* pExtra = pButtons->addButton(QString::fromStdString(sButton), QDialogButtonBox::ActionRole);
    connect(pExtra, &QPushButton::clicked, this, [this] {
      m_bButton = true;
      accept();
    });
  }
  connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  pLayout->addWidget(pButtons);
}

std::vector<int> CDialogChoice::Chosen() const {
  std::vector<int> na;
  for (const QModelIndex& index : m_pList->selectionModel()->selectedRows()) na.push_back(index.row());
  std::sort(na.begin(), na.end());
  return na;
}
