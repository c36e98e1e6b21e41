#pragma once
// The terminal user interface of kelvotool: messages go to stderr, questions
// are asked on the terminal or answered by a fixed answer (--yes / --no).
// Wait boxes are quiet: their texts go to stderr only when verbose, or as
// one progress line redrawn in place when stderr is a terminal and the work
// takes longer than a second.

#include <chrono>
#include <map>

#include "support/CUserInterface.h"

class CTerminalUi : public CUserInterface {
 public:
  // nFixedAnswer: IDYES or IDNO to answer every question without asking, 0 to ask.
  explicit CTerminalUi(int nFixedAnswer = 0);

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

  // Every wait-box text as a line of its own (kelvotool --verbose).
  static void SetVerbose(bool bVerbose);
  // The progress line is drawn only on a terminal; tests say where it goes.
  void SetProgressTerminal(bool bTerminal) { m_bTerminal = bTerminal; }

 private:
  using Clock = std::chrono::steady_clock;
  std::optional<std::string> ReadLine(const std::string& sPrompt);
  void ShowWaitText(const stWaitBoxView& view);
  void DrawProgress(const stWaitBoxView& view);
  void EndProgressLine();
  int m_nFixedAnswer;
  std::string m_sLastWaitText;
  bool m_bTerminal;
  std::map<int, Clock::time_point> m_boxStarts;
  size_t m_nProgressWidth = 0;  // characters of the progress line on screen
  Clock::time_point m_lastDraw;
};
