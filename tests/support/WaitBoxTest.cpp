#include <gtest/gtest.h>

#include "common/TestCommon.h"
#include "support/CDialogWaitBox.h"
#include "support/UserPrompts.h"

namespace {

const char* kBypassQuestion =
    "Select Yes to abort operation\nSelect No to continue operation\nSelect Cancel to continue "
    "and bypass lock";

TEST(WaitBox, StepModeKeepsFiveLines) {
  CTestUi ui;
  CDialogWaitBox* pBox = StartWaitBox("step 1", false, 6);
  for (int i = 2; i <= 6; ++i) pBox->ChangeText("step " + std::to_string(i));
  EXPECT_EQ(pBox->StepLines(), (std::vector<std::string>{"step 2", "step 3", "step 4", "step 5",
                                                         "step 6"}));
  EXPECT_EQ(pBox->Text(),
            "step 2 - DONE\nstep 3 - DONE\nstep 4 - DONE\nstep 5 - DONE\nstep 6 - WORKING");
  EXPECT_EQ(BusyDepth(), 1);
  EndWaitBox(pBox);
  EXPECT_EQ(BusyDepth(), 0);
  EXPECT_EQ(ui.WindowsEnabledCalls(false), 1);
  EXPECT_EQ(ui.WindowsEnabledCalls(true), 1);
}

TEST(WaitBox, ProgressInStepModeAndWeightedNeverGoesBack) {
  CTestUi ui;
  CDialogWaitBox* pBox = StartWaitBox("first", false, 2);
  pBox->SetDenominator(10);
  pBox->UpdateProgress(5);  // step 1 of 2, half done
  EXPECT_DOUBLE_EQ(pBox->Percent(), 25.0);
  pBox->ChangeText("second");
  pBox->UpdateProgress(10);
  EXPECT_DOUBLE_EQ(pBox->Percent(), 100.0);
  EndWaitBox(pBox);

  pBox = StartWaitBox("weighted");
  pBox->SetupTasks({1.0, 3.0});
  pBox->SetDenominator(100);
  pBox->SetTask(1, "big task");
  pBox->UpdateProgressTotal(50);  // (0.5 * 3 + 1) / 4
  EXPECT_DOUBLE_EQ(pBox->Percent(), 62.5);
  pBox->SetTask(0, "small task again");
  pBox->UpdateProgressTotal(10);  // would be 2.5 %: the bar stays
  EXPECT_DOUBLE_EQ(pBox->Percent(), 62.5);
  EXPECT_EQ(ui.LastPercentShown(), 62);
  EndWaitBox(pBox);
}

TEST(WaitBox, AbortNeedsConfirmationAndBypassAnswerIsStored) {
  CTestUi ui;
  CDialogWaitBox* pBox = StartWaitBox("Waiting for lock", true);
  // First press answered No: the wait goes on.
  ui.QueueAbortPress(1);
  ui.QueueAnswer(IDNO);
  int nBypass = -1;
  EXPECT_FALSE(pBox->TestForAbort(&nBypass));
  EXPECT_EQ(nBypass, -1);
  EXPECT_TRUE(ui.SawText(kBypassQuestion));
  // No press, no question.
  EXPECT_FALSE(pBox->TestForAbort(&nBypass));
  // Esc answered Cancel: abort with bypass 1.
  ui.QueueAbortPress(1);
  ui.QueueAnswer(IDCANCEL);
  EXPECT_TRUE(pBox->TestForAbort(&nBypass));
  EXPECT_EQ(nBypass, 1);
  EndWaitBox(pBox);

  pBox = StartWaitBox("Loading", true);
  ui.QueueAbortPress(1);
  ui.QueueAnswer(IDYES);
  EXPECT_TRUE(pBox->TestForAbort());
  EXPECT_TRUE(ui.SawText("Are you sure you want to abort operation?\n"));
  EndWaitBox(pBox);
  EXPECT_EQ(ui.PendingAnswers(), 0u);
}

TEST(GetResponse, SuspendsTheRefreshAroundEveryAnswer) {
  CTestUi ui;
  std::vector<std::pair<bool, std::string>> calls;
  int nDepthInside = -1;
  SetRefreshSuspendHook([&](bool bOn, const std::string& s) {
    calls.emplace_back(bOn, s);
    if (!bOn) nDepthInside = BusyDepth();
  });
  ui.QueueAnswer(IDCANCEL);
  EXPECT_EQ(GetResponse("Delete person?", MB_YESNOCANCEL), IDCANCEL);
  ui.QueueAnswer(IDYES);
  EXPECT_EQ(GetResponse("Again?", MB_YESNO), IDYES);
  SetRefreshSuspendHook(nullptr);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], std::make_pair(false, std::string("Delete person?")));
  EXPECT_EQ(calls[1], std::make_pair(true, std::string("Delete person?")));
  EXPECT_EQ(calls[3], std::make_pair(true, std::string("Again?")));
  EXPECT_EQ(nDepthInside, 1);
  EXPECT_EQ(BusyDepth(), 0);
}

TEST(WindowList, OutOfOrderRemovalIsReported) {
  CTestUi ui;
  int a = 0, b = 0;
  AddToWndList(&a);
  AddToWndList(&b);
  RemoveFromWndList(&a);
  EXPECT_TRUE(ui.SawText("Error in window sequence."));
  EXPECT_EQ(WndListSize(), 1);
  RemoveFromWndList(&b);
  EXPECT_EQ(WndListSize(), 0);
}

}  // namespace
