#include "app/CDialogNotes.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>

#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

CDialogNotes::CDialogNotes(const std::string& sNotesString, QWidget* pParent)
    : QDialog(pParent), m_sOriginal(sNotesString) {
  setObjectName("KelvoNotes");
  setWindowTitle(tr("To-do"));
  auto* pLayout = new QGridLayout(this);
  const auto saFields = CConfigFile::SplitNotes(sNotesString);
  for (int i = 0; i < 4; ++i) {
    m_paFields[size_t(i)] = new QPlainTextEdit(QString::fromStdString(saFields[size_t(i)]), this);
    m_paFields[size_t(i)]->setObjectName(QString("Note%1").arg(i + 1));
    m_paFields[size_t(i)]->setTabChangesFocus(true);
    pLayout->addWidget(new QLabel(tr("Note %1").arg(i + 1), this), (i / 2) * 2, i % 2);
    pLayout->addWidget(m_paFields[size_t(i)], (i / 2) * 2 + 1, i % 2);
  }
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, this, &CDialogNotes::reject);
  pLayout->addWidget(pButtons, 4, 0, 1, 2);
  resize(640, 420);
}

std::string CDialogNotes::NotesString() const {
  std::vector<std::string> sa;
  for (const auto* pField : m_paFields) sa.push_back(pField->toPlainText().toStdString());
  return CConfigFile::JoinNotes(sa);
}

void CDialogNotes::reject() {
  if (NotesString() != CConfigFile::JoinNotes(CConfigFile::SplitNotes(m_sOriginal)) &&
      GetResponse("You have made changes. Are you sure you want to cancel?", MB_YESNO) != IDYES)
    return;
  QDialog::reject();
}
