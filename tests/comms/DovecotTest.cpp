// The mail check against a real POP3 server (dovecot) on loopback.

#include <gtest/gtest.h>

#include <cstdlib>

#include "comms/CPop3Connection.h"
#include "comms/MailView.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tests/comms/Pop3TestHelpers.h"

namespace {

constexpr char kPassword[] = "Dove-s3cret";

std::string Crlf(const std::string& s) {
  std::string r;
  for (char c : s) r += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return r;
}

// The mailbox: the messages as the server's files hold them, in order.
std::vector<std::string> Mailbox() {
  std::string sLarge = "From: big@example.org\nSubject: Large\n\n";
  for (int i = 0; sLarge.size() < 3 * 1024 * 1024; ++i)
    sLarge += StrFormat("%s%07d of the large message, with some text to fill it up\n",
                        i % 50 == 0 ? "." : "", i);
  return {
      "From: Dot Sender <dots@example.org>\nSubject: Dots\nDate: Mon, 7 Dec 2026 10:00:00 +0000\n"
      "\n.leading dot\n..two dots\n.\nend\n",
      "From: fold@example.org\nSubject: A folded\n\tsubject line\n\nbody\n",
      "From: nobody@example.org\nSubject: Header only\n",
      "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.org>\nSubject: =?ISO-8859-1?B?Q2Fm6Q==?= news\n"
      "MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"b1\"\n\n"
      "--b1\nContent-Type: text/plain; charset=utf-8\n\nPlain part\n"
      "--b1\nContent-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
      "<html><body><p>Price: 5 =E2=82=AC, a line that is soft=\n broken</p></body></html>\n"
      "--b1--\n",
      "From: latin@example.org\nSubject: please read, urgent\n"
      "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: 8bit\n\n"
      "Gr\xFC\xDF" "e aus K\xF6ln\n",
      sLarge,
  };
}

class DovecotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KELVO_HOME", m_home.Path().c_str(), 1);
    for (size_t i = 0; i < m_saMessages.size(); ++i)
      m_server.AddMessage("alice", StrFormat("17000000%02zu.M1P1.kelvo", i + 1), m_saMessages[i]);
    ASSERT_TRUE(m_server.Started());
  }
  void TearDown() override { unsetenv("KELVO_HOME"); }

  std::string Account(const std::string& sKeys = "", const char* pPassword = kPassword) {
    return LoopbackAccount(m_server.Port(), "alice", pPassword, sKeys);
  }

  CScratchFolder m_home;
  CTestUi m_ui;
  std::vector<std::string> m_saMessages = Mailbox();
  CDovecotServer m_server{{{"alice", kPassword}}};
};

TEST_F(DovecotTest, CheckListsEveryMessageExactlyAndLeavesTheMailbox) {
  SetDiagnosticLevel(1);
  OpenDiagnosticFile();
  CTestMailHost host;
  CEmailCheck check(host);
  const std::vector<std::string> saAccounts = {Account(), Account("", "wrong")};
  check.RequestCheck(saAccounts, false);
  ASSERT_TRUE(host.RunUntil([&] { return host.m_nChecksEnded == 1; }));
  CloseDiagnosticFile();

  ASSERT_EQ(check.LastResults().size(), 2u);
  EXPECT_EQ(check.LastResults()[0].nResult, 1) << check.LastResults()[0].sError;
  EXPECT_EQ(check.LastResults()[1].nResult, 0);  // the wrong password
  EXPECT_NE(check.LastResults()[1].sError.find("-ERR"), std::string::npos);
  const std::vector<stMailItem>& items = check.Items();
  ASSERT_EQ(items.size(), m_saMessages.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].nNumber, int(i + 1));
    EXPECT_EQ(items[i].sMessage, Crlf(m_saMessages[i]));  // byte for byte, dots unstuffed
    EXPECT_EQ(items[i].nSize, items[i].sMessage.size());
    EXPECT_FALSE(items[i].sUid.empty());
  }
  EXPECT_EQ(items[0].ItemText(),
            "alice\tDot Sender <dots@example.org>\tDots\tMon, 7 Dec 2026 10:00:00 +0000");
  EXPECT_EQ(items[1].sSubject, "A folded subject line");
  EXPECT_EQ(CPop3Message(items[2].sMessage).GetBody(), "");
  EXPECT_EQ(items[3].sFrom, "J\xC3\xBCrgen <j@example.org>");
  EXPECT_EQ(items[3].sSubject, "Caf\xC3\xA9 news");
  const stMailView html = MailViewNormal(items[3].sMessage);
  EXPECT_TRUE(html.bHtml);
  EXPECT_EQ(html.sText,
            "<html><body><p>Price: 5 \xE2\x82\xAC, a line that is soft broken</p></body></html>");
  EXPECT_EQ(MailViewNormal(items[4].sMessage).sText, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\r\n");
  EXPECT_EQ(MailViewRaw(items[0].sMessage).sText, items[0].sMessage);

  EXPECT_EQ(check.Title(), "6 Emails");
  EXPECT_EQ(host.m_sMainTitle, "6 Emails");
  EXPECT_EQ(host.m_saTitles.front(), "Checking for new email");
  EXPECT_EQ(host.m_nListChanges, 1);
  // The same messages again: the list is left as it is.
  check.RequestCheck(saAccounts, false);
  ASSERT_TRUE(host.RunUntil([&] { return host.m_nChecksEnded == 2; }));
  EXPECT_EQ(host.m_nListChanges, 1);
  EXPECT_EQ(m_server.MessageCount("alice"), 6);

  // Neither trace file holds the password.
  for (const char* pName : {"DIAGNOSE.TXT", "DIAGNOSE_MSG.TXT"}) {
    std::string sTrace;
    ReadWholeFile(m_home.File(pName), sTrace);
    EXPECT_EQ(sTrace.find(kPassword), std::string::npos) << pName;
    if (std::string(pName) == "DIAGNOSE.TXT") {
      EXPECT_NE(sTrace.find("PASS ****"), std::string::npos);
    }
  }

  // Deleting the chosen message removes it on the server and from the list.
  check.RequestDelete(saAccounts, {2});
  ASSERT_TRUE(host.RunUntil([&] { return host.m_nDeletesEnded == 1; }));
  EXPECT_EQ(host.m_nDeleted, 1);
  EXPECT_EQ(m_server.MessageCount("alice"), 5);
  ASSERT_EQ(check.Items().size(), 5u);
  EXPECT_EQ(check.Items()[2].sSubject, "Caf\xC3\xA9 news");
}

TEST_F(DovecotTest, AlertKeysMatchTheDecodedTextWhateverTheCase) {
  stAccountCheck result;
  ASSERT_EQ(CheckEmail(Account("urgent`k\xC3\xB6ln`"), {}, result), 1) << result.sError;
  ASSERT_EQ(result.items.size(), 1u);
  EXPECT_EQ(result.items[0].nNumber, 5);
  EXPECT_EQ(result.items[0].sAlert, "URGENT");
  ASSERT_EQ(CheckEmail(Account("K\xC3\xB6ln"), {}, result), 1);
  ASSERT_EQ(result.items.size(), 1u);
  EXPECT_EQ(result.items[0].sAlert, "K\xC3\xB6LN");

  // The tool lists the same from Kelvo.cfg, and deletes nothing.
  WriteFileAtomic(m_home.File("Kelvo.cfg"), "EMAILCHECKSTRING|" + Account() + "\n");
  std::string sOut;
  EXPECT_EQ(RunCommand("KELVO_HOME='" + m_home.Path() + "' " KELVOTOOL_PATH
                       " mailcheck --account 1 --keys Urgent,DOTS",
                       &sOut),
            0);
  EXPECT_EQ(sOut, StrFormat("Number\tSize\tFrom\tSubject\tAlert\n"
                            "1\t%zu\tDot Sender <dots@example.org>\tDots\tDOTS\n"
                            "5\t%zu\tlatin@example.org\tplease read, urgent\tURGENT\n",
                            Crlf(m_saMessages[0]).size(), Crlf(m_saMessages[4]).size()));
  EXPECT_EQ(m_server.MessageCount("alice"), 6);
}

TEST(DovecotTlsTest, StlsAndTlsFromTheStartCheckTheCertificate) {
  CDovecotServer server({{"bob", kPassword}}, true);
  ASSERT_TRUE(server.Started());
  CPop3Connection pop;
  pop.SetCaFile(server.CaFile());
  for (const char* pHost : {"127.0.0.1", "localhost"}) {
    ASSERT_EQ(pop.Connect(pHost, "bob", kPassword, server.Port()), 1)
        << pHost << ": " << pop.GetLastCommandResponse();
    EXPECT_TRUE(pop.IsSecure());  // STLS, as the server offers it
    int nCount = -1;
    long long nSize = -1;
    EXPECT_EQ(pop.Statistics(nCount, nSize), 1);
    EXPECT_EQ(nCount, 0);
    EXPECT_EQ(pop.Disconnect(), 1);
  }
  pop.SetTlsPort(server.TlsPort());
  ASSERT_EQ(pop.Connect("127.0.0.1", "bob", kPassword, server.TlsPort()), 1)
      << pop.GetLastCommandResponse();
  EXPECT_TRUE(pop.IsSecure());
  pop.Disconnect();

  // A certificate for another name, or one no trusted authority signed, ends
  // the connection before the user name is sent.
  EXPECT_EQ(pop.Connect("127.0.0.2", "bob", kPassword, server.Port()), 0);
  EXPECT_EQ(pop.GetLastError(), POP3_ERR_TLS);
  pop.SetCaFile("");
  EXPECT_EQ(pop.Connect("127.0.0.1", "bob", kPassword, server.Port()), 0);
  EXPECT_EQ(pop.GetLastError(), POP3_ERR_TLS);
}

}  // namespace
