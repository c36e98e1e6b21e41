#pragma once
// The user-interface seam on Qt widgets: modal message boxes with the
// program's button sets, the wait boxes (application-modal, shown without a
// nested loop), choice lists, text and secret input, file dialogs and the
// item edit dialog. Dialogs open over the top window of its window list.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "support/CUserInterface.h"

class CQtWaitBox;

class CQtUserInterface : public QObject, public CUserInterface {
  Q_OBJECT

 public:
  CQtUserInterface();
  ~CQtUserInterface() override;

  // Window list: the frame and the dialogs stacked on it, top last.
  void AddWindow(QWidget* pWindow);
  void RemoveWindow(QWidget* pWindow);
  // The window a new dialog opens over: the newest wait box, the active
  // modal dialog, or the top of the window list.
  QWidget* DialogParent() const;
  CQtWaitBox* WaitBox(int nBox) const;
  int DisabledDepth() const { return m_nDisabledDepth; }
  // Shortest time between two event-processing rounds inside a wait.
  static constexpr int kProcessEventsMs = 30;

  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault = 0) override;
  void WaitBoxShow(int nBox, const stWaitBoxView& view) override;
  void WaitBoxUpdate(int nBox, const stWaitBoxView& view) override;
  void WaitBoxClose(int nBox) override;
  bool ProcessEvents() override;
  void EnableWindows(bool bEnable) override;
  std::optional<std::vector<int>> ChooseFromList(const std::string& sCaption,
                                                 const std::vector<std::string>& items,
                                                 bool bMultiple) override;
  std::optional<stButtonChoice> ChooseWithButton(const std::string& sCaption,
                                                 const std::vector<std::string>& items,
                                                 const std::string& sButton) override;
  std::optional<std::string> InputText(const std::string& sPrompt, const std::string& sDefault) override;
  std::optional<std::string> InputSecret(const std::string& sPrompt) override;
  std::optional<std::string> ChooseFolder(const std::string& sCaption, const std::string& sDefault) override;
  std::optional<std::string> ChooseFile(bool bSave, const std::string& sCaption, const std::string& sFilter,
                                        const std::string& sDefault) override;
  int EditItem(stEditForm& form) override;
  void ShowText(const std::string& sCaption, const std::string& sText) override;
  std::optional<std::string> EditText(const std::string& sCaption, const std::string& sText) override;

 private:
  // A modal window with the text, read-only or editable; the text on OK.
  std::optional<std::string> TextWindow(const std::string& sCaption, const std::string& sText,
                                        bool bEditable);
  std::optional<std::string> AskLine(const std::string& sPrompt, const std::string& sDefault, bool bSecret);

  std::vector<QPointer<QWidget>> m_paWindows;
  std::map<int, std::unique_ptr<CQtWaitBox>> m_boxes;
  std::vector<int> m_naBoxOrder;
  bool m_bAbortPressed = false;
  int m_nDisabledDepth = 0;
  QElapsedTimer m_lastProcessing;
};
