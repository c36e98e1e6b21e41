#pragma once
// The grid window: a scroll area over the cells, title and lines below of a
// grid source, ruled and coloured, that reports clicked cells to the source
// and prints the grid in page sections. The same painting routine draws on
// the screen and on the printer, measuring texts on the device it draws on.
// The view is a CKelvoView holding a QAbstractScrollArea that fills it; the
// area's viewport is where the grid is painted.

#include <memory>
#include <string>

#include "views/CGridLayout.h"
#include "views/CGridSource.h"
#include "views/CKelvoView.h"
#include "views/CViewFrame.h"

class QAbstractScrollArea;
class QPagedPaintDevice;
class QPainter;
class CGridArea;

class CGridView : public CKelvoView, public CGridHost {
  Q_OBJECT

 public:
  // The frame receives the view's frame keys (Ctrl+M); the source is the
  // grid's, with this window as its host.
  CGridView(std::unique_ptr<CGridSource> pSource, QWidget* pParent, CViewFrame& frame = CViewFrame::None(),
            int nCode = VIEW_CALENDAR);
  ~CGridView() override;

  CGridSource& Source() const { return *m_pSource; }
  const CGridLayout& Layout() const { return m_layout; }
  QAbstractScrollArea* ScrollArea() const;

  // CKelvoView: the source's.
  void SetMode(int nMode) override;
  void EnterView() override;
  void ExitView() override { m_pSource->ExitView(); }
  void UpdateView() override { m_pSource->RedrawGrid(); }
  void DatabaseChanged() override { m_pSource->DatabaseChanged(); }
  std::string TitleLabel() const override;
  void AddCommands(CCommandTable& table) override { m_pSource->AddCommands(table); }

  // CGridHost
  void Invalidate() override;
  void PrintGrid() override;
  void InitializeWindow(const std::string& sCaption, int nMenu) override;

  // Prints the grid's sections on a printer already set up, one page each;
  // the number of pages, or -1 when the device failed.
  int PrintSections(QPagedPaintDevice& device);
  // Draws the content laid out on a device: the rules, title, cells and
  // lines below, shifted by the layout's offsets.
  static void PaintGrid(QPainter& painter, const stGridContent& content, const CGridLayout& layout);

 protected:
  void keyPressEvent(QKeyEvent* pEvent) override;

 private:
  friend class CGridArea;
  void LayOut();
  void ApplyBars();
  void PaintViewport(QPainter& painter);
  void Press(int x, int y, bool bLeft);
  void BarsMoved();
  void ScrollBy(bool bVertical, eGridScroll step);

  std::unique_ptr<CGridSource> m_pSource;
  CViewFrame& m_frame;
  CGridArea* m_pArea;
  CGridLayout m_layout;
  bool m_bSyncingBars = false;
};
