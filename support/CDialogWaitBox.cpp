#include "support/CDialogWaitBox.h"

#include <algorithm>
#include <cstdio>

#include "support/UserPrompts.h"

namespace {
int g_nNextBoxId = 1;
int g_nOpenBoxes = 0;
constexpr size_t kMaxStepLines = 5;
}  // namespace

CDialogWaitBox::CDialogWaitBox(const std::string& sText, bool bShowAbort, int nSteps)
    : m_nId(g_nNextBoxId++), m_nSteps(nSteps) {
  m_view.sTitle = "Kelvo";
  m_view.bAbortShown = bShowAbort;
  if (m_nSteps > 0)
    ChangeText(sText);
  else
    m_view.sText = sText;
  ++g_nOpenBoxes;
  GetUi().WaitBoxShow(m_nId, m_view);
}

CDialogWaitBox::~CDialogWaitBox() {
  --g_nOpenBoxes;
  GetUi().WaitBoxClose(m_nId);
}

bool CDialogWaitBox::TestForAbort(int* pBypass) {
  const bool bPressed = GetUi().ProcessEvents();
  if (IsQuitRequested()) {
    // The program ends: the operation is aborted without a question.
    m_bAbortRequested = true;
    if (pBypass) *pBypass = 0;
  } else if (bPressed) {
    ConfirmAbort(pBypass);
  }
  return m_bAbortRequested;
}

void CDialogWaitBox::ConfirmAbort(int* pBypass) {
  // A held Esc key repeats: while the question is up, further presses are
  // swallowed, and the default answer keeps the operation going.
  if (m_bInConfirm) return;
  m_bInConfirm = true;
  if (pBypass) {
    const int n = GetResponse(
        "Select Yes to abort operation\nSelect No to continue operation\nSelect Cancel to "
        "continue and bypass lock",
        MB_YESNOCANCEL, 0, IDNO);
    if (n == IDYES) {
      m_bAbortRequested = true;
      *pBypass = 0;
    } else if (n == IDCANCEL) {
      m_bAbortRequested = true;
      *pBypass = 1;
    }
  } else if (GetResponse("Are you sure you want to abort operation?\n", MB_YESNO, 0, IDNO) ==
             IDYES) {
    m_bAbortRequested = true;
  }
  m_bInConfirm = false;
}

void CDialogWaitBox::ChangeTitle(const std::string& sTitle) {
  if (sTitle == m_view.sTitle) return;
  m_view.sTitle = sTitle;
  Redraw();
}

void CDialogWaitBox::ChangeText(const std::string& sText, bool bAppend) {
  if (m_nSteps > 0 || bAppend) {
    m_saStepLines.push_back(sText);
    if (m_saStepLines.size() > kMaxStepLines) m_saStepLines.erase(m_saStepLines.begin());
    std::string sShown;
    for (size_t i = 0; i < m_saStepLines.size(); ++i) {
      if (i) sShown += '\n';
      sShown += m_saStepLines[i];
      sShown += (i + 1 < m_saStepLines.size()) ? " - DONE" : " - WORKING";
    }
    m_view.sText = sShown;
    if (m_nSteps > 0) ++m_nCurrentStep;
  } else {
    if (sText == m_view.sText) return;
    m_view.sText = sText;
  }
  Redraw();
}

void CDialogWaitBox::SetDenominator(double dDenominator) { m_fDenominator = dDenominator; }

void CDialogWaitBox::UpdateProgress(double dValue) {
  if (m_fDenominator < 0.001) return;
  const double dFraction = dValue / m_fDenominator;
  double dPercent = dFraction * 100.0;
  if (m_nSteps > 0)
    dPercent = ((m_nCurrentStep - 1) / double(m_nSteps) + dFraction / m_nSteps) * 100.0;
  DrawProgress(dPercent);
}

void CDialogWaitBox::SetupTasks(const std::vector<double>& weights) {
  m_faTaskWeights = weights;
  m_faTaskOffsets.clear();
  m_fTotalWeight = 0.0;
  for (double w : weights) {
    m_faTaskOffsets.push_back(m_fTotalWeight);
    m_fTotalWeight += w;
  }
  m_nCurrentTask = 0;
  m_fHighestFraction = 0.0;
}

void CDialogWaitBox::SetTask(int nTask, const std::string& sText) {
  m_nCurrentTask = nTask;
  ChangeText(sText);
}

void CDialogWaitBox::UpdateProgressTotal(double dValue) {
  if (m_fDenominator <= 0.001 || m_fTotalWeight <= 0.0) return;
  if (m_nCurrentTask < 0 || m_nCurrentTask >= int(m_faTaskWeights.size())) return;
  const double dFraction = (dValue / m_fDenominator * m_faTaskWeights[m_nCurrentTask] +
                            m_faTaskOffsets[m_nCurrentTask]) /
                           m_fTotalWeight;
  m_fHighestFraction = std::max(m_fHighestFraction, dFraction);
  DrawProgress(m_fHighestFraction * 100.0);
}

void CDialogWaitBox::DrawProgress(double dPercent) {
  TestForAbort();
  dPercent = std::clamp(dPercent, 0.0, 100.0);
  char cText[32];
  std::snprintf(cText, sizeof cText, "%.1f", dPercent);
  const bool bFirst = !m_view.bProgressShown;
  if (!bFirst && m_sLastPercent == cText) return;
  m_view.bProgressShown = true;
  m_view.dPercent = dPercent;
  m_view.sPercentText = cText;
  m_sLastPercent = cText;
  Redraw();
}

void CDialogWaitBox::Redraw() { GetUi().WaitBoxUpdate(m_nId, m_view); }

CDialogWaitBox* StartWaitBox(const std::string& sText, bool bShowAbort, int nSteps) {
  auto* pBox = new CDialogWaitBox(sText, bShowAbort, nSteps);
  EnableWndList(false);
  return pBox;
}

void EndWaitBox(CDialogWaitBox* pBox) {
  delete pBox;
  EnableWndList(true);
}

int WaitBoxDepth() { return g_nOpenBoxes; }
