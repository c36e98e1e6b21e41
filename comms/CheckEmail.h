#pragma once
// Checking one mail account: log on, read every waiting message (deleting
// nothing), keep those that hold one of the account's alert keys, log off.
// Runs on any thread; it touches no user interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "comms/CPop3Connection.h"
#include "comms/MailAccount.h"

// One listed message.
struct stMailItem {
  std::string sServer;  // the account: server as configured, and user name
  std::string sUser;
  int nNumber = 0;  // on the server during the check that found it
  uint32_t nSize = 0;
  std::string sUid;  // the server's unique ID, empty when it gives none
  std::string sFrom;
  std::string sSubject;
  std::string sDate;
  std::string sAlert;    // the alert key that matched; empty when the account has none
  std::string sMessage;  // the message as received
  bool bError = false;   // the "ERROR in retrieving" item

  // The list line: user name, sender, subject, date, TAB-separated.
  std::string ItemText() const;
  bool operator==(const stMailItem&) const = default;
};

// What one account's check found.
struct stAccountCheck {
  int nResult = 0;  // 1 when the mailbox was read
  std::string sServer;
  std::string sUser;
  std::string sError;  // why not, for tools and traces
  std::vector<stMailItem> items;
  bool bBeep = false;  // the statistics failed: the user hears it
};

struct stMailCheckOptions {
  int nConnectMs = 10000;
  int nIdleMs = 10000;              // any wait for the server
  int nAccountDeadlineMs = 120000;  // the whole check of one account
  int nTlsPort = 995;
  std::string sCaFile;  // empty: the system's certificate authorities
  int nMaxMessages = 500;                      // read per account and check
  size_t nMaxKeptBytes = 100 * 1024 * 1024;   // of message text per account and check
  int nWakeFd = -1;                            // readable: stop at once
};

// The alert filter: with no keys every message is accepted; otherwise the
// sender, subject and text are joined, turned to upper case and searched for
// each key. The matching key goes to pMatched.
bool EmailCheckItem(const std::string& sSender, const std::string& sSubject,
                    const std::string& sText, const std::vector<std::string>& saKeys,
                    std::string* pMatched = nullptr);

// Parses the account and logs on to its server within the options' limits;
// false with the reason in sError.
bool ConnectAccount(const std::string& sAccount, const stMailCheckOptions& options,
                    CPop3Connection& pop, stMailAccount& account, std::string& sError);

// Checks one account string. 0 without a usable account, when the log-on
// fails, or when the statistics fail (then the "ERROR" item is added).
int CheckEmail(const std::string& sAccount, const stMailCheckOptions& options,
               stAccountCheck& result);

// Deletes the messages of one account by their IDs (message numbers change
// between sessions; IDs do not). A deletion counts only when the server
// confirmed the log-off that commits it. Returns the messages deleted.
std::vector<stMailItem> DeleteEmails(const std::string& sAccount,
                                     const std::vector<stMailItem>& items,
                                     const stMailCheckOptions& options);
