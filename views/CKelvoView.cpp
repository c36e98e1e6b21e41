#include "views/CKelvoView.h"

CKelvoView::CKelvoView(int nCode, QWidget* pParent) : QWidget(pParent), m_nCode(nCode) {}
