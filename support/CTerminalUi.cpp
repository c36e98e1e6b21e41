#include "support/CTerminalUi.h"

#include <cctype>
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

}  // namespace

std::optional<std::string> CTerminalUi::ReadLine(const std::string& sPrompt) {
  std::cerr << sPrompt << std::flush;
  std::string s;
  if (!std::getline(std::cin, s)) return std::nullopt;
  return s;
}

int CTerminalUi::MessageBox(const std::string& sText, const std::string&, int nButtons,
                            int nDefault) {
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

void CTerminalUi::WaitBoxShow(int, const stWaitBoxView& view) {
  m_sLastWaitText = view.sText;
  if (!view.sText.empty()) std::cerr << view.sText << "\n";
}

void CTerminalUi::WaitBoxUpdate(int, const stWaitBoxView& view) {
  if (view.sText != m_sLastWaitText && !view.sText.empty()) std::cerr << view.sText << "\n";
  m_sLastWaitText = view.sText;
}

void CTerminalUi::WaitBoxClose(int) { m_sLastWaitText.clear(); }

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
