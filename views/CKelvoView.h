#pragma once
// What the main frame needs of each of its seven views: the view's code, its
// status-bar text and title label, entering and leaving it, bringing it up to
// date after data changed, and its own commands as rows of the frame's
// command table. Every view window of the main frame derives from it.

#include <QWidget>
#include <string>

#include "views/CCommandTable.h"
#include "views/ViewCodes.h"

class CTableManager;
class CViewFrame;

class CKelvoView : public QWidget {
  Q_OBJECT

 public:
  CKelvoView(int nCode, QWidget* pParent);

  int Code() const { return m_nCode; }
  int Mode() const { return m_nMode; }
  virtual void SetMode(int nMode) { m_nMode = nMode; }

  virtual void EnterView() {}
  virtual void ExitView() {}
  // After data changed (lines rebuilt, grid redrawn); nothing by default.
  virtual void UpdateView() {}
  // Another database was opened, or the open one closed.
  virtual void DatabaseChanged() {}

  // "Text", "Grid", "Calc" or "Form".
  virtual std::string StatusText() const { return ViewStatusText(m_nCode); }
  // "SCHEDULE", "DAILY", ... as the title bar shows it; empty for the dump.
  virtual std::string TitleLabel() const { return ViewTitleLabel(m_nCode, m_nMode); }

  // The view's own commands; the frame adds them after its own and offers
  // them to the view first.
  virtual void AddCommands(CCommandTable& /*table*/) {}

 private:
  int m_nCode;
  int m_nMode = 0;
};

// The view window of a code, working on the table manager and asking the frame.
CKelvoView* CreateKelvoView(int nCode, QWidget* pParent, CTableManager& db, CViewFrame& frame);
