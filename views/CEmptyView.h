#pragma once
// The slot of a view that is not built yet: it shows the view's title and
// nothing else, so the frame's switching, menus and panes work around it.

#include "views/CKelvoView.h"

class QLabel;

class CEmptyView : public CKelvoView {
  Q_OBJECT

 public:
  CEmptyView(int nCode, QWidget* pParent);
  void SetMode(int nMode) override;

 private:
  QLabel* m_pTitle;
};
