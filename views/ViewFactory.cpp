// The view window of each code: line views are a window over their line
// source; views that are not built yet are empty views.

#include "views/CAddressView.h"
#include "views/CEmptyView.h"
#include "views/CKelvoView.h"
#include "views/CLineView.h"
#include "views/CLogView.h"

CKelvoView* CreateKelvoView(int nCode, QWidget* pParent, CTableManager& db, CViewFrame& frame) {
  switch (nCode) {
    case VIEW_ADDRESS: return new CLineView(std::make_unique<CAddressView>(&db, &frame), pParent);
    case VIEW_LOG: return new CLineView(std::make_unique<CLogView>(&db, &frame), pParent);
    default: return new CEmptyView(nCode, pParent);
  }
}
