#pragma once
// The wait box of a long operation: text or step lines, optional abort button,
// optional progress (plain, stepped or weighted). The logic lives here; the
// current user interface draws it.

#include <string>
#include <vector>

#include "support/CUserInterface.h"

class CDialogWaitBox {
 public:
  CDialogWaitBox(const std::string& sText, bool bShowAbort, int nSteps);
  ~CDialogWaitBox();
  CDialogWaitBox(const CDialogWaitBox&) = delete;
  CDialogWaitBox& operator=(const CDialogWaitBox&) = delete;

  // Processes pending events; an abort press or Esc asks ConfirmAbort.
  // Returns the abort-requested flag.
  bool TestForAbort(int* pBypass = nullptr);
  void ConfirmAbort(int* pBypass = nullptr);

  void ChangeTitle(const std::string& sTitle);
  void ChangeText(const std::string& sText, bool bAppend = false);

  void SetDenominator(double dDenominator);
  void UpdateProgress(double dValue);
  void SetupTasks(const std::vector<double>& weights);
  void SetTask(int nTask, const std::string& sText);
  void UpdateProgressTotal(double dValue);

  bool AbortRequested() const { return m_bAbortRequested; }
  const std::vector<std::string>& StepLines() const { return m_saStepLines; }
  const std::string& Text() const { return m_view.sText; }
  const std::string& Title() const { return m_view.sTitle; }
  double Percent() const { return m_view.dPercent; }
  int Id() const { return m_nId; }

 private:
  void DrawProgress(double dPercent);
  void Redraw();

  int m_nId;
  bool m_bAbortRequested = false;
  int m_nSteps;
  int m_nCurrentStep = 0;
  std::vector<std::string> m_saStepLines;
  double m_fDenominator = 0.0;
  std::vector<double> m_faTaskWeights;
  std::vector<double> m_faTaskOffsets;
  double m_fTotalWeight = 0.0;
  int m_nCurrentTask = 0;
  double m_fHighestFraction = 0.0;
  std::string m_sLastPercent;
  bool m_bInConfirm = false;
  stWaitBoxView m_view;
};

// Creates and shows a box, disabling the window list; EndWaitBox destroys it
// (null is allowed) and enables the window list again.
CDialogWaitBox* StartWaitBox(const std::string& sText, bool bShowAbort = false, int nSteps = 0);
void EndWaitBox(CDialogWaitBox* pBox);

// The number of wait boxes currently open (they nest).
int WaitBoxDepth();
