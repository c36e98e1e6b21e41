#pragma once
// The message list window of the mail check: the messages the last check
// listed, the buttons that check again, set up the accounts and show a
// message as text, raw text or HTML. Non-modal; the main frame creates it
// while the check is enabled and drives it from its timer. The checks
// themselves run in CEmailCheck, off the user-interface thread.

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <string>

#include "comms/CEmailCheck.h"

class QTreeWidget;
struct stMailView;

class CDialogEmailCheck : public QDialog, public CMailCheckHost {
  Q_OBJECT

 public:
  // fnMainTitle sets the main window's title ("" restores its own).
  CDialogEmailCheck(std::function<void(const std::string&)> fnMainTitle, QWidget* pParent,
                    stMailCheckOptions options = {});
  ~CDialogEmailCheck() override;

  // A check of every configured account; bAskedByUser for the button and
  // the menu command.
  void DoCheck(bool bAskedByUser);
  // The timer step: a finished check is applied, and a timer check is asked
  // for once the interval has passed.
  void OnTick();
  // Restarts the interval (after the interval changed).
  void ResetTimer();
  // Stops a running check; true when neither a check nor anything the
  // window opened (viewer, set-up, wait box) is in progress, so it may go.
  bool StopForClose();

  void OnViewNormal();
  void OnRawText();
  void OnViewHtml();
  void OnSetup();

  CEmailCheck& Check() { return m_check; }

  // CMailCheckHost
  void PostToUi(std::function<void()> fn) override;
  void SetCheckTitle(const std::string& sTitle) override;
  void ListChanged() override;
  void SetMainTitle(const std::string& sTitle) override;

 private:
  const stMailItem* Selected() const;
  void ShowView(const stMailView& view);

  std::function<void(const std::string&)> m_fnMainTitle;
  CEmailCheck m_check;
  QTreeWidget* m_pList = nullptr;
  QElapsedTimer m_interval;
};
