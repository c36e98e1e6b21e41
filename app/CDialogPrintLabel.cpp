#include "app/CDialogPrintLabel.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/CTableManager.h"

CDialogPrintLabel::CDialogPrintLabel(CTableManager& db, const std::string& sText, QWidget* pParent)
    : QDialog(pParent), m_db(db), m_print(db), m_pText(new QPlainTextEdit(this)) {
  setObjectName("KelvoPrintLabel");
  setWindowTitle("Print label");
  QString s = QString::fromStdString(sText);
  s.replace("\r\n", "\n");
  if (s.endsWith('\n')) s.chop(1);
  m_pText->setPlainText(s);
  ApplyFont();
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addWidget(m_pText);
  auto* pButtons = new QHBoxLayout;
  auto add = [this, pButtons](const char* pText, auto fn) {
    auto* pButton = new QPushButton(tr(pText), this);
    pButton->setObjectName(QString(pText).remove('&'));
    pButton->setAutoDefault(false);
    connect(pButton, &QPushButton::clicked, this, fn);
    pButtons->addWidget(pButton);
  };
  add("P&rinter", [this] { m_print.ChoosePrinter(); });
  add("&Layout", [this] { m_print.EditLayout(); });
  add("&Format", [this] {
    m_print.EditFormat();
    ApplyFont();
  });
  add("&Print", [this] { OnPrint(); });
  add("&Close", [this] { reject(); });
  pLayout->addLayout(pButtons);
  resize(420, 260);
}

void CDialogPrintLabel::ApplyFont() {
  const stFormatRecord* pFormat = m_db.GetFormat(CLabelPrint::kLabelFormat);
  if (!pFormat) return;
  QFont font(QString::fromStdString(pFormat->m_sFaceName));
  font.setPointSizeF(std::max(1.0, pFormat->m_nSize / 10.0));
  font.setBold(pFormat->m_bBold != 0);
  font.setItalic(pFormat->m_bItalics != 0);
  m_pText->setFont(font);
}

std::string CDialogPrintLabel::LabelText() const {
  QString s = m_pText->toPlainText();
  s.replace("\n", "\r\n");
  return s.toStdString();
}

void CDialogPrintLabel::OnPrint() { m_print.Print(LabelText()); }
