#pragma once
// The window of a line view: it paints the lines its line source lays out
// for the window's size, keeps the scroll bars in step with the source, and
// hands keys, clicks, the wheel and header drags to the source. Everything a
// view does besides painting is in its source (a CScrollBase).

#include <QScrollBar>
#include <memory>
#include <vector>

#include "views/CKelvoView.h"
#include "views/CLineViewHost.h"
#include "views/CScrollBase.h"

class CDrawTarget;
class QPainter;

class CLineView : public CKelvoView, public CLineViewHost {
  Q_OBJECT

 public:
  CLineView(std::unique_ptr<CScrollBase> pSource, QWidget* pParent);
  ~CLineView() override;

  CScrollBase& Source() const { return *m_pSource; }

  // CKelvoView: all of it is the source's.
  void SetMode(int nMode) override;
  void EnterView() override { m_pSource->EnterView(); }
  void ExitView() override { m_pSource->ExitView(); }
  void UpdateView() override { m_pSource->UpdateView(); }
  void DatabaseChanged() override { m_pSource->DatabaseChanged(); }
  std::string StatusText() const override { return m_pSource->StatusText(); }
  std::string TitleLabel() const override { return m_pSource->TitleLabel(); }
  void AddCommands(CCommandTable& table) override { m_pSource->AddCommands(table); }

  // CLineViewHost
  void Invalidate() override;
  void RepaintNow() override { repaint(); }
  void RaiseWindow() override;

  // The header's tab stops in pixels, as drawn last.
  const std::vector<unsigned>& TabPixels() const { return m_naTabPixels; }
  QScrollBar* VerticalBar() const { return m_pVertBar; }
  QScrollBar* HorizontalBar() const { return m_pHorzBar; }

 protected:
  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void keyPressEvent(QKeyEvent* pEvent) override;
  void mouseMoveEvent(QMouseEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void mouseReleaseEvent(QMouseEvent* pEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
  void wheelEvent(QWheelEvent* pEvent) override;
  bool focusNextPrevChild(bool bNext) override;

 private:
  void DrawHeader(QPainter& painter, CDrawTarget& target);
  void DrawLines(QPainter& painter, CDrawTarget& target);
  void DrawColumnRules(QPainter& painter);
  void ResetScrollBars();
  void LayoutBars();
  void OnVertAction(int nAction);
  void OnHorzAction(int nAction);
  int TabNear(int x) const;
  void DragTab(int x);

  std::unique_ptr<CScrollBase> m_pSource;
  QScrollBar* m_pVertBar;
  QScrollBar* m_pHorzBar;
  std::vector<unsigned> m_naTabPixels;
  int m_nPixelsPerInchX = 96;
  int m_nTabUnderPointer = -1;
  bool m_bDragging = false;
};
