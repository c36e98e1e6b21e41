#pragma once
// What the main frame needs of each of its seven views: the view's code, its
// status-bar text and title label, entering and leaving it, bringing it up to
// date after data changed, its own menus and the commands it handles before
// the frame does. Every view of the main frame derives from it.

#include <QWidget>
#include <string>

class QMenuBar;

enum eViewCode : int {
  VIEW_SCHEDULE = 0,
  VIEW_CALENDAR = 1,
  VIEW_ADDRESS = 2,
  VIEW_LOG = 3,
  VIEW_CALCULATOR = 4,
  VIEW_MAILLIST = 5,
  VIEW_DATABASE = 6,
  VIEW_COUNT = 7,
};

// Sub-modes: the calendar's grids and the log's notes mode.
enum eViewMode : int {
  CALENDAR_DAILY = 0,
  CALENDAR_WEEKLY = 1,
  CALENDAR_MONTHLY = 2,
  LOG_NORMAL = 0,
  LOG_NOTES = 1,
};

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

  // "Text", "Grid", "Calc" or "Form".
  virtual std::string StatusText() const;
  // "SCHEDULE", "DAILY", ... as the title bar shows it; empty for the dump.
  virtual std::string TitleLabel() const;

  // The view's own menus, added after the frame's.
  virtual void AddMenus(QMenuBar* /*pMenuBar*/) {}
  // A command goes to the current view first; true when the view handled it.
  virtual bool OnCommand(int /*nId*/) { return false; }

  static std::string StatusTextOf(int nCode);
  static std::string TitleLabelOf(int nCode, int nMode);

 private:
  int m_nCode;
  int m_nMode = 0;
};
