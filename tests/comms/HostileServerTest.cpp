// The mail check against a scripted hostile server: every case ends within
// the limits, allocates no more than the caps allow, and never files one
// message's text under another message.

#include <gtest/gtest.h>

#include <optional>

#include "comms/CPop3Connection.h"
#include "support/CDialogWaitBox.h"
#include "support/StringUtil.h"
#include "tests/comms/Pop3TestHelpers.h"

// Under AddressSanitizer any single allocation above this is a failure, so a
// size claimed by the server cannot turn into a huge buffer.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=64"; }

namespace {

constexpr int kIdleMs = 1500;

using CaseScript = std::function<std::optional<bool>(CScriptedPeer&, const std::string&)>;

struct stHostileCase {
  const char* pName;
  CaseScript script;
  int nResult;                 // of CheckEmail
  std::vector<int> naListed;   // the message numbers listed
  int nError = 0;              // the failure the connection met, when one
};

const std::vector<std::string> kMessages = {NumberedMessage(1), NumberedMessage(2),
                                            NumberedMessage(3)};

std::string Reply(int n) { return "+OK\r\n" + kMessages[size_t(n - 1)] + ".\r\n"; }

CaseScript On(const std::string& sCommand, std::function<bool(CScriptedPeer&)> fn) {
  return [sCommand, fn](CScriptedPeer& peer, const std::string& s) -> std::optional<bool> {
    if (s != sCommand) return std::nullopt;
    return fn(peer);
  };
}

std::vector<stHostileCase> Cases() {
  const std::string sHalf = Reply(2).substr(0, 30);
  return {
      {"endless greeting", On("", [](CScriptedPeer& p) {
         p.Send("+OK ");
         for (int i = 0; i < 16384 && p.Send(std::string(4096, 'x')); ++i) {
         }
         return false;
       }), 0, {}, POP3_ERR_OVERSIZE},
      {"STAT claims 4294967295", On("STAT", [](CScriptedPeer& p) {
         return p.Send("+OK 4294967295 100\r\n");
       }), 0, {}},
      {"LIST size 2^31-1", On("LIST", [](CScriptedPeer& p) {
         return p.Send(StrFormat("+OK\r\n1 %zu\r\n2 2147483647\r\n3 %zu\r\n.\r\n",
                                 kMessages[0].size(), kMessages[2].size()));
       }), 1, {1, 3}},
      {"LIST numbered 0 and 99999", On("LIST", [](CScriptedPeer& p) {
         return p.Send("+OK\r\n0 10\r\n1 60\r\n99999 10\r\n2 60\r\n3 60\r\n.\r\n");
       }), 1, {1, 2, 3}},
      {"-ERR to RETR", On("RETR 2", [](CScriptedPeer& p) { return p.Send("-ERR gone\r\n"); }),
       1, {1, 3}},
      {"empty message", On("RETR 2", [](CScriptedPeer& p) { return p.Send("+OK\r\n.\r\n"); }),
       1, {1, 2, 3}},
      {"terminator byte by byte", On("RETR 3", [](CScriptedPeer& p) {
         p.SendByteByByte(Reply(3));
         return true;
       }), 1, {1, 2, 3}},
      {"close in the middle of RETR", On("RETR 2", [sHalf](CScriptedPeer& p) {
         p.Send(sHalf);
         return false;
       }), 1, {1}, POP3_ERR_CLOSED},
      {"stall, then the rest", On("RETR 2", [sHalf](CScriptedPeer& p) {
         p.Send(sHalf);
         usleep(kIdleMs * 1000 / 4);
         return p.Send(Reply(2).substr(sHalf.size()));
       }), 1, {1, 2, 3}},
      {"stall past the idle limit", On("RETR 2", [sHalf](CScriptedPeer& p) {
         p.Send(sHalf);
         usleep(kIdleMs * 1000 + 500000);
         return p.Send(Reply(2).substr(sHalf.size()));
       }), 1, {1}, POP3_ERR_TIMEOUT},
      {"reset after USER", On("USER u", [](CScriptedPeer& p) {
         p.Reset();
         return false;
       }), 0, {}},
      {"data nobody asked for", On("RETR 1", [](CScriptedPeer& p) {
         return p.Send(Reply(1) + "+OK\r\n" + NumberedMessage(9) + ".\r\n");
       }), 1, {1}},
      {"oversize message", On("RETR 2", [](CScriptedPeer& p) {
         const std::string sLines = std::string(1 << 20, 'x') + "\r\n";
         for (int i = 0; i < 22 && p.Send(i ? sLines : "+OK\r\n" + sLines); ++i) {
         }
         return false;
       }), 1, {1}, POP3_ERR_OVERSIZE},
  };
}

TEST(HostileServerTest, EveryCaseEndsWithTheRightMessagesOnly) {
  stMailCheckOptions options;
  options.nIdleMs = kIdleMs;
  options.nAccountDeadlineMs = 60000;
  for (const stHostileCase& c : Cases()) {
    SCOPED_TRACE(c.pName);
    CScriptedPop3Server server([&c](CScriptedPeer& peer, const std::string& s) {
      const std::optional<bool> handled = c.script(peer, s);
      return handled ? *handled : MailboxAnswer(peer, s, kMessages);
    });
    stAccountCheck result;
    EXPECT_EQ(CheckEmail(LoopbackAccount(server.Port(), "u", "p"), options, result), c.nResult)
        << result.sError;
    std::vector<int> naListed;
    for (const stMailItem& item : result.items) {
      if (item.bError) continue;
      naListed.push_back(item.nNumber);
      const std::string sExpected =
          std::string(c.pName) == "empty message" && item.nNumber == 2 ? "" : kMessages[size_t(item.nNumber - 1)];
      EXPECT_EQ(item.sMessage, sExpected) << "message " << item.nNumber;
    }
    EXPECT_EQ(naListed, c.naListed);
    if (c.nError) {
      EXPECT_NE(result.sError.find(std::to_string(c.nError)), std::string::npos) << result.sError;
    }
    if (std::string(c.pName) == "STAT claims 4294967295") {
      ASSERT_EQ(result.items.size(), 1u);
      EXPECT_EQ(result.items[0].ItemText(), "u\tERROR\tERROR in retrieving\t");
      EXPECT_TRUE(result.bBeep);
    }
    // After a time-out the client says QUIT and asks nothing more.
    if (c.nError == POP3_ERR_TIMEOUT) {
      std::vector<std::string> sa;
      for (int i = 0; i < 200 && (sa = server.Commands()).back() != "QUIT"; ++i) usleep(50000);
      EXPECT_EQ(sa.back(), "QUIT");
      EXPECT_EQ(std::count(sa.begin(), sa.end(), "RETR 3"), 0);
    }
  }
}

TEST(HostileServerTest, LargeClaimsReserveLittleAndNumbersAreRangeChecked) {
  CScriptedPop3Server server([](CScriptedPeer& peer, const std::string& s) {
    if (s == "LIST")
      return peer.Send("+OK\r\n1 2147483647\r\n2 60\r\n3 60\r\n.\r\n");
    return MailboxAnswer(peer, s, kMessages);
  });
  CPop3Connection pop;
  ASSERT_EQ(pop.Connect("127.0.0.1", "u", "p", server.Port()), 1);
  CPop3Message message;
  EXPECT_EQ(pop.Retrieve(1, message), 1);  // the claim made no 2 GiB buffer
  EXPECT_EQ(message.GetSubject(), "Message 1");
  uint32_t nSize = 0;
  EXPECT_EQ(pop.GetMessageSize(1, nSize), 1);
  EXPECT_EQ(nSize, 2147483647u);
  EXPECT_EQ(pop.Retrieve(0, message), 0);
  EXPECT_EQ(pop.Retrieve(4, message), 0);
  EXPECT_EQ(pop.Connect("127.0.0.1", "u\r\nDELE 1", "p", server.Port()), 0);  // no smuggled command
  const std::vector<std::string> saCommands = server.Commands();
  EXPECT_EQ(std::count(saCommands.begin(), saCommands.end(), "DELE 1"), 0);
}

TEST(EmailCheckTest, ChecksWaitForQuietAndEndSafelyWhenTheWindowGoes) {
  CTestUi ui;
  CScriptedPop3Server server(
      [](CScriptedPeer& peer, const std::string& s) { return MailboxAnswer(peer, s, kMessages); });
  const std::vector<std::string> saAccounts = {LoopbackAccount(server.Port(), "u", "p")};
  CTestMailHost host;
  {
    CEmailCheck check(host);
    // A check asked while a wait box is up waits for it.
    CDialogWaitBox* pBox = StartWaitBox("Another operation");
    check.RequestCheck(saAccounts, true);
    EXPECT_FALSE(check.IsRunning());
    EXPECT_TRUE(check.HasPending());
    EndWaitBox(pBox);
    check.RunPending();
    ASSERT_TRUE(host.RunUntil([&] { return host.m_nChecksEnded == 1; }));
    EXPECT_TRUE(ui.SawText(StrFormat("Checking server 127.0.0.1:%d for user u email", server.Port())));
    EXPECT_EQ(check.Items().size(), 3u);
    EXPECT_EQ(host.m_sMainTitle, "3 Emails");

    // The user's check of an account that does not exist says so.
    check.RequestCheck(saAccounts, true, 5);
    EXPECT_EQ(ui.Messages().back(), "Error in checking email");
    EXPECT_EQ(check.Title(), "3 Emails");
  }
  // A window closed in the middle of a check: the server never greets, the
  // check is stopped at once, and what it posted later finds nothing to touch.
  CScriptedPop3Server silent([](CScriptedPeer&, const std::string&) { return true; });
  {
    CEmailCheck check(host);
    check.RequestCheck({LoopbackAccount(silent.Port(), "u", "p")}, false);
    EXPECT_TRUE(check.IsRunning());
  }
  host.RunPosted();
  EXPECT_EQ(host.m_nChecksEnded, 2);
  EXPECT_EQ(CEmailCheck::TimerIntervalMs(10), 600000);
  EXPECT_EQ(CEmailCheck::TimerIntervalMs(0), 0);
  EXPECT_GT(CEmailCheck::TimerIntervalMs(2000000000), 0);
}

}  // namespace
