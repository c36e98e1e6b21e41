// Header words, transfer encodings, account strings and the views' choices.

#include <gtest/gtest.h>

#include "comms/MailAccount.h"
#include "comms/MailDecode.h"
#include "comms/MailView.h"

namespace {

TEST(MailDecodeTest, HeaderWordsAndTransferEncodings) {
  // Adjacent encoded words join; the blank between a word and plain text stays.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?q?Gr=C3=BC?= =?UTF-8?B?w59l?= und mehr"),
            "Gr\xC3\xBC\xC3\x9F" "e und mehr");
  EXPECT_EQ(DecodeHeaderText("=?windows-1252?Q?=80_sale?="), "\xE2\x82\xAC sale");
  EXPECT_EQ(DecodeHeaderText("a=?bogus\r\nb\x01" "c =?x?Z?y?="), "a=?bogus  b c =?x?Z?y?=");
  EXPECT_EQ(DecodeHeaderText("caf\xE9"), "caf\xC3\xA9");  // raw 8-bit text read as Windows-1252
  EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc= \r\nd=\ne=4"), "a=bcde=4");
  EXPECT_EQ(DecodeBase64("SGVs\r\nbG8h"), "Hello!");
  EXPECT_EQ(ConvertToUtf8(std::string("A\0\xE9", 3), "utf-16le"), "A\xEF\xBF\xBD");  // cut off
  EXPECT_EQ(HeaderParameter("multipart/mixed; charset=x; Boundary=\"a;b\\\"c\"", "boundary"),
            "a;b\"c");
  EXPECT_EQ(HeaderItem("X: 1\r\nSubject: one\r\nsubject: two\r\n\tmore", "SUBJECT", 2), "two more");
}

TEST(MailDecodeTest, NestedPartsAttachmentsAndViews) {
  const std::string sMessage =
      "Content-Type: multipart/mixed; boundary=outer\r\n\r\npreamble\r\n"
      "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
      "--inner\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "cGxhaW4gdGV4dA==\r\n--inner--\r\n"
      "--outer\r\nContent-Type: text/plain\r\nContent-Disposition: attachment\r\n\r\nsecret\r\n"
      "--outer--\r\nepilogue\r\n";
  const stMailText text = DecodeMailText(sMessage);
  EXPECT_EQ(text.sText, "plain text");
  EXPECT_EQ(text.sHtml, "");
  EXPECT_FALSE(MailViewNormal(sMessage).bHtml);

  // A plain body with an opening tag only is shown as text.
  const std::string sUnclosed = "Subject: x\r\n\r\n<html><p>hi\r\n";
  EXPECT_FALSE(MailViewNormal(sUnclosed).bHtml);
  EXPECT_FALSE(MailViewHtml(sUnclosed).bHtml);
  const stMailView html = MailViewHtml("Subject: x\r\n\r\nsee <HTML><b>hi</b></HTML> end\r\n");
  EXPECT_TRUE(html.bHtml);
  EXPECT_EQ(html.sText, "<HTML><b>hi</b></HTML>");
}

TEST(MailAccountTest, EveryFieldKeptAndForbiddenCharactersRefused) {
  stMailAccount account;
  ASSERT_TRUE(ParseMailAccount("mail.example.org:995`bob``urgent``Boss", account));
  EXPECT_EQ(account.sUser, "bob");
  EXPECT_EQ(account.sPassword, "");  // an empty password does not swallow a key
  EXPECT_EQ(account.saKeys, (std::vector<std::string>{"URGENT", "BOSS"}));
  EXPECT_EQ(FormatMailAccount(account), "mail.example.org:995`bob``URGENT`BOSS");
  ASSERT_TRUE(ParseMailAccount("`bob`pw", account));
  EXPECT_EQ(account.sServer, "");
  EXPECT_FALSE(ParseMailAccount("server`bob", account));

  std::string sHost;
  uint16_t nPort = 0;
  EXPECT_TRUE(SplitServer("mail.example.org:995", sHost, nPort));
  EXPECT_EQ(sHost, "mail.example.org");
  EXPECT_EQ(nPort, 995);
  EXPECT_TRUE(SplitServer("mail", sHost, nPort));
  EXPECT_EQ(nPort, 110);
  EXPECT_FALSE(SplitServer("mail:70000", sHost, nPort));

  EXPECT_EQ(KeysFromText("urgent\r\n\r\n  boss \n"), (std::vector<std::string>{"URGENT", "BOSS"}));
  EXPECT_EQ(CheckMailAccountFields("mail", "bob", "pw", "a\r\nb"), "");
  EXPECT_NE(CheckMailAccountFields("mail", "bob", "p`w", ""), "");
  EXPECT_NE(CheckMailAccountFields("mail", "bo|b", "pw", ""), "");
  EXPECT_NE(CheckMailAccountFields("mail", "bob", "p\nw", ""), "");
  EXPECT_NE(CheckMailAccountFields("mail", "bob", "pw", std::string("a\0b", 3)), "");
}

}  // namespace
