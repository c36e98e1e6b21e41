#include "views/CEmptyView.h"

#include <QLabel>
#include <QVBoxLayout>

CEmptyView::CEmptyView(int nCode, QWidget* pParent) : CKelvoView(nCode, pParent), m_pTitle(new QLabel(this)) {
  auto* pLayout = new QVBoxLayout(this);
  m_pTitle->setAlignment(Qt::AlignCenter);
  QFont font = m_pTitle->font();
  font.setPointSize(font.pointSize() * 2);
  font.setBold(true);
  m_pTitle->setFont(font);
  pLayout->addWidget(m_pTitle);
  SetMode(0);
}

void CEmptyView::SetMode(int nMode) {
  CKelvoView::SetMode(nMode);
  const std::string sTitle = TitleLabel();
  m_pTitle->setText(QString::fromStdString(sTitle.empty() ? "DATABASE" : sTitle));
}
