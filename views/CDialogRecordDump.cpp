#include "views/CDialogRecordDump.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "engine/CRecordDumpEdit.h"

namespace {

void Fill(QListWidget* pList, const std::vector<std::string>& saEntries) {
  const int nRow = pList->currentRow();
  pList->clear();
  for (const std::string& s : saEntries) pList->addItem(QString::fromStdString(s));
  if (nRow >= 0 && nRow < pList->count()) pList->setCurrentRow(nRow);
}

QPushButton* Button(const char* pText, QWidget* pParent) {
  auto* pButton = new QPushButton(pText, pParent);
  pButton->setAutoDefault(false);  // Enter moves on, it never presses a button
  return pButton;
}

}  // namespace

CDialogRecordDump::CDialogRecordDump(CRecordDumpEdit& record, QWidget* pParent)
    : QDialog(pParent), m_record(record), m_pHeader(new QListWidget(this)), m_pData(new QListWidget(this)) {
  setObjectName("KelvoRecordDump");
  setWindowTitle("Record dump");
  QFont fixed("Courier New");
  fixed.setStyleHint(QFont::Monospace);
  m_pHeader->setFont(fixed);
  m_pData->setFont(fixed);
  auto* pLayout = new QGridLayout(this);
  pLayout->addWidget(new QLabel(QString("Header at %1").arg(record.Location()), this), 0, 0);
  pLayout->addWidget(new QLabel("Data", this), 0, 1);
  pLayout->addWidget(m_pHeader, 1, 0);
  pLayout->addWidget(m_pData, 1, 1);
  QPushButton* pEditHeader = Button("Edit", this);
  QPushButton* pEditData = Button("Edit", this);
  pEditHeader->setObjectName("EditHeader");
  pEditData->setObjectName("EditData");
  pLayout->addWidget(pEditHeader, 2, 0);
  pLayout->addWidget(pEditData, 2, 1);
  auto* pButtons = new QDialogButtonBox(this);
  pButtons->addButton(Button("OK", this), QDialogButtonBox::AcceptRole);
  pButtons->addButton(Button("Cancel", this), QDialogButtonBox::RejectRole);
  pLayout->addWidget(pButtons, 3, 0, 1, 2);
  connect(pEditHeader, &QPushButton::clicked, this, &CDialogRecordDump::EditHeader);
  connect(pEditData, &QPushButton::clicked, this, &CDialogRecordDump::EditData);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  FillLists();
  resize(560, 480);
}

void CDialogRecordDump::FillLists() {
  Fill(m_pHeader, m_record.HeaderEntries());
  Fill(m_pData, m_record.DataEntries());
}

void CDialogRecordDump::EditHeader() {
  const int nRow = m_pHeader->selectedItems().isEmpty() ? -1 : m_pHeader->currentRow();
  // Both lists: the data entries say which bytes are data, by the header's DataLen.
  if (m_record.EditHeaderByte(nRow)) FillLists();
}

void CDialogRecordDump::EditData() {
  const int nRow = m_pData->selectedItems().isEmpty() ? -1 : m_pData->currentRow();
  if (m_record.EditDataByte(nRow)) Fill(m_pData, m_record.DataEntries());
}

void CDialogRecordDump::keyPressEvent(QKeyEvent* pEvent) {
  if (pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) {
    focusNextChild();
    return;
  }
  QDialog::keyPressEvent(pEvent);
}
