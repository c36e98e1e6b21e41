#include "views/CKelvoView.h"

CKelvoView::CKelvoView(int nCode, QWidget* pParent) : QWidget(pParent), m_nCode(nCode) {}

std::string CKelvoView::StatusText() const { return StatusTextOf(m_nCode); }

std::string CKelvoView::TitleLabel() const { return TitleLabelOf(m_nCode, m_nMode); }

std::string CKelvoView::StatusTextOf(int nCode) {
  switch (nCode) {
    case VIEW_CALENDAR: return "Grid";
    case VIEW_CALCULATOR: return "Calc";
    case VIEW_MAILLIST: return "Form";
    default: return "Text";
  }
}

std::string CKelvoView::TitleLabelOf(int nCode, int nMode) {
  switch (nCode) {
    case VIEW_SCHEDULE: return "SCHEDULE";
    case VIEW_CALENDAR:
      return nMode == CALENDAR_WEEKLY ? "WEEKLY" : nMode == CALENDAR_MONTHLY ? "MONTHLY" : "DAILY";
    case VIEW_ADDRESS: return "ADDRESSES";
    case VIEW_LOG: return "LOG";
    case VIEW_CALCULATOR: return "CALCULATOR";
    case VIEW_MAILLIST: return "MAIL LIST";
    default: return "";
  }
}
