#pragma once
// The event log view (F10): the log entries of the open database, newest
// first, one line each: logged events, messages between users and, in the
// notes mode the main frame opens behind its access check, only the undated
// notes. Entries are filtered by a person contacted or by categories, and
// added, edited, deleted, sent as messages and printed here.
//
// The view lists codes, never pointers, and sorts its own list for display:
// building the lines never writes to the file, however often it runs.

#include <cstdint>
#include <string>
#include <vector>

#include "views/CScrollBase.h"

class CLogRecord;

// The view's menu commands.
enum eLogCommand : int {
  ID_LOG_SELECT_ALL = 32842,
  ID_LOG_SELECT_CATEGORY = 32827,
  ID_LOG_SELECT_PERSON = 32830,
  ID_LOG_SELECT_FORMAT = 32828,
  ID_LOG_ADD = 32824,
  ID_LOG_MESSAGE = 32851,
  ID_LOG_EDIT = 32825,
  ID_LOG_DELETE = 32826,
  ID_LOG_PRINT = 32840,
};

class CLogView : public CScrollBase {
 public:
  // The log's line format record.
  static constexpr uint32_t kLogFormat = 9;
  // Longer single-line texts are cut to this many characters and "...".
  static constexpr size_t kDescriptionChars = 40;

  explicit CLogView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);

  // The mode (LOG_NORMAL or LOG_NOTES) is set before the frame enters the view.
  void EnterView() override;
  void ExitView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  void EditLine() override;
  void AddCommands(CCommandTable& table) override;
  void DatabaseChanged() override;

  // ---- commands ----
  void SelectAll();
  void SelectCategories();
  void SelectPersonContacted();
  void SelectFormat();
  // A note in the notes mode, an event otherwise.
  void AddEntry();
  void AddMessage();
  void DeleteEntry();

  // Whether an entry is listed with the view's filters and mode.
  bool Passes(const CLogRecord& entry) const;
  // The description column of a text: its first line when it has more than
  // one, else the text, cut to kDescriptionChars characters and "...".
  static std::string Description(const std::string& sText);
  // The line status by the text's first character: '+' red, '*' blue, '!' green.
  static char StatusOf(const std::string& sText);
  // Prints a message to a user, one line of paper per line of its text, in
  // the view's format (the built-in one and layout without a database).
  // PrintBlock's result.
  static int PrintMessage(const CTableManager* pDB, const std::string& sText);

  // The code of the highlighted entry; DB_NONE on an empty list.
  uint32_t HighlightedCode() const;
  const std::vector<uint32_t>& Codes() const { return m_naCodes; }
  const std::vector<uint32_t>& SelectedCategories() const { return m_naSelectedCategories; }
  uint32_t ContactFilter() const { return m_nContactFilter; }

 private:
  // The entry of line i as the table holds it now; none when it is gone.
  const CLogRecord* EntryAt(int nLine) const;
  std::string ContactText(const CLogRecord& entry) const;

  // Codes in display order, with the table position each had at the last
  // rebuild (checked before use, so a refresh never leaves a stale entry).
  std::vector<uint32_t> m_naCodes;
  mutable std::vector<uint32_t> m_naPositions;
  std::vector<uint32_t> m_naSelectedCategories;
  uint32_t m_nContactFilter = DB_NONE;
};
