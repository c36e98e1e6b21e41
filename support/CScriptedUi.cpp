#include "support/CScriptedUi.h"

#include <algorithm>

std::vector<std::string> CScriptedUi::Messages() const {
  std::vector<std::string> sa;
  for (const auto& s : m_shown)
    if (s.sKind == "message") sa.push_back(s.sText);
  return sa;
}

bool CScriptedUi::SawText(const std::string& sText) const {
  return std::any_of(m_shown.begin(), m_shown.end(),
                     [&](const stShown& s) { return s.sText == sText; });
}

void CScriptedUi::Unexpected(const std::string& sWhat) {
  if (m_fnUnexpected) m_fnUnexpected(sWhat);
}

int CScriptedUi::MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                            int nDefault) {
  m_shown.push_back({"message", sText, sCaption, nButtons});
  if (nButtons == MB_OK) return IDOK;
  if (m_naAnswers.empty()) {
    Unexpected("unscripted question: " + sText);
    if (nDefault) return nDefault;
    return nButtons == MB_OKCANCEL ? IDOK : (nButtons == MB_RETRYCANCEL ? IDCANCEL : IDNO);
  }
  const int n = m_naAnswers.front();
  m_naAnswers.pop_front();
  return n;
}

void CScriptedUi::WaitBoxShow(int, const stWaitBoxView& view) {
  m_shown.push_back({"waitbox", view.sText, view.sTitle, view.bAbortShown ? 1 : 0});
}

void CScriptedUi::WaitBoxUpdate(int, const stWaitBoxView& view) {
  if (view.bProgressShown) m_nLastPercent = int(view.dPercent);
  if (m_shown.empty() || m_shown.back().sKind != "waitbox" || m_shown.back().sText != view.sText)
    m_shown.push_back({"waitbox", view.sText, view.sTitle, view.bAbortShown ? 1 : 0});
}

void CScriptedUi::WaitBoxClose(int) {}

bool CScriptedUi::ProcessEvents() {
  ++m_nEventCalls;
  if (m_fnEventHook) m_fnEventHook();
  auto it = std::find(m_naAbortPresses.begin(), m_naAbortPresses.end(), m_nEventCalls);
  if (it == m_naAbortPresses.end()) return false;
  m_naAbortPresses.erase(it);
  return true;
}

void CScriptedUi::EnableWindows(bool bEnable) { ++(bEnable ? m_nEnables : m_nDisables); }

std::optional<std::vector<int>> CScriptedUi::ChooseFromList(const std::string& sCaption,
                                                            const std::vector<std::string>& items,
                                                            bool) {
  std::string sAll;
  for (const auto& s : items) sAll += s + "\n";
  m_shown.push_back({"choice", sAll, sCaption, 0});
  if (m_choices.empty()) {
    Unexpected("unscripted choice: " + sCaption);
    return std::nullopt;
  }
  auto v = std::move(m_choices.front());
  m_choices.pop_front();
  if (v.empty()) return std::nullopt;
  return v;
}

std::optional<std::string> CScriptedUi::InputText(const std::string& sPrompt,
                                                  const std::string& sDefault) {
  m_shown.push_back({"input", sPrompt, sDefault, 0});
  return TakeInput("unscripted input: " + sPrompt);
}

std::optional<std::string> CScriptedUi::TakeInput(const std::string& sUnscripted) {
  if (m_inputs.empty()) {
    Unexpected(sUnscripted);
    return std::nullopt;
  }
  std::string s = std::move(m_inputs.front());
  m_inputs.pop_front();
  return s;
}

std::optional<std::string> CScriptedUi::EditText(const std::string& sCaption,
                                                 const std::string& sText) {
  m_shown.push_back({"edit text", sCaption, sText, 0});
  return TakeInput("unscripted text editor: " + sCaption);
}

std::optional<std::string> CScriptedUi::ChooseFile(bool, const std::string& sCaption,
                                                   const std::string&, const std::string&) {
  m_shown.push_back({"file", sCaption, "", 0});
  if (m_files.empty()) {
    Unexpected("unscripted file choice: " + sCaption);
    return std::nullopt;
  }
  std::string s = std::move(m_files.front());
  m_files.pop_front();
  if (s.empty()) return std::nullopt;
  return s;
}

int CScriptedUi::EditItem(stEditForm& form) {
  m_shown.push_back({"edit", form.sDialog, form.sTitle, 0});
  if (m_edits.empty()) {
    Unexpected("unscripted edit dialog: " + form.sDialog);
    return IDCANCEL;
  }
  const stEditAnswer a = std::move(m_edits.front());
  m_edits.pop_front();
  for (const auto& c : a.changes) {
    auto it = std::find_if(form.fields.begin(), form.fields.end(),
                           [&](const stEditField& f) { return f.sName == c.sName; });
    if (it == form.fields.end()) {
      Unexpected("edit dialog " + form.sDialog + " has no field " + c.sName);
      continue;
    }
    // The dialog's own limit holds where the user types.
    it->sValue = c.sValue.substr(0, size_t(std::max(0, it->nMaxLen)));
  }
  return a.bOk ? IDOK : IDCANCEL;
}
