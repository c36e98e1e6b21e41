#pragma once
// Questions to the user, the window list and the busy depth. Every question of
// the core goes through GetResponse, which suspends the data refresh while the
// question is on screen.

#include <functional>
#include <string>

// Shows a message box and returns the button pressed. The refresh-suspension
// hook (installed by the table manager while a database is open) is called
// with false before the box and true after it, labelled with the prompt.
int GetResponse(const std::string& sPrompt, int nButtons, int nHelpContext = 0, int nDefault = 0);

using RefreshSuspendHook = std::function<void(bool bOn, const std::string& sLabel)>;
void SetRefreshSuspendHook(RefreshSuspendHook hook);

// The program is to end (a quit signal, the session's end): from then on every
// question gets its cancel (or no) answer and every wait box is aborted, so
// the program reaches its ordinary close wherever it stands.
void SetQuitRequested(bool bOn);
bool IsQuitRequested();

// Processes all pending user-interface events.
void ClearMessageBuffer();

// Window list: the stack of frame and dialog windows open one above another.
void AddToWndList(const void* pWindow);
void RemoveFromWndList(const void* pWindow);
void EnableWndList(bool bEnable);
int WndListSize();

// Busy depth: raised by wait boxes, questions and table-manager operations.
// While above zero the timer only keeps the clock and notes work owed.
int BusyDepth();
class CBusyScope {
 public:
  CBusyScope();
  ~CBusyScope();
  CBusyScope(const CBusyScope&) = delete;
  CBusyScope& operator=(const CBusyScope&) = delete;
};
