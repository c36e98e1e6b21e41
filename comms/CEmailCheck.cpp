#include "comms/CEmailCheck.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>

#include "support/CDialogWaitBox.h"
#include "support/CFrameServices.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr char kCheckError[] = "Error in checking email";

std::string WaitText(const std::string& sAccount) {
  stMailAccount account;
  ParseMailAccount(sAccount, account);
  return StrFormat("Checking server %s for user %s email", account.sServer.c_str(),
                   account.sUser.c_str());
}

bool SameMessage(const stMailItem& a, const stMailItem& b) {
  return !a.sUid.empty() && a.sUid == b.sUid && a.sServer == b.sServer && a.sUser == b.sUser;
}

// The account string among saAccounts that an item came from.
const std::string* AccountOf(const stMailItem& item, const std::vector<std::string>& saAccounts) {
  for (const std::string& s : saAccounts) {
    stMailAccount account;
    if (ParseMailAccount(s, account) && account.sServer == item.sServer &&
        account.sUser == item.sUser)
      return &s;
  }
  return nullptr;
}

}  // namespace

CEmailCheck::CEmailCheck(CMailCheckHost& host, stMailCheckOptions options)
    : m_host(host), m_options(std::move(options)), m_pAlive(std::make_shared<stAlive>(stAlive{this})) {
  m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_options.nWakeFd = m_nWakeFd;
}

CEmailCheck::~CEmailCheck() {
  m_pAlive->pOwner = nullptr;
  if (m_worker.joinable()) {
    Stop();
    m_worker.join();
  }
  EndWaitBox(m_pWaitBox);
  if (m_nWakeFd >= 0) ::close(m_nWakeFd);
}

void CEmailCheck::Stop() {
  const uint64_t nOne = 1;
  if (IsRunning() && ::write(m_nWakeFd, &nOne, sizeof nOne) < 0)
    KTRACE("Mail check: cannot wake the worker\n");
}

int CEmailCheck::TimerIntervalMs(int nMinutes) {
  if (nMinutes <= 0) return 0;
  return std::min(nMinutes, INT_MAX / 60000) * 60000;
}

bool CEmailCheck::IsBusy() const { return IsRunning() || m_bViewerOpen || BusyDepth() > 0; }

void CEmailCheck::RequestCheck(std::vector<std::string> saAccounts, bool bAskedByUser,
                               int nAccount) {
  stRequest request;
  request.saAccounts = std::move(saAccounts);
  request.bAskedByUser = bAskedByUser;
  request.nAccount = nAccount;
  Queue(std::move(request));
  RunPending();
}

void CEmailCheck::RequestDelete(std::vector<std::string> saAccounts, std::vector<int> naItems) {
  stRequest request;
  request.saAccounts = std::move(saAccounts);
  request.bDelete = true;
  for (int n : naItems)
    if (n >= 0 && n < int(m_caItems.size())) request.items.push_back(m_caItems[size_t(n)]);
  Queue(std::move(request));
  RunPending();
}

void CEmailCheck::Queue(stRequest request) {
  // Checks asked while one waits become one check: the latest accounts, of
  // every account unless both asked for the same one, shown as the user's
  // when either was.
  if (!request.bDelete && !m_requests.empty() && !m_requests.back().bDelete) {
    stRequest& waiting = m_requests.back();
    waiting.bAskedByUser |= request.bAskedByUser;
    if (waiting.nAccount != request.nAccount) waiting.nAccount = -1;
    waiting.saAccounts = std::move(request.saAccounts);
    return;
  }
  m_requests.push_back(std::move(request));
}

void CEmailCheck::RunPending() {
  if (IsBusy()) return;
  if (m_owed) {
    stOutcome outcome = std::move(*m_owed);
    m_owed.reset();
    if (outcome.request.bDelete)
      ApplyDelete(outcome);
    else
      ApplyCheck(outcome);
  }
  // Applying may have asked the user something; the next job waits for quiet.
  if (m_requests.empty() || IsBusy()) return;
  stRequest request = std::move(m_requests.front());
  m_requests.pop_front();
  Start(std::move(request));
}

void CEmailCheck::Start(stRequest request) {
  stOutcome outcome;
  if (!request.bDelete) {
    const int nCount = int(request.saAccounts.size());
    if (request.nAccount < 0)
      outcome.saChecked = request.saAccounts;
    else if (request.nAccount < nCount)
      outcome.saChecked.push_back(request.saAccounts[size_t(request.nAccount)]);
    m_sTitle = "Checking for new email";
    m_host.SetCheckTitle(m_sTitle);
    if (outcome.saChecked.empty()) {
      if (request.bAskedByUser) GetResponse(kCheckError, MB_OK);
      SetTitles(false);
      m_host.CheckEnded();
      return;
    }
    if (request.bAskedByUser) m_pWaitBox = StartWaitBox(WaitText(outcome.saChecked.front()));
  }
  outcome.request = std::move(request);
  uint64_t nDrain = 0;
  while (::read(m_nWakeFd, &nDrain, sizeof nDrain) > 0) {
  }
  m_worker = std::thread([this, pAlive = m_pAlive, o = std::move(outcome)]() mutable {
    RunJob(std::move(o), std::move(pAlive));
  });
}

// On the worker thread: reads only the options and the outcome it owns, and
// reaches the object only through posts that check it still exists.
void CEmailCheck::RunJob(stOutcome outcome, std::shared_ptr<stAlive> pAlive) {
  if (outcome.request.bDelete) {
    // One session per account, for that account's messages.
    std::map<const std::string*, std::vector<stMailItem>> byAccount;
    for (const stMailItem& item : outcome.request.items) {
      const std::string* pAccount =
          item.bError || item.sUid.empty() ? nullptr : AccountOf(item, outcome.request.saAccounts);
      if (pAccount)
        byAccount[pAccount].push_back(item);
      else
        ++outcome.nNotDeleted;
    }
    for (const auto& [pAccount, batch] : byAccount) {
      std::vector<stMailItem> deleted = DeleteEmails(*pAccount, batch, m_options);
      outcome.nNotDeleted += int(batch.size() - deleted.size());
      outcome.deleted.insert(outcome.deleted.end(), deleted.begin(), deleted.end());
    }
  } else {
    for (size_t i = 0; i < outcome.saChecked.size(); ++i) {
      if (i > 0 && outcome.request.bAskedByUser) {
        const std::string sText = WaitText(outcome.saChecked[i]);
        m_host.PostToUi([pAlive, sText] {
          if (pAlive->pOwner) pAlive->pOwner->Progress(sText);
        });
      }
      stAccountCheck result;
      CheckEmail(outcome.saChecked[i], m_options, result);
      outcome.results.push_back(std::move(result));
    }
  }
  m_host.PostToUi([pAlive, o = std::move(outcome)]() mutable {
    if (pAlive->pOwner) pAlive->pOwner->Finish(std::move(o));
  });
}

void CEmailCheck::Progress(const std::string& sText) {
  if (m_pWaitBox) m_pWaitBox->ChangeText(sText);
}

void CEmailCheck::Finish(stOutcome outcome) {
  if (m_worker.joinable()) m_worker.join();
  EndWaitBox(m_pWaitBox);
  m_pWaitBox = nullptr;
  m_owed = std::move(outcome);
  RunPending();
}

void CEmailCheck::ApplyCheck(const stOutcome& outcome) {
  m_caLastResults = outcome.results;
  for (const stAccountCheck& result : outcome.results)
    if (result.bBeep) FrameServices().Beep(1000, 1000);
  const bool bAnyRead = std::any_of(outcome.results.begin(), outcome.results.end(),
                                    [](const stAccountCheck& r) { return r.nResult == 1; });
  if (!bAnyRead) {
    if (outcome.request.bAskedByUser) GetResponse(kCheckError, MB_OK);
    SetTitles(false);
    m_host.CheckEnded();
    return;
  }
  // A check of every account starts the list afresh; a check of one account
  // replaces only that account's messages.
  if (outcome.request.nAccount < 0) m_itemsByAccount.clear();
  for (size_t i = 0; i < outcome.results.size(); ++i)
    m_itemsByAccount[outcome.saChecked[i]] = outcome.results[i].items;
  ComposeList(outcome.request.saAccounts);
  SetTitles(true);
  m_host.CheckEnded();
}

void CEmailCheck::ApplyDelete(const stOutcome& outcome) {
  auto wasDeleted = [&](const stMailItem& item) {
    return std::any_of(outcome.deleted.begin(), outcome.deleted.end(),
                       [&](const stMailItem& d) { return SameMessage(d, item); });
  };
  for (auto& [sAccount, items] : m_itemsByAccount) std::erase_if(items, wasDeleted);
  if (std::erase_if(m_caItems, wasDeleted) > 0) m_host.ListChanged();
  SetTitles(true);
  m_host.DeleteEnded(int(outcome.deleted.size()), outcome.nNotDeleted);
}

void CEmailCheck::ComposeList(const std::vector<std::string>& saAccounts) {
  std::vector<stMailItem> list;
  std::set<std::string> seen;
  for (const std::string& sAccount : saAccounts) {
    const auto it = m_itemsByAccount.find(sAccount);
    if (it == m_itemsByAccount.end() || !seen.insert(sAccount).second) continue;
    list.insert(list.end(), it->second.begin(), it->second.end());
  }
  std::erase_if(m_itemsByAccount, [&](const auto& entry) { return !seen.count(entry.first); });
  if (list == m_caItems) return;  // the same messages: the list stays as it is
  m_caItems = std::move(list);
  m_host.ListChanged();
}

void CEmailCheck::SetTitles(bool bMainToo) {
  m_sTitle = StrFormat("%i Emails", int(m_caItems.size()));
  m_host.SetCheckTitle(m_sTitle);
  if (bMainToo) m_host.SetMainTitle(m_caItems.empty() ? "" : m_sTitle);
}
