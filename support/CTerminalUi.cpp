#include "support/CTerminalUi.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

#include "support/StringUtil.h"

namespace {

struct stChoice {
  int nAnswer;
  const char* pKey;
  const char* pLabel;
};

std::vector<stChoice> ChoicesOf(int nButtons) {
  switch (nButtons) {
    case MB_OKCANCEL: return {{IDOK, "o", "OK"}, {IDCANCEL, "c", "Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "a", "Abort"}, {IDRETRY, "r", "Retry"}, {IDIGNORE, "i", "Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "y", "Yes"}, {IDNO, "n", "No"}, {IDCANCEL, "c", "Cancel"}};
    case MB_YESNO: return {{IDYES, "y", "Yes"}, {IDNO, "n", "No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "r", "Retry"}, {IDCANCEL, "c", "Cancel"}};
    default: return {{IDOK, "o", "OK"}};
  }
}

// A fixed yes/no answer mapped onto the button set shown.
int FixedAnswerFor(int nFixed, int nButtons) {
  const bool bYes = nFixed == IDYES;
  switch (nButtons) {
    case MB_OKCANCEL: return bYes ? IDOK : IDCANCEL;
    case MB_ABORTRETRYIGNORE: return bYes ? IDRETRY : IDABORT;
    case MB_RETRYCANCEL: return bYes ? IDRETRY : IDCANCEL;
    default: return nFixed;
  }
}

bool g_bVerbose = false;
constexpr auto kQuietFor = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

CTerminalUi::CTerminalUi(int nFixedAnswer)
    : m_nFixedAnswer(nFixedAnswer), m_bTerminal(isatty(STDERR_FILENO) == 1) {}

void CTerminalUi::SetVerbose(bool bVerbose) { g_bVerbose = bVerbose; }

std::optional<std::string> CTerminalUi::ReadLine(const std::string& sPrompt) {
  std::cerr << sPrompt << std::flush;
  std::string s;
  if (!std::getline(std::cin, s)) return std::nullopt;
  return s;
}

int CTerminalUi::MessageBox(const std::string& sText, const std::string&, int nButtons,
                            int nDefault) {
  EndProgressLine();
  std::cerr << sText << "\n";
  if (nButtons == MB_OK) return IDOK;
  if (m_nFixedAnswer) return FixedAnswerFor(m_nFixedAnswer, nButtons);
  const auto choices = ChoicesOf(nButtons);
  std::string sPrompt = "[";
  for (size_t i = 0; i < choices.size(); ++i)
    sPrompt += std::string(i ? "/" : "") + choices[i].pKey + "=" + choices[i].pLabel;
  sPrompt += "] ";
  for (;;) {
    const auto sLine = ReadLine(sPrompt);
    if (!sLine) return nDefault ? nDefault : choices.back().nAnswer;
    const std::string sKey = ToLower(Trim(*sLine)).substr(0, 1);
    if (sKey.empty() && nDefault) return nDefault;
    for (const auto& c : choices)
      if (sKey == c.pKey) return c.nAnswer;
  }
}

void CTerminalUi::WaitBoxShow(int nBox, const stWaitBoxView& view) {
  m_boxStarts[nBox] = Clock::now();
  m_sLastWaitText.clear();
  ShowWaitText(view);
}

void CTerminalUi::WaitBoxUpdate(int nBox, const stWaitBoxView& view) {
  if (!g_bVerbose && m_boxStarts.count(nBox) && Clock::now() - m_boxStarts[nBox] >= kQuietFor) {
    DrawProgress(view);
    return;
  }
  ShowWaitText(view);
}

void CTerminalUi::WaitBoxClose(int nBox) {
  m_boxStarts.erase(nBox);
  m_sLastWaitText.clear();
  if (m_boxStarts.empty()) EndProgressLine();
}

void CTerminalUi::ShowWaitText(const stWaitBoxView& view) {
  if (g_bVerbose && view.sText != m_sLastWaitText && !view.sText.empty())
    std::cerr << view.sText << "\n";
  m_sLastWaitText = view.sText;
}

void CTerminalUi::DrawProgress(const stWaitBoxView& view) {
  if (!m_bTerminal) return;
  const Clock::time_point now = Clock::now();
  if (m_nProgressWidth && now - m_lastDraw < kRedrawEvery) return;
  m_lastDraw = now;
  std::string sLine = view.sText.substr(0, view.sText.find('\n'));
  if (view.bProgressShown) {
    char a[16];
    std::snprintf(a, sizeof a, " %3.0f%%", view.dPercent);
    sLine += a;
  }
  // Padded over what the last drawing left, then back to the line's start.
  const size_t nWidth = sLine.size();
  if (nWidth < m_nProgressWidth) sLine.append(m_nProgressWidth - nWidth, ' ');
  std::cerr << "\r" << sLine << std::flush;
  m_nProgressWidth = nWidth;
}

void CTerminalUi::EndProgressLine() {
  if (!m_nProgressWidth) return;
  // A command that succeeds leaves nothing behind on the terminal.
  std::cerr << "\r" << std::string(m_nProgressWidth, ' ') << "\r" << std::flush;
  m_nProgressWidth = 0;
}

std::optional<std::vector<int>> CTerminalUi::ChooseFromList(const std::string& sCaption,
                                                            const std::vector<std::string>& items,
                                                            bool bMultiple) {
  std::cerr << sCaption << "\n";
  for (size_t i = 0; i < items.size(); ++i) std::cerr << "  " << i + 1 << ". " << items[i] << "\n";
  const auto sLine = ReadLine(bMultiple ? "numbers (blank to cancel): " : "number (blank to cancel): ");
  if (!sLine) return std::nullopt;
  std::vector<std::string> sa;
  ParseString(*sLine, " ,", sa);
  std::vector<int> naChosen;
  for (const auto& s : sa) {
    long long n = 0;
    if (ParseInt(s, n) && n >= 1 && n <= (long long)items.size()) naChosen.push_back(int(n - 1));
    if (!bMultiple && !naChosen.empty()) break;
  }
  if (naChosen.empty()) return std::nullopt;
  return naChosen;
}

std::optional<std::string> CTerminalUi::InputText(const std::string& sPrompt,
                                                  const std::string& sDefault) {
  auto s = ReadLine(sPrompt + (sDefault.empty() ? "" : " [" + sDefault + "]") + ": ");
  if (s && s->empty()) return sDefault;
  return s;
}

std::optional<std::string> CTerminalUi::ChooseFile(bool, const std::string& sCaption,
                                                   const std::string&, const std::string& sDefault) {
  auto s = InputText(sCaption, sDefault);
  if (s && s->empty()) return std::nullopt;
  return s;
}

int CTerminalUi::EditItem(stEditForm& form) {
  std::cerr << form.sTitle << "\n";
  for (auto& f : form.fields) {
    auto s = InputText(f.sName, f.sValue);
    if (!s) return IDCANCEL;
    f.sValue = s->substr(0, size_t(f.nMaxLen));
  }
  return IDOK;
}
