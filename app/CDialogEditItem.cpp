#include "app/CDialogEditItem.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdint>

#include "data/CItemDialogs.h"
#include "schedule/OleDate.h"
#include "views/CDateTime.h"

namespace {
constexpr int kLongField = 256;
constexpr size_t kOneColumnFields = 10;

bool IsLong(const stEditField& field) {
  return field.nMaxLen >= kLongField || field.sValue.find('\n') != std::string::npos;
}

bool IsNumeric(const stEditField& field) { return field.nMin != 0 || field.nMax != 0; }

// A numeric field of range 0..1 is a switch.
bool IsFlag(const stEditField& field) { return field.nMin == 0 && field.nMax == 1; }

// A date field shows the value's date; a text that is no date, or no text,
// starts the field at now.
CDateTime* MakeDateEditor(const stEditField& field, QWidget* pParent) {
  auto* pDate = new CDateTime(pParent);
  double dDate = 0.0;
  if (!ParseDateTimeText(field.sValue, dDate)) dDate = 0.0;
  pDate->SetInitial(dDate, field.kind == eFieldKind::DateTime);
  return pDate;
}

QWidget* MakeEditor(const stEditField& field, QWidget* pParent) {
  if (field.kind != eFieldKind::Text) return MakeDateEditor(field, pParent);
  const QString sValue = QString::fromStdString(field.sValue);
  if (IsFlag(field)) {
    auto* pCheck = new QCheckBox(pParent);
    pCheck->setChecked(field.sValue == "1");
    return pCheck;
  }
  if (IsNumeric(field)) {
    auto* pSpin = new QSpinBox(pParent);
    pSpin->setRange(std::min(field.nMin, field.nMax), std::max(field.nMin, field.nMax));
    pSpin->setValue(sValue.toInt());
    return pSpin;
  }
  if (IsLong(field)) {
    auto* pText = new QPlainTextEdit(sValue, pParent);
    pText->setTabChangesFocus(true);
    return pText;
  }
  auto* pLine = new QLineEdit(sValue, pParent);
  pLine->setMaxLength(std::max(field.nMaxLen, 1));
  return pLine;
}

QString ValueOf(QWidget* pEditor) {
  if (auto* pLine = qobject_cast<QLineEdit*>(pEditor)) return pLine->text();
  if (auto* pText = qobject_cast<QPlainTextEdit*>(pEditor)) return pText->toPlainText();
  if (auto* pSpin = qobject_cast<QSpinBox*>(pEditor)) return QString::number(pSpin->value());
  if (auto* pCheck = qobject_cast<QCheckBox*>(pEditor)) return pCheck->isChecked() ? "1" : "0";
  if (auto* pDate = qobject_cast<CDateTime*>(pEditor))
    return pDate->GetDate() == 0.0
               ? QString()
               : QString::fromStdString(FormatDateTime(pDate->GetDate(), kDateTimeFormat));
  return {};
}
}  // namespace

CDialogEditItem::CDialogEditItem(const stEditForm& form, QWidget* pParent) : QDialog(pParent) {
  setObjectName("KelvoEditItem");
  setWindowTitle(QString::fromStdString(form.sTitle.empty() ? form.sDialog : form.sTitle));
  auto* pLayout = new QVBoxLayout(this);
  // A long form (the address data) stands in two columns, so it fits a screen.
  auto* pColumns = new QHBoxLayout;
  const size_t nPerColumn = form.fields.size() > kOneColumnFields ? (form.fields.size() + 1) / 2 : SIZE_MAX;
  QFormLayout* pForm = nullptr;
  for (size_t i = 0; i < form.fields.size(); ++i) {
    if (i % nPerColumn == 0) {
      pForm = new QFormLayout;
      pColumns->addLayout(pForm);
    }
    const stEditField& field = form.fields[i];
    QWidget* pEditor = MakeEditor(field, this);
    pEditor->setObjectName(QString::fromStdString(field.sName));
    pForm->addRow(QString::fromStdString(field.sName), pEditor);
    m_paEditors.push_back(pEditor);
    if (auto* pDate = qobject_cast<CDateTime*>(pEditor))
      connect(pDate, &CDateTime::Changed, this, &CDialogEditItem::UpdateOk);
  }
  pLayout->addLayout(pColumns);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  m_pOk = pButtons->button(QDialogButtonBox::Ok);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  pLayout->addWidget(pButtons);
  UpdateOk();
}

CDateTime* CDialogEditItem::FirstInvalidDate() const {
  for (QWidget* pEditor : m_paEditors)
    if (auto* pDate = qobject_cast<CDateTime*>(pEditor); pDate && !pDate->IsValid()) return pDate;
  return nullptr;
}

void CDialogEditItem::UpdateOk() { m_pOk->setEnabled(FirstInvalidDate() == nullptr); }

void CDialogEditItem::accept() {
  if (CDateTime* pDate = FirstInvalidDate()) {
    pDate->setFocus(Qt::OtherFocusReason);
    return;
  }
  QDialog::accept();
}

void CDialogEditItem::TakeValues(stEditForm& form) const {
  for (size_t i = 0; i < form.fields.size() && i < m_paEditors.size(); ++i) {
    const std::string sText = ValueOf(m_paEditors[i]).toStdString();
    form.fields[i].sValue = CutToBytes(sText, form.fields[i].nMaxLen);
  }
}

std::string CDialogEditItem::CutToBytes(const std::string& s, int nMaxBytes) {
  if (nMaxBytes < 0 || s.size() <= size_t(nMaxBytes)) return s;
  size_t n = size_t(nMaxBytes);
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}
