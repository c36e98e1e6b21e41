// The view window of each code: line views are a window over their line
// source; views that are not built yet are empty views.

#include "views/CEmptyView.h"
#include "views/CKelvoView.h"

CKelvoView *CreateKelvoView(int nCode, QWidget *pParent, CTableManager & /*db*/, CViewFrame & /*frame*/) {
  return new CEmptyView(nCode, pParent);
}
