#pragma once
// The commands of the main frame and of the current view, each written once:
// its id, where it sits in the menus, its shortcut, when it can be used and
// what it does. The Qt frame builds its menu bar, the enabled states and the
// dispatch from the table; a headless caller runs the same rows by id.

#include <functional>
#include <string>
#include <vector>

// When a command can be used.
enum class eEnable {
  Always,
  DatabaseOpen,    // only while a database is open (the handler is not run
                   // otherwise)
  DatabaseClosed,  // only while none is open
};

// The menu of rows that stand on the menu bar themselves (no drop-down).
inline constexpr const char* MENU_BAR = "|";

struct stCommand {
  int nId = 0;            // 0: a separator in its menu
  std::string sMenu;      // the menu it sits in, "&File"; empty: no menu entry (a key only)
  std::string sText;      // "&Open..."
  std::string sShortcut;  // "Ctrl+M", in QKeySequence's portable text; empty for none
  eEnable enable = eEnable::Always;
  std::function<void()> fnRun;
  std::function<bool()> fnChecked;  // set for a check-mark entry
};

class CCommandTable {
 public:
  void Add(int nId, std::string sMenu, std::string sText, eEnable enable, std::function<void()> fnRun,
           std::string sShortcut = "");
  // Makes the row a check-mark entry.
  void SetChecked(int nId, std::function<bool()> fnChecked);
  void Separator(const std::string& sMenu);
  void Clear() { m_caRows.clear(); }

  const std::vector<stCommand>& Rows() const { return m_caRows; }
  // The row of an id; null when the table has none.
  const stCommand* Find(int nId) const;
  static bool IsEnabled(const stCommand& command, bool bDatabaseOpen);
  // Runs the command when the table has it; true when it has it (also when
  // it was not enabled, so nobody else handles the id).
  bool Run(int nId, bool bDatabaseOpen) const;

 private:
  std::vector<stCommand> m_caRows;
};
