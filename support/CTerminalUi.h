#pragma once
// The terminal user interface of kelvotool: messages go to stderr, questions
// are asked on the terminal or answered by a fixed answer (--yes / --no).

#include "support/CUserInterface.h"

class CTerminalUi : public CUserInterface {
 public:
  // nFixedAnswer: IDYES or IDNO to answer every question without asking, 0 to ask.
  explicit CTerminalUi(int nFixedAnswer = 0) : m_nFixedAnswer(nFixedAnswer) {}

  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault) override;
  void WaitBoxShow(int nBox, const stWaitBoxView& view) override;
  void WaitBoxUpdate(int nBox, const stWaitBoxView& view) override;
  void WaitBoxClose(int nBox) override;
  bool ProcessEvents() override { return false; }
  void EnableWindows(bool) override {}
  std::optional<std::vector<int>> ChooseFromList(const std::string& sCaption,
                                                 const std::vector<std::string>& items,
                                                 bool bMultiple) override;
  std::optional<std::string> InputText(const std::string& sPrompt,
                                       const std::string& sDefault) override;
  std::optional<std::string> ChooseFile(bool bSave, const std::string& sCaption,
                                        const std::string& sFilter,
                                        const std::string& sDefault) override;
  int EditItem(stEditForm& form) override;

 private:
  std::optional<std::string> ReadLine(const std::string& sPrompt);
  int m_nFixedAnswer;
  std::string m_sLastWaitText;
};
