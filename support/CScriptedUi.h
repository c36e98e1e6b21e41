#pragma once
// A user interface that answers from a script and records every text shown.
// Tests and the headless session driver use it. An answer that the script did
// not provide is reported through the unexpected-prompt handler (tests make it
// a test failure) and then answered with the prompt's default.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/CUserInterface.h"

class CScriptedUi : public CUserInterface {
 public:
  struct stShown {
    std::string sKind;  // "message", "waitbox", "choice", "input", "file", "edit"
    std::string sText;
    std::string sCaption;
    int nButtons = 0;
  };

  // Queues the answer of the next message box that has buttons other than OK.
  void QueueAnswer(int nAnswer) { m_naAnswers.push_back(nAnswer); }
  void QueueChoice(std::vector<int> naChosen) { m_choices.push_back(std::move(naChosen)); }
  void QueueInput(std::string sText) { m_inputs.push_back(std::move(sText)); }
  void QueueFile(std::string sPath) { m_files.push_back(std::move(sPath)); }
  // An edit answer: field values to set, then OK (true) or Cancel (false).
  void QueueEdit(std::vector<stEditField> changes, bool bOk = true) {
    m_edits.push_back({std::move(changes), bOk});
  }
  // Simulates the abort button or Esc on the n-th following ProcessEvents call (1 = next).
  void QueueAbortPress(int nAfterCalls = 1) { m_naAbortPresses.push_back(m_nEventCalls + nAfterCalls); }
  // Calls fn on every ProcessEvents, as the event loop would run timers.
  void SetEventHook(std::function<void()> fn) { m_fnEventHook = std::move(fn); }
  void SetUnexpectedHandler(std::function<void(const std::string&)> fn) {
    m_fnUnexpected = std::move(fn);
  }

  const std::vector<stShown>& Shown() const { return m_shown; }
  // The texts of every message box shown, in order.
  std::vector<std::string> Messages() const;
  bool SawText(const std::string& sText) const;
  size_t PendingAnswers() const { return m_naAnswers.size(); }
  void ClearShown() { m_shown.clear(); }
  int LastPercentShown() const { return m_nLastPercent; }
  int WindowsEnabledCalls(bool bEnable) const { return bEnable ? m_nEnables : m_nDisables; }

  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault) override;
  void WaitBoxShow(int nBox, const stWaitBoxView& view) override;
  void WaitBoxUpdate(int nBox, const stWaitBoxView& view) override;
  void WaitBoxClose(int nBox) override;
  bool ProcessEvents() override;
  void EnableWindows(bool bEnable) override;
  std::optional<std::vector<int>> ChooseFromList(const std::string& sCaption,
                                                 const std::vector<std::string>& items,
                                                 bool bMultiple) override;
  std::optional<std::string> InputText(const std::string& sPrompt,
                                       const std::string& sDefault) override;
  // The text editor answers from the input queue, like InputText.
  std::optional<std::string> EditText(const std::string& sCaption, const std::string& sText) override;
  std::optional<std::string> ChooseFile(bool bSave, const std::string& sCaption,
                                        const std::string& sFilter,
                                        const std::string& sDefault) override;
  int EditItem(stEditForm& form) override;

 private:
  void Unexpected(const std::string& sWhat);
  // The next queued input; reports sUnscripted and gives nothing when none is queued.
  std::optional<std::string> TakeInput(const std::string& sUnscripted);

  std::deque<int> m_naAnswers;
  std::deque<std::vector<int>> m_choices;
  std::deque<std::string> m_inputs;
  std::deque<std::string> m_files;
  struct stEditAnswer {
    std::vector<stEditField> changes;
    bool bOk;
  };
  std::deque<stEditAnswer> m_edits;
  std::vector<int> m_naAbortPresses;
  int m_nEventCalls = 0;
  int m_nLastPercent = -1;
  int m_nEnables = 0;
  int m_nDisables = 0;
  std::function<void()> m_fnEventHook;
  std::function<void(const std::string&)> m_fnUnexpected;
  std::vector<stShown> m_shown;
};

// Installs a scripted interface as the current one for the scope's life.
class CScopedUi {
 public:
  explicit CScopedUi(CUserInterface& ui) { SetUi(&ui); }
  ~CScopedUi() { SetUi(nullptr); }
  CScopedUi(const CScopedUi&) = delete;
  CScopedUi& operator=(const CScopedUi&) = delete;
};
