// The Qt user interface: message boxes and their button sets, the wait box
// with its abort button, Esc and close button, progress and nesting, choice
// lists, text and secret input, file choice and the generic edit dialog.

#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QTest>

#include "QtTestApp.h"
#include "app/CDialogChoice.h"
#include "app/CDialogEditItem.h"
#include "app/CQtUserInterface.h"
#include "app/CQtWaitBox.h"
#include "common/TestCommon.h"
#include "support/CDialogWaitBox.h"
#include "support/FileUtil.h"
#include "support/UserPrompts.h"

namespace {

class QtUi : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    SetUi(&m_ui);
  }
  void TearDown() override { SetUi(nullptr); }

  // Clicks the button of the next message box and records its text.
  void AnswerNextBox(QMessageBox::StandardButton button) {
    WhenModal<QMessageBox>([this, button](QMessageBox* pBox) {
      m_saTexts.push_back(pBox->text().toStdString());
      pBox->button(button)->click();
    });
  }
  void EscapeNextBox() {
    WhenModal<QMessageBox>([this](QMessageBox* pBox) {
      m_saTexts.push_back(pBox->text().toStdString());
      QTest::keyClick(pBox, Qt::Key_Escape);
    });
  }

  // Calls TestForAbort until it reports abort or the deadline passes.
  static bool WaitForAbort(CDialogWaitBox* pBox, int* pBypass = nullptr) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000)
      if (pBox->TestForAbort(pBypass)) return true;
    return false;
  }

  CQtUserInterface m_ui;
  std::vector<std::string> m_saTexts;
};

}  // namespace

TEST_F(QtUi, MessageBoxesAnswerWithTheirButtonSets) {
  struct stCase {
    int nButtons;
    QMessageBox::StandardButton click;
    int nAnswer;
  };
  const stCase cases[] = {
      {MB_OK, QMessageBox::Ok, IDOK},
      {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
      {MB_ABORTRETRYIGNORE, QMessageBox::Ignore, IDIGNORE},
      {MB_YESNOCANCEL, QMessageBox::No, IDNO},
      {MB_YESNO, QMessageBox::Yes, IDYES},
      {MB_RETRYCANCEL, QMessageBox::Retry, IDRETRY},
  };
  for (const auto& c : cases) {
    AnswerNextBox(c.click);
    EXPECT_EQ(m_ui.MessageBox("Question " + std::to_string(c.nButtons), "Kelvo", c.nButtons),
              c.nAnswer);
  }
  ASSERT_EQ(m_saTexts.size(), 6u);
  EXPECT_EQ(m_saTexts[3], "Question 3");

  // Esc gives the default answer when there is one, else the set's cancel.
  EscapeNextBox();
  EXPECT_EQ(m_ui.MessageBox("Esc with default", "Kelvo", MB_YESNOCANCEL, IDNO), IDNO);
  EscapeNextBox();
  EXPECT_EQ(m_ui.MessageBox("Esc without default", "Kelvo", MB_YESNOCANCEL), IDCANCEL);
  EscapeNextBox();
  EXPECT_EQ(m_ui.MessageBox("Esc yes/no", "Kelvo", MB_YESNO), IDNO);

  // GetResponse goes through the same box and keeps the busy depth up meanwhile.
  int nDepthSeen = -1;
  WhenModal<QMessageBox>([&nDepthSeen](QMessageBox* pBox) {
    nDepthSeen = BusyDepth();
    pBox->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(GetResponse("Through GetResponse?", MB_YESNO), IDYES);
  EXPECT_EQ(nDepthSeen, 1);
  EXPECT_EQ(BusyDepth(), 0);
}

TEST_F(QtUi, WaitBoxShowsTextProgressAndAbortsOnlyAfterConfirmation) {
  CDialogWaitBox* pBox = StartWaitBox("Loading data", true);
  CQtWaitBox* pWindow = m_ui.WaitBox(pBox->Id());
  ASSERT_NE(pWindow, nullptr);
  EXPECT_TRUE(pWindow->isVisible());
  EXPECT_EQ(pWindow->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(pWindow->Text(), "Loading data");
  EXPECT_TRUE(pWindow->AbortButton()->isVisibleTo(pWindow));
  EXPECT_FALSE(pWindow->ProgressBar()->isVisibleTo(pWindow));
  EXPECT_EQ(m_ui.DisabledDepth(), 1);

  pBox->SetDenominator(200);
  pBox->UpdateProgress(50);
  EXPECT_TRUE(pWindow->ProgressBar()->isVisibleTo(pWindow));
  EXPECT_EQ(pWindow->ProgressBar()->format(), "25.0%");
  pBox->ChangeText("Sort tables");
  EXPECT_EQ(pWindow->Text(), "Sort tables");

  // The abort button asks first; No keeps the operation going.
  QTimer::singleShot(0, pWindow->AbortButton(), [pWindow] { pWindow->AbortButton()->click(); });
  AnswerNextBox(QMessageBox::No);
  QElapsedTimer clock;
  clock.start();
  while (m_saTexts.empty() && clock.elapsed() < 15000) EXPECT_FALSE(pBox->TestForAbort());
  ASSERT_EQ(m_saTexts.size(), 1u);
  EXPECT_EQ(m_saTexts[0], "Are you sure you want to abort operation?\n");
  EXPECT_FALSE(pBox->AbortRequested());

  // The window's close button is a press too; Yes aborts. The box stays up.
  QTimer::singleShot(0, pWindow, [pWindow] { pWindow->close(); });
  AnswerNextBox(QMessageBox::Yes);
  EXPECT_TRUE(WaitForAbort(pBox));
  EXPECT_TRUE(pWindow->isVisible());
  EndWaitBox(pBox);
  EXPECT_EQ(m_ui.DisabledDepth(), 0);
  EXPECT_EQ(m_ui.WaitBox(1), nullptr);
}

TEST_F(QtUi, EscDuringALockWaitAsksTheBypassQuestionWithTheSafeDefault) {
  CDialogWaitBox* pBox = StartWaitBox("Waiting for lock", true);
  CQtWaitBox* pWindow = m_ui.WaitBox(pBox->Id());
  ASSERT_NE(pWindow, nullptr);
  int nBypass = -1;

  // Esc again on the question (a held key) gives its default: continue.
  QTimer::singleShot(0, pWindow, [pWindow] { QTest::keyClick(pWindow, Qt::Key_Escape); });
  EscapeNextBox();
  QElapsedTimer clock;
  clock.start();
  while (m_saTexts.empty() && clock.elapsed() < 15000) EXPECT_FALSE(pBox->TestForAbort(&nBypass));
  ASSERT_EQ(m_saTexts.size(), 1u);
  EXPECT_EQ(m_saTexts[0],
            "Select Yes to abort operation\nSelect No to continue operation\nSelect Cancel to "
            "continue and bypass lock");
  EXPECT_EQ(nBypass, -1);

  QTimer::singleShot(0, pWindow, [pWindow] { QTest::keyClick(pWindow, Qt::Key_Escape); });
  AnswerNextBox(QMessageBox::Cancel);
  EXPECT_TRUE(WaitForAbort(pBox, &nBypass));
  EXPECT_EQ(nBypass, 1);
  EndWaitBox(pBox);
}

TEST_F(QtUi, NestedWaitBoxesKeepTheWindowsDisabledUntilTheOutermostEnds) {
  QWidget frame;
  frame.show();
  m_ui.AddWindow(&frame);
  CDialogWaitBox* pOuter = StartWaitBox("Outer");
  CDialogWaitBox* pInner = StartWaitBox("Inner");
  EXPECT_EQ(WaitBoxDepth(), 2);
  EXPECT_EQ(m_ui.DisabledDepth(), 2);
  // Questions asked inside the wait open over the newest box.
  EXPECT_EQ(m_ui.DialogParent(), m_ui.WaitBox(pInner->Id()));
  EndWaitBox(pInner);
  EXPECT_EQ(m_ui.DisabledDepth(), 1);
  EXPECT_EQ(m_ui.DialogParent(), m_ui.WaitBox(pOuter->Id()));
  EndWaitBox(pOuter);
  EXPECT_EQ(m_ui.DisabledDepth(), 0);
  EXPECT_EQ(m_ui.DialogParent(), &frame);
  m_ui.RemoveWindow(&frame);
}

TEST_F(QtUi, ProcessEventsIsThrottledAndRunsTimers) {
  int nFired = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&nFired] { ++nFired; });
  timer.start(1);
  QElapsedTimer clock;
  clock.start();
  int nCalls = 0;
  while (nFired < 3 && clock.elapsed() < 15000) {
    m_ui.ProcessEvents();
    ++nCalls;
  }
  EXPECT_GE(nFired, 3);
  // Many calls, few rounds: each round is at least 30 ms apart.
  EXPECT_GT(nCalls, nFired);
}

TEST_F(QtUi, ChoiceInputAndFileDialogs) {
  WhenModal<CDialogChoice>([](CDialogChoice* pDialog) {
    pDialog->List()->setCurrentRow(2);
    pDialog->accept();
  });
  auto chosen = m_ui.ChooseFromList("Pick one", {"a", "b", "c"}, false);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, std::vector<int>{2});

  WhenModal<CDialogChoice>([](CDialogChoice* pDialog) {
    pDialog->List()->item(0)->setSelected(true);
    pDialog->List()->item(3)->setSelected(true);
    pDialog->accept();
  });
  chosen = m_ui.ChooseFromList("Pick some", {"a", "b", "c", "d"}, true);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, (std::vector<int>{0, 3}));

  WhenModal<CDialogChoice>([](CDialogChoice* pDialog) { pDialog->reject(); });
  EXPECT_FALSE(m_ui.ChooseFromList("Cancel", {"a"}, false));

  WhenModal<QInputDialog>([](QInputDialog* pDialog) {
    EXPECT_EQ(pDialog->labelText(), "Root name (no extension)");
    EXPECT_EQ(pDialog->textValue(), "Default");
    pDialog->setTextValue("Office");
    pDialog->accept();
  });
  EXPECT_EQ(m_ui.InputText("Root name (no extension)", "Default"), "Office");

  WhenModal<QInputDialog>([](QInputDialog* pDialog) {
    EXPECT_EQ(pDialog->textEchoMode(), QLineEdit::Password);
    pDialog->setTextValue("tov582");
    pDialog->accept();
  });
  EXPECT_EQ(m_ui.InputSecret("Password"), "tov582");

  WhenModal<QInputDialog>([](QInputDialog* pDialog) { pDialog->reject(); });
  EXPECT_FALSE(m_ui.InputText("Cancelled", ""));

  CScratchFolder folder;
  ASSERT_TRUE(WriteFileAtomic(folder.File("Office.dbm"), "x"));
  WhenModal<QFileDialog>([&folder](QFileDialog* pDialog) {
    EXPECT_EQ(pDialog->windowTitle(), "Kelvo files");
    EXPECT_TRUE(pDialog->testOption(QFileDialog::DontUseNativeDialog));
    pDialog->selectFile(QString::fromStdString(folder.File("Office.dbm")));
    static_cast<QDialog*>(pDialog)->accept();
  });
  EXPECT_EQ(m_ui.ChooseFile(false, "Kelvo files", "Kelvo files (*.dbm)", folder.Path()),
            folder.File("Office.dbm"));
}

TEST_F(QtUi, EditDialogRendersTheFormAndKeepsByteLimits) {
  stEditForm form;
  form.sDialog = "Setup";
  form.sTitle = "Setup";
  form.fields = {{"Name", "Anna", 8},
                 {"Notes", "line one\nline two", 4095},
                 {"Start hour", "8", 4095, 0, 23},
                 {"Enable", "0", 4095, 0, 1}};
  WhenModal<CDialogEditItem>([](CDialogEditItem* pDialog) {
    auto* pName = qobject_cast<QLineEdit*>(pDialog->Editor(0));
    ASSERT_NE(pName, nullptr);
    pName->setText(QString::fromUtf8("Müllerin"));  // 9 bytes, 8 characters
    auto* pNotes = qobject_cast<QPlainTextEdit*>(pDialog->Editor(1));
    ASSERT_NE(pNotes, nullptr);
    pNotes->setPlainText("one\ntwo\nthree");
    auto* pHour = qobject_cast<QSpinBox*>(pDialog->Editor(2));
    ASSERT_NE(pHour, nullptr);
    EXPECT_EQ(pHour->maximum(), 23);
    pHour->setValue(30);  // held to the range
    auto* pEnable = qobject_cast<QCheckBox*>(pDialog->Editor(3));
    ASSERT_NE(pEnable, nullptr);
    pEnable->setChecked(true);
    pDialog->accept();
  });
  EXPECT_EQ(m_ui.EditItem(form), IDOK);
  EXPECT_EQ(*form.Find("Name"), "Mülleri");  // cut at a character boundary, 8 bytes
  EXPECT_EQ(*form.Find("Notes"), "one\ntwo\nthree");
  EXPECT_EQ(*form.Find("Start hour"), "23");
  EXPECT_EQ(*form.Find("Enable"), "1");

  WhenModal<CDialogEditItem>([](CDialogEditItem* pDialog) {
    qobject_cast<QLineEdit*>(pDialog->Editor(0))->setText("Changed");
    pDialog->reject();
  });
  EXPECT_EQ(m_ui.EditItem(form), IDCANCEL);
  EXPECT_EQ(*form.Find("Name"), "Mülleri");
  EXPECT_EQ(CDialogEditItem::CutToBytes("abc", 0), "");
  EXPECT_EQ(CDialogEditItem::CutToBytes("\xE2\x82\xAC" "x", 2), "");
}

TEST_F(QtUi, MailListLayoutShowsItsPaperWithoutEditingIt) {
  stEditForm form;
  form.sDialog = "Mail list layout";
  form.sTitle = "Mail labels layout";
  form.fields = {{"Paper", "Letter (8.50 x 11.00 in) on Print to PDF", 255}, {"Columns", "2", 2, 1, 99}};
  WhenModal<CDialogEditItem>([](CDialogEditItem* pDialog) {
    auto* pPaper = qobject_cast<QLineEdit*>(pDialog->Editor(0));
    ASSERT_NE(pPaper, nullptr);
    EXPECT_TRUE(pPaper->isReadOnly());
    EXPECT_EQ(pPaper->text().toStdString(), "Letter (8.50 x 11.00 in) on Print to PDF");
    qobject_cast<QSpinBox*>(pDialog->Editor(1))->setValue(3);
    pDialog->accept();
  });
  EXPECT_EQ(m_ui.EditItem(form), IDOK);
  EXPECT_EQ(*form.Find("Columns"), "3");
  EXPECT_EQ(*form.Find("Paper"), "Letter (8.50 x 11.00 in) on Print to PDF");
}
