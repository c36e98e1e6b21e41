// kelvotool command of the mail check:
//   mailcheck [--account N | --server HOST[:PORT] --user U --password-file F] [--keys K1,K2]
// checks the accounts of Kelvo.cfg (all of them, or the N-th from 1), or one
// server given on the command line, and prints the messages the check lists:
// number, size, sender, subject and the alert key that matched, one
// TAB-separated line each. Nothing is deleted on the server. The password
// file's first line is the password, so it never shows in a process list.

#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>

#include "comms/CEmailCheck.h"
#include "comms/MailAccount.h"
#include "support/CConfigFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

constexpr char kUsage[] =
    "usage: mailcheck [--account N | --server HOST[:PORT] --user U --password-file F] "
    "[--keys K1,K2]";

// Runs the check's posts on the tool's own thread, as a window would.
class CToolMailHost : public CMailCheckHost {
 public:
  void PostToUi(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(fn));
    m_cv.notify_one();
  }
  void CheckEnded() override { m_bEnded = true; }

  void RunUntilEnded() {
    while (!m_bEnded) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_queue.empty(); });
        fn = std::move(m_queue.front());
        m_queue.pop_front();
      }
      fn();
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
  bool m_bEnded = false;
};

struct stMailArgs {
  int nAccount = 0;  // from 1; 0 = every account
  std::string sServer, sUser, sPasswordFile;
  bool bKeys = false;
  std::vector<std::string> saKeys;
};

bool ParseArgs(const std::vector<std::string>& args, stMailArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    if (i + 1 >= args.size()) return false;
    const std::string& sValue = args[++i];
    long long n = 0;
    if (s == "--account" && ParseInt(sValue, n) && n >= 1 && n <= 100000) {
      a.nAccount = int(n);
    } else if (s == "--server") {
      a.sServer = sValue;
    } else if (s == "--user") {
      a.sUser = sValue;
    } else if (s == "--password-file") {
      a.sPasswordFile = sValue;
    } else if (s == "--keys") {
      a.bKeys = true;
      std::vector<std::string> sa;
      ParseString(sValue, ",", sa);
      for (const std::string& sKey : sa)
        if (!Trim(sKey).empty()) a.saKeys.push_back(ToUpper(Trim(sKey)));
    } else {
      return false;
    }
  }
  const bool bServer = !a.sServer.empty() || !a.sUser.empty() || !a.sPasswordFile.empty();
  if (bServer && (a.nAccount || a.sServer.empty() || a.sUser.empty() || a.sPasswordFile.empty()))
    return false;
  return true;
}

// The account strings to check; empty with a message when there is none.
std::vector<std::string> AccountsToCheck(const stMailArgs& a) {
  std::vector<std::string> saAccounts;
  if (!a.sServer.empty()) {
    stMailAccount account;
    if (!ToolReadPassword(a.sPasswordFile, account.sPassword)) {
      ToolError("cannot read " + a.sPasswordFile);
      return {};
    }
    account.sServer = a.sServer;
    account.sUser = a.sUser;
    const std::string sRefusal =
        CheckMailAccountFields(account.sServer, account.sUser, account.sPassword, "");
    if (!sRefusal.empty()) {
      ToolError(sRefusal);
      return {};
    }
    saAccounts.push_back(FormatMailAccount(account));
  } else {
    const std::string sPath = ProgramFile("Kelvo.cfg");
    if (!CConfigFile::ReadFile(sPath, AppSettings()).bFound) {
      ToolError("no " + sPath);
      return {};
    }
    saAccounts = AppSettings().saEmailAccounts;
    if (a.nAccount > int(saAccounts.size())) {
      ToolError(StrFormat("%s has %zu mail accounts", sPath.c_str(), saAccounts.size()));
      return {};
    }
    if (a.nAccount) saAccounts = {saAccounts[size_t(a.nAccount - 1)]};
    if (saAccounts.empty()) ToolError(sPath + " has no mail accounts");
  }
  if (a.bKeys) {
    for (std::string& s : saAccounts) {
      stMailAccount account;
      if (!ParseMailAccount(s, account)) continue;
      account.saKeys = a.saKeys;
      s = FormatMailAccount(account);
    }
  }
  return saAccounts;
}

int CmdMailCheck(const std::vector<std::string>& args) {
  stMailArgs a;
  if (!ParseArgs(args, a)) return ToolError(kUsage);
  const std::vector<std::string> saAccounts = AccountsToCheck(a);
  if (saAccounts.empty()) return TOOL_ERROR;

  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CToolMailHost host;
  CEmailCheck check(host);
  check.RequestCheck(saAccounts, false);
  host.RunUntilEnded();

  int nRead = 0;
  const std::vector<stAccountCheck>& results = check.LastResults();
  for (size_t i = 0; i < results.size(); ++i) {
    const stAccountCheck& r = results[i];
    if (results.size() > 1)
      std::cout << "Account " << i + 1 << ": " << r.sUser << " on " << r.sServer << "\n";
    if (!r.sError.empty())
      std::cerr << "kelvotool: " << r.sUser << " on " << r.sServer << ": " << r.sError << "\n";
    if (r.nResult != 1 && r.items.empty()) continue;
    nRead += r.nResult;
    std::cout << "Number\tSize\tFrom\tSubject\tAlert\n";
    for (const stMailItem& item : r.items) {
      const std::string sNumber = item.bError ? "-" : std::to_string(item.nNumber);
      const std::string sSize = item.bError ? "-" : std::to_string(item.nSize);
      // Decoded header texts hold no control characters, so the columns stay apart.
      std::cout << sNumber << "\t" << sSize << "\t" << item.sFrom << "\t" << item.sSubject << "\t"
                << item.sAlert << "\n";
    }
  }
  if (nRead == int(results.size())) return TOOL_OK;
  return nRead > 0 ? TOOL_FAULTS : TOOL_ERROR;
}

const CToolCommand kMailCheck("mailcheck",
                              "mailcheck [--account N | --server HOST[:PORT] --user U "
                              "--password-file F] [--keys K1,K2]\n"
                              "                       list the waiting messages (none deleted)",
                              CmdMailCheck);

}  // namespace
