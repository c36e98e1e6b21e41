// A quit signal at any moment: the question, wait box or edit dialog on
// screen gets its cancel (or no) answer, later questions are not shown, and
// the close runs only once the program is back in its main loop.

#include <signal.h>

#include <QElapsedTimer>
#include <QMessageBox>

#include "QtTestApp.h"
#include "app/CDialogEditItem.h"
#include "app/CQtUserInterface.h"
#include "app/CQtWaitBox.h"
#include "app/CQuitSignals.h"
#include "support/CDialogWaitBox.h"
#include "support/UserPrompts.h"

#include <gtest/gtest.h>

namespace {

class QuitSignals : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    SetUi(&m_ui);
    m_pQuit = std::make_unique<CQuitSignals>();
    m_pQuit->SetAction([this] { ++m_nQuits; });
  }
  void TearDown() override {
    m_pQuit.reset();
    SetUi(nullptr);
  }
  // Raises the signal once a window of type T is the active modal one.
  template <class T>
  static void SignalWhenModal(int nSignal) {
    WhenModal<T>([nSignal](T*) { ::raise(nSignal); });
  }
  // Runs the event loop until the quit action ran (or 10 s passed).
  bool QuitRanOnce() {
    QElapsedTimer clock;
    clock.start();
    while (m_nQuits == 0 && clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return m_nQuits == 1;
  }

  CQtUserInterface m_ui;
  std::unique_ptr<CQuitSignals> m_pQuit;
  int m_nQuits = 0;
};

}  // namespace

TEST_F(QuitSignals, AQuestionOnScreenGetsItsNoAnswer) {
  SignalWhenModal<QMessageBox>(SIGTERM);
  EXPECT_EQ(GetResponse("Do you want to open database:/tmp/Office", MB_YESNO, 0, IDYES), IDNO);
  EXPECT_TRUE(IsQuitRequested());
  EXPECT_TRUE(QuitRanOnce());
  // Questions asked on the way out are answered at once, never shown.
  EXPECT_EQ(GetResponse("Retry the write?", MB_ABORTRETRYIGNORE), IDABORT);
  EXPECT_EQ(GetResponse("Save the changes?", MB_YESNOCANCEL, 0, IDYES), IDCANCEL);
  EXPECT_EQ(GetResponse("File written.", MB_OK), IDOK);
  EXPECT_EQ(m_nQuits, 1);
}

TEST_F(QuitSignals, AWaitBoxIsAbortedAndTheCloseWaitsForItsEnd) {
  SignalWhenModal<CQtWaitBox>(SIGINT);
  CDialogWaitBox* pBox = StartWaitBox("Waiting for permission to lock", true);
  int nBypass = -1;
  QElapsedTimer clock;
  clock.start();
  bool bAborted = false;
  while (!(bAborted = pBox->TestForAbort(&nBypass)) && clock.elapsed() < 10000) {
  }
  EXPECT_TRUE(bAborted);
  EXPECT_EQ(nBypass, 0);  // aborted, not bypassed
  QApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_EQ(m_nQuits, 0);  // not inside the wait
  EndWaitBox(pBox);
  EXPECT_TRUE(QuitRanOnce());
}

TEST_F(QuitSignals, AnEditDialogIsCancelled) {
  stEditForm form;
  form.sDialog = "Person";
  form.fields = {{"Last name", "Curie"}};
  SignalWhenModal<CDialogEditItem>(SIGHUP);
  EXPECT_EQ(m_ui.EditItem(form), IDCANCEL);
  EXPECT_EQ(form.fields[0].sValue, "Curie");
  EXPECT_TRUE(QuitRanOnce());
  EXPECT_EQ(m_ui.InputText("New port number", "1234"), std::nullopt);
}
