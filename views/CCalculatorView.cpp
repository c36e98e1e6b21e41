#include "views/CCalculatorView.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "support/CUserInterface.h"
#include "support/FileUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr const char* kCommentStarts = "!'<({[\"";
constexpr const char* kOperators = "+-*/";
constexpr const char* kNumberChars = "0123456789.";
constexpr const char* kTotalRule = "---------------";
constexpr const char* kFileFilter = "Calculation files (*.cal)";
constexpr int KEY_BACKSPACE = 0x01000003;
constexpr int KEY_RETURN = 0x01000004;
constexpr int KEY_ENTER = 0x01000005;

std::string TrimSpaces(const std::string& s) {
  const size_t nStart = s.find_first_not_of(' ');
  if (nStart == std::string::npos) return {};
  return s.substr(nStart, s.find_last_not_of(' ') - nStart + 1);
}

bool IsNumberStart(const std::string& s) { return !s.empty() && std::strchr(kNumberChars, s[0]); }

}  // namespace

CCalculatorView::CCalculatorView(CTableManager* pDB, CViewFrame* pFrame)
    : CScrollBase(VIEW_CALCULATOR, pDB, pFrame) {}

void CCalculatorView::EnterView() {
  m_bHasHeader = false;
  SetUpLines();
  OnShowCalculation();
}

void CCalculatorView::SetUpLines() {
  // The tape, the rule and the total.
  m_nMaxLines = int(m_saLines.size()) + 2;
  m_bLinesReady = true;
}

stFmtString CCalculatorView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = nIndex == m_nHiLiteLine ? LINE_HIGHLIGHT : LINE_NORMAL;
  const int nTape = int(m_saLines.size());
  // The user's text goes on paper and on the screen exactly as typed.
  if (nIndex >= 0 && nIndex < nTape) return {nullptr, FMT_LITERAL, m_saLines[size_t(nIndex)]};
  if (nIndex == nTape) return {nullptr, FMT_LITERAL, kTotalRule};
  // The result field: empty after Clear all until the next calculation.
  return {nullptr, FMT_LITERAL, m_sResult};
}

// ---- the tape ----

std::string CCalculatorView::Tape() const {
  std::string s;
  for (size_t i = 0; i < m_saLines.size(); ++i) s += (i ? "\r\n" : "") + m_saLines[i];
  return s;
}

void CCalculatorView::SetTape(const std::string& sText) {
  m_saLines.assign(1, std::string());
  for (char c : sText) {
    if (c == '\n')
      m_saLines.emplace_back();
    else if (c != '\r')
      m_saLines.back() += c;
  }
  SetCaret(int(m_saLines.size()) - 1, int(m_saLines.back().size()));
  Changed();
}

void CCalculatorView::SetCaret(int nLine, int nColumn) {
  m_nCaretLine = std::clamp(nLine, 0, int(m_saLines.size()) - 1);
  m_nCaretColumn = std::clamp(nColumn, 0, int(CurrentLine().size()));
  SetHighlight(m_nCaretLine);
}

void CCalculatorView::FollowHighlight() {
  if (m_nHiLiteLine != m_nCaretLine && m_nHiLiteLine < int(m_saLines.size()))
    SetCaret(m_nHiLiteLine, int(m_saLines[size_t(m_nHiLiteLine)].size()));
}

void CCalculatorView::TypeText(const std::string& sText) {
  FollowHighlight();
  for (char c : sText) {
    if (c == '\n') {
      std::string sRest = CurrentLine().substr(size_t(m_nCaretColumn));
      CurrentLine().resize(size_t(m_nCaretColumn));
      m_saLines.insert(m_saLines.begin() + m_nCaretLine + 1, sRest);
      ++m_nCaretLine;
      m_nCaretColumn = 0;
    } else if (c != '\r') {
      CurrentLine().insert(size_t(m_nCaretColumn++), 1, c);
    }
  }
  Changed();
}

void CCalculatorView::Enter() { TypeText("\n"); }

void CCalculatorView::Backspace() {
  FollowHighlight();
  if (m_nCaretColumn > 0) {
    CurrentLine().erase(size_t(--m_nCaretColumn), 1);
  } else if (m_nCaretLine > 0) {
    const std::string sLine = CurrentLine();
    m_saLines.erase(m_saLines.begin() + m_nCaretLine--);
    m_nCaretColumn = int(CurrentLine().size());
    CurrentLine() += sLine;
  }
  Changed();
}

void CCalculatorView::Changed() {
  SetUpLines();
  SetHighlight(m_nCaretLine);
  OnShowCalculation();
  Invalidate();
}

// ---- the total ----

stTapeLine CCalculatorView::ParseLine(const std::string& sLine) {
  stTapeLine line;
  const size_t nComment = sLine.find_first_of(kCommentStarts);
  if (nComment != std::string::npos) line.sComment = sLine.substr(nComment);
  const std::string sBody = TrimSpaces(sLine.substr(0, nComment));
  size_t nLead = 0;
  for (; nLead < sBody.size() && (sBody[nLead] == ' ' || std::strchr(kOperators, sBody[nLead])); ++nLead)
    if (sBody[nLead] != ' ') line.sOperators += sBody[nLead];
  const std::string sRest = sBody.substr(nLead);
  if (IsNumberStart(sRest)) {
    // A number and then perhaps its label.
    const size_t nEnd = std::min(sRest.find_first_not_of(kNumberChars), sRest.size());
    line.sNumber = sRest.substr(0, nEnd);
    line.sLabel = TrimSpaces(sRest.substr(nEnd));
    return line;
  }
  // A label, then the number after the later of the first "|" and the last space.
  const size_t nBar = sRest.find('|');
  const size_t nSpace = sRest.rfind(' ');
  size_t nSplit = std::string::npos;
  if (nBar != std::string::npos || nSpace != std::string::npos)
    nSplit = nBar == std::string::npos ? nSpace : nSpace == std::string::npos ? nBar : std::max(nBar, nSpace);
  if (nSplit == std::string::npos) {
    line.sLabel = sRest;
    return line;
  }
  const std::string sAfter = TrimSpaces(sRest.substr(nSplit + 1));
  line.sNumber = sAfter.substr(0, std::min(sAfter.find_first_not_of(kNumberChars), sAfter.size()));
  line.sLabel = TrimSpaces(sRest.substr(0, nSplit));
  return line;
}

double CCalculatorView::Docalculation() const {
  double dTotal = 0.0;
  for (const std::string& sLine : m_saLines) {
    const stTapeLine line = ParseLine(sLine);
    double dValue = 0.0;
    if (!line.sNumber.empty())
      std::from_chars(line.sNumber.data(), line.sNumber.data() + line.sNumber.size(), dValue);
    if (line.sOperators.find('-') != std::string::npos) dValue = -dValue;
    if (line.sOperators.find('*') != std::string::npos)
      dTotal *= dValue;
    else if (line.sOperators.find('/') != std::string::npos)
      dTotal += dValue == 0.0 ? 0.0 : dTotal / dValue - dTotal;
    else
      dTotal += dValue;
  }
  return dTotal;
}

void CCalculatorView::OnShowCalculation() { m_sResult = FormatNumber(Docalculation()); }

std::string CCalculatorView::FormatNumber(double dValue) {
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, dValue, std::chars_format::fixed, 6);
  return result.ec == std::errc() ? std::string(buf, result.ptr) : std::string("0.000000");
}

// ---- operators ----

bool CCalculatorView::ProcessOperator(char cOperator) {
  FollowHighlight();
  // Only at the end of the tape: anywhere else the key types as is.
  const int nLast = int(m_saLines.size()) - 1;
  if (m_nCaretLine != nLast || m_nCaretColumn != int(CurrentLine().size())) return false;
  // A line without a number yet (empty, or a label being typed such as
  // "A/C" or "Pre-paid") takes the key as a character.
  const std::string& sLine = CurrentLine();
  const stTapeLine line = ParseLine(sLine);
  if (line.sNumber.empty() || line.sOperators.find(cOperator) != std::string::npos) return false;
  CurrentLine() = ReformatLastLine(cOperator, sLine);
  SetCaret(nLast, int(CurrentLine().size()));
  Changed();
  return true;
}

std::string CCalculatorView::ReformatLastLine(char cOperator, const std::string& sLine) {
  const stTapeLine line = ParseLine(sLine);
  std::string s(1, cOperator);
  s += line.sOperators + line.sNumber;
  if (!line.sLabel.empty()) s += " \"" + line.sLabel + "\"";
  if (!line.sComment.empty()) s += " " + line.sComment;
  return s;
}

void CCalculatorView::ProcessKey(int nKey) {
  switch (nKey) {
    case KEY_RETURN:
    case KEY_ENTER: Enter(); return;
    case KEY_BACKSPACE: Backspace(); return;
    default: break;
  }
  if (nKey < 0x20 || nKey > 0x7e) return;
  const char c = char(nKey);
  if (std::strchr(kOperators, c) && ProcessOperator(c)) return;
  TypeText(std::string(1, c));
}

// A printable character goes on the tape as typed (lower-case letters in a
// comment stay lower case); Return, Backspace and the rest come as key codes.
bool CCalculatorView::KeyText(const std::string& sText) {
  if (sText.size() != 1 || sText[0] < 0x20 || sText[0] > 0x7e) return false;
  ProcessKey(static_cast<unsigned char>(sText[0]));
  return true;
}

// ---- line operations ----

void CCalculatorView::ClearAll() {
  m_saLines.assign(1, std::string());
  SetCaret(0, 0);
  Changed();
  m_sResult.clear();
}

void CCalculatorView::ClearLastLine() {
  if (m_saLines.size() == 1 && m_saLines[0].empty()) return;
  m_saLines.pop_back();
  if (m_saLines.empty()) m_saLines.emplace_back();
  SetCaret(int(m_saLines.size()) - 1, int(m_saLines.back().size()));
  Changed();
}

void CCalculatorView::ClearLine() {
  FollowHighlight();
  m_saLines.erase(m_saLines.begin() + m_nCaretLine);
  if (m_saLines.empty()) m_saLines.emplace_back();
  SetCaret(m_nCaretLine, 0);
  Changed();
}

void CCalculatorView::StoreLine() {
  FollowHighlight();
  m_sStoredLine = CurrentLine();
  Invalidate();
}

void CCalculatorView::RecallLine() {
  FollowHighlight();
  m_saLines.insert(m_saLines.begin() + m_nCaretLine, m_sStoredLine);
  SetCaret(m_nCaretLine, int(m_sStoredLine.size()));
  Changed();
}

// ---- files ----

bool CCalculatorView::WriteTape(const std::string& sPath) const {
  const std::string sName = FileNameOf(sPath);
  const size_t nDot = sName.rfind('.');
  std::string sFile =
      sPath.substr(0, sPath.size() - (nDot == std::string::npos ? 0 : sName.size() - nDot)) + ".cal";
  std::string sText;
  for (const std::string& sLine : m_saLines) sText += sLine + "\r\n";
  return WriteFileAtomic(sFile, sText, 0644);
}

bool CCalculatorView::ReadTape(const std::string& sPath) {
  std::string sText;
  if (!ReadWholeFile(sPath, sText)) return false;
  // The last line's ending starts no line of its own.
  if (!sText.empty() && sText.back() == '\n') sText.pop_back();
  if (!sText.empty() && sText.back() == '\r') sText.pop_back();
  SetTape(sText);
  return true;
}

bool CCalculatorView::SaveToFile() {
  const auto sPath = GetUi().ChooseFile(true, "Save to file", kFileFilter, "");
  if (!sPath) return false;
  if (WriteTape(*sPath)) return true;
  GetResponse("Cannot write " + *sPath, MB_OK);
  return false;
}

bool CCalculatorView::RecallFromFile() {
  const auto sPath = GetUi().ChooseFile(false, "Recall from file", kFileFilter, "");
  if (!sPath) return false;
  if (ReadTape(*sPath)) return true;
  GetResponse("Cannot read " + *sPath, MB_OK);
  return false;
}

void CCalculatorView::AddCommands(CCommandTable& t) {
  const eEnable any = eEnable::Always;
  constexpr const char* kTape = "&Tape";
  t.Add(ID_CALC_PRINT, MENU_BAR, "&Print", any, [this] { Print(); });
  t.Add(ID_CALC_CALCULATE, kTape, "&Calculate", any, [this] { OnShowCalculation(); });
  t.Add(ID_CALC_CLEAR_ALL, kTape, "Clear &all", any, [this] { ClearAll(); });
  t.Add(ID_CALC_CLEAR_LAST, kTape, "Clear &last line", any, [this] { ClearLastLine(); });
  t.Add(ID_CALC_CLEAR_LINE, kTape, "Clear li&ne", any, [this] { ClearLine(); });
  t.Add(ID_CALC_SAVE, kTape, "&Save to file", any, [this] { SaveToFile(); });
  t.Add(ID_CALC_RECALL_FILE, kTape, "&Recall from file", any, [this] { RecallFromFile(); });
  t.Add(ID_CALC_STORE_LINE, kTape, "S&tore line", any, [this] { StoreLine(); });
  t.Add(ID_CALC_RECALL_LINE, kTape, "Recall l&ine", any, [this] { RecallLine(); });
}
