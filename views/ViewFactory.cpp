// The view window of each code: line views are a window over their line
// source; views that are not built yet are empty views.

#include "views/CAddressView.h"
#include "views/CCalculatorView.h"
#include "views/CCalendarView.h"
#include "views/CDatabaseView.h"
#include "views/CDialogRecordDump.h"
#include "views/CEmptyView.h"
#include "views/CGridView.h"
#include "views/CKelvoView.h"
#include "views/CLineView.h"
#include "views/CLogView.h"
#include "views/CScheduleView.h"

namespace {

// The record dump view with its dialog, shown over the view's window.
CKelvoView* CreateDatabaseView(QWidget* pParent, CTableManager& db, CViewFrame& frame) {
  auto pSource = std::make_unique<CDatabaseView>(&db, &frame);
  CDatabaseView* pDump = pSource.get();
  auto* pView = new CLineView(std::move(pSource), pParent);
  pDump->SetRecordDialog([pView](CRecordDumpEdit& record) {
    CDialogRecordDump dialog(record, pView);
    return dialog.exec() == QDialog::Accepted;
  });
  return pView;
}

}  // namespace
#include "views/CMailListView.h"

CKelvoView* CreateKelvoView(int nCode, QWidget* pParent, CTableManager& db, CViewFrame& frame) {
  switch (nCode) {
    case VIEW_ADDRESS: return new CLineView(std::make_unique<CAddressView>(&db, &frame), pParent);
    case VIEW_LOG: return new CLineView(std::make_unique<CLogView>(&db, &frame), pParent);
    case VIEW_DATABASE: return CreateDatabaseView(pParent, db, frame);
    case VIEW_SCHEDULE: return new CLineView(std::make_unique<CScheduleView>(&db, &frame), pParent);
    case VIEW_CALENDAR: return new CGridView(std::make_unique<CCalendarView>(&db, &frame), pParent, frame);
    // The calculator needs no open database.
    case VIEW_CALCULATOR: return new CLineView(std::make_unique<CCalculatorView>(&db, &frame), pParent);
    case VIEW_MAILLIST: return new CLineView(std::make_unique<CMailListView>(&db, &frame), pParent);
    default: return new CEmptyView(nCode, pParent);
  }
}
