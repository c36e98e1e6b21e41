#pragma once
// The mail check behind the message list window. Checks (and deletions the
// user asks for) run on a worker thread; everything the window sees (the
// list, the titles, the wait box, the messages) happens on the
// user-interface thread, through the host's queue. One job runs at a time: a
// request while a job, a viewer, a wait box, a question or a table operation
// is in progress waits until RunPending finds nothing busy.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comms/CheckEmail.h"

class CDialogWaitBox;

// What the check asks of its window. Everything but PostToUi is called on
// the user-interface thread.
class CMailCheckHost {
 public:
  virtual ~CMailCheckHost() = default;
  // Queues fn to run on the user-interface thread; called from the worker.
  virtual void PostToUi(std::function<void()> fn) = 0;
  // The window's title: "Checking for new email", then "%i Emails".
  virtual void SetCheckTitle(const std::string& /*sTitle*/) {}
  // The list changed: reload it from Items().
  virtual void ListChanged() {}
  // The main window's title: "%i Emails" while messages are listed, empty to
  // restore its normal title.
  virtual void SetMainTitle(const std::string& /*sTitle*/) {}
  // A check ended (after the list and the titles were updated).
  virtual void CheckEnded() {}
  // A deletion ended: messages deleted, and chosen ones that were not (no
  // ID from the server, gone already, or the server failed).
  virtual void DeleteEnded(int /*nDeleted*/, int /*nNotDeleted*/) {}
};

class CEmailCheck {
 public:
  explicit CEmailCheck(CMailCheckHost& host, stMailCheckOptions options = {});
  // Stops a running job at once and waits for its thread; nothing it posted
  // afterwards touches this object.
  ~CEmailCheck();
  CEmailCheck(const CEmailCheck&) = delete;
  CEmailCheck& operator=(const CEmailCheck&) = delete;

  // A check of every account string (nAccount < 0) or of the one at that
  // index. The user's checks show the wait box and report a check that found
  // no usable account.
  void RequestCheck(std::vector<std::string> saAccounts, bool bAskedByUser, int nAccount = -1);
  // Deletes the listed messages at these indexes from their servers; the
  // account strings give the passwords.
  void RequestDelete(std::vector<std::string> saAccounts, std::vector<int> naItems);
  // The timer step: applies a finished job and starts a waiting one when
  // nothing is busy.
  void RunPending();

  // Ends a running job at once (a wait box's abort, the check switched off);
  // what it had read is still applied.
  void Stop();
  // A viewer is open: jobs wait until it closes.
  void SetViewerOpen(bool bOpen) { m_bViewerOpen = bOpen; }
  bool IsBusy() const;
  bool IsRunning() const { return m_worker.joinable(); }
  bool HasPending() const { return !m_requests.empty() || m_owed.has_value(); }

  const std::vector<stMailItem>& Items() const { return m_caItems; }
  const std::string& Title() const { return m_sTitle; }
  // The last check of each account, in the order checked.
  const std::vector<stAccountCheck>& LastResults() const { return m_caLastResults; }

  // The timer interval in milliseconds for an interval in minutes; 0 for no
  // automatic check. Clamped so the value cannot overflow.
  static int TimerIntervalMs(int nMinutes);

 private:
  struct stRequest {
    std::vector<std::string> saAccounts;
    bool bAskedByUser = false;
    int nAccount = -1;
    bool bDelete = false;
    std::vector<stMailItem> items;  // to delete
  };
  struct stOutcome {
    stRequest request;
    std::vector<std::string> saChecked;  // the account strings checked
    std::vector<stAccountCheck> results;
    std::vector<stMailItem> deleted;
    int nNotDeleted = 0;
  };
  // Lets late posts from the worker find out that the check is gone.
  struct stAlive {
    CEmailCheck* pOwner;
  };

  void Queue(stRequest request);
  void Start(stRequest request);
  void RunJob(stOutcome outcome, std::shared_ptr<stAlive> pAlive);
  void Progress(const std::string& sText);
  void Finish(stOutcome outcome);
  void ApplyCheck(const stOutcome& outcome);
  void ApplyDelete(const stOutcome& outcome);
  void ComposeList(const std::vector<std::string>& saAccounts);
  void SetTitles(bool bMainToo);

  CMailCheckHost& m_host;
  stMailCheckOptions m_options;
  int m_nWakeFd = -1;
  std::thread m_worker;
  std::shared_ptr<stAlive> m_pAlive;
  std::deque<stRequest> m_requests;
  std::optional<stOutcome> m_owed;
  CDialogWaitBox* m_pWaitBox = nullptr;
  bool m_bViewerOpen = false;
  std::map<std::string, std::vector<stMailItem>> m_itemsByAccount;  // by account string
  std::vector<stMailItem> m_caItems;
  std::vector<stAccountCheck> m_caLastResults;
  std::string m_sTitle = "0 Emails";
};
