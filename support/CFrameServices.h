#pragma once
// What the core asks of the main window besides questions: the status-bar
// panes, the alarm bar's error status, and bringing the views up to date
// after a table was re-read. The Qt main frame implements it; without one
// (tools, tests) the calls do nothing. Called on the user-interface thread.

#include <string>

class CFrameServices {
 public:
  virtual ~CFrameServices() = default;
  // "Users %u"; a negative count blanks the pane.
  virtual void StatusPaneUsers(int /*nCount*/) {}
  // "Refresh ON" / "Refresh OFF".
  virtual void StatusPaneRefresh(bool /*bOn*/) {}
  // "Line %u"; a negative line blanks the pane.
  virtual void StatusPaneLineNumber(int /*nLine*/) {}
  // The error status text of the alarm bar.
  virtual void ShowErrorStatus(const std::string& /*sText*/) {}
  // A table (5 categories, 6 persons, 8 schedule, 9 log; 255 all) was re-read:
  // the view that shows it, when current, rebuilds itself.
  virtual void TableRefreshed(int /*nTable*/) {}
  // A tone of the given frequency (Hz) and length (ms), as when the lock
  // manager goes off line.
  virtual void Beep(int /*nFrequency*/, int /*nMillis*/) {}
};

// The current frame; never null (a default that does nothing).
CFrameServices& FrameServices();
void SetFrameServices(CFrameServices* pServices);
