#pragma once
// The calculator view (F11): an adding-machine tape. Each line of the tape
// holds one number with an optional operator before it, an optional label
// and an optional comment; the running total of the tape is shown below it.
// Operator keys typed at the end of the tape turn the last line into an
// operation; the tape can be edited, saved to and recalled from ".cal"
// files, printed, and one line can be stored and inserted again.
//
// It needs no database: the tape, its files and its printing work the same
// with none open.

#include <string>
#include <vector>

#include "views/CScrollBase.h"

// The view's menu commands.
enum eCalculatorCommand : int {
  ID_CALC_PRINT = 32839,
  ID_CALC_CALCULATE = 1005,
  ID_CALC_CLEAR_ALL = 1057,
  ID_CALC_CLEAR_LAST = 1058,
  ID_CALC_CLEAR_LINE = 1059,
  ID_CALC_SAVE = 1026,
  ID_CALC_RECALL_FILE = 1027,
  ID_CALC_STORE_LINE = 1028,
  ID_CALC_RECALL_LINE = 1029,
};

// One tape line taken apart.
struct stTapeLine {
  std::string sOperators;  // the operator characters before the number
  std::string sNumber;     // digits and points
  std::string sLabel;      // text that names the number
  std::string sComment;    // from the first comment character on
};

class CCalculatorView : public CScrollBase {
 public:
  explicit CCalculatorView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);

  void EnterView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  bool HasData() const override { return true; }
  void ProcessKey(int nKey) override;
  bool KeyText(const std::string& sText) override;
  void MarkLine() override { TypeText(" "); }
  void DeleteLine() override { ClearLine(); }
  void AddCommands(CCommandTable& table) override;

  // ---- the tape ----
  // The tape's text, lines joined with CR LF.
  std::string Tape() const;
  // Replaces the tape (either line ending); the caret goes to its end.
  void SetTape(const std::string& sText);
  const std::vector<std::string>& Lines() const { return m_saLines; }
  // The caret: a line of the tape and a column in it (both clamped).
  void SetCaret(int nLine, int nColumn);
  int CaretLine() const { return m_nCaretLine; }
  int CaretColumn() const { return m_nCaretColumn; }
  // Types at the caret; a LF starts a new line.
  void TypeText(const std::string& sText);
  // Enter: a line break at the caret, then the total again.
  void Enter();
  void Backspace();

  // ---- the total ----
  // The total of the tape, from 0.0 line by line from the top.
  double Docalculation() const;
  // Shows the total in the result field.
  void OnShowCalculation();
  const std::string& Result() const { return m_sResult; }
  // A number as "%f", with "." whatever the locale.
  static std::string FormatNumber(double dValue);
  static stTapeLine ParseLine(const std::string& sLine);

  // ---- operators ----
  // An operator key; false when it was not consumed (it then types as is).
  bool ProcessOperator(char cOperator);
  static std::string ReformatLastLine(char cOperator, const std::string& sLine);

  // ---- line operations ----
  void ClearAll();
  void ClearLastLine();
  void ClearLine();
  void StoreLine();
  void RecallLine();
  const std::string& StoredLine() const { return m_sStoredLine; }

  // ---- files ----
  // Ask for a ".cal" file, then write or read it. False when nothing was done.
  bool SaveToFile();
  bool RecallFromFile();
  // Writes the tape, each line ending in CR LF, to sPath with ".cal" in
  // place of any extension.
  bool WriteTape(const std::string& sPath) const;
  bool ReadTape(const std::string& sPath);
  // Prints the tape, "---------------" and the total.
  int Print() { return PrintList(); }

 private:
  // After a change made by the view: the caret's line is highlighted and
  // the total shown again.
  void Changed();
  std::string& CurrentLine() { return m_saLines[size_t(m_nCaretLine)]; }
  // The caret follows the highlight when the user moved it with the keys.
  void FollowHighlight();

  std::vector<std::string> m_saLines{std::string()};
  int m_nCaretLine = 0;
  int m_nCaretColumn = 0;
  std::string m_sResult;
  std::string m_sStoredLine;
};
