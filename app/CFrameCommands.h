#pragma once
// The main frame's commands: the rows of its command table (id, menu, text,
// shortcut, when it can be used, what it does) and the handlers that are
// not about opening, closing or testing the database: the notes and to-do
// buttons of the alarm bar, the alarm switches, the diagnostic level, the
// category list, the user list and short messages.

#include <string>

#include "views/CCommandTable.h"

class CMainFrame;

class CFrameCommands {
 public:
  explicit CFrameCommands(CMainFrame& frame) : m_frame(frame) {}

  // The frame's rows, in menu order.
  void AddTo(CCommandTable& table);

  // Right-click on an alarm bar button: the alert interval, the alert mode.
  void OnAlarmBarRight(int nId);
  // Ctrl+M: a short message to every computer.
  void SendUserMessage();
  void OnUserList();
  // Timer steps: message records addressed to this user, and short
  // messages from other computers.
  void UserMessagesStep();
  void LookForUserMessage();

  // The notes mode's access codes (a privacy switch, not a protection).
  static bool IsNotesAccessCode(const std::string& sAnswer);

 private:
  void AddFileMenu(CCommandTable& table);
  void AddViewMenu(CCommandTable& table);
  void AddSetupAndTools(CCommandTable& table);
  void AddKeysAndButtons(CCommandTable& table);
  void OnNotesButton();
  void OnTodoButton();
  void OnLogDiagnostic();
  void OnSetupCategories();
  void StartAutoTest();

  CMainFrame& m_frame;
};
