// Message texts: formatting, parsing and the check of received texts.

#include <gtest/gtest.h>

#include "network/LanMessage.h"

TEST(LanMessage, FormatAndExtractKeepTheKeyAcrossTheSignedText) {
  const std::string s = FormatLanMessage("PC2", MSG_REQUESTLOCK, 2, 255, 0xFFFFFFFF, 17);
  EXPECT_EQ(s, "PC2:L:2:255:-1:17");
  const stMessage msg = ExtractMessage(s);
  EXPECT_EQ(msg.m_sSender, "PC2");
  EXPECT_EQ(msg.m_cType, 'L');
  EXPECT_EQ(msg.m_nUserNumber, 2);
  EXPECT_EQ(msg.m_nTable, 255);
  EXPECT_EQ(msg.m_nKey, 0xFFFFFFFFu);
  EXPECT_EQ(ExtractMessage(FormatLanMessage("A", 'u', 9, 6, 0xFFFFFFFE, 1)).m_nKey, 0xFFFFFFFEu);
  EXPECT_EQ(ExtractMessage(FormatLanMessage("A", 'M', 9, 254, 123456, 1)).m_nKey, 123456u);
  const stLockSpec lockSpec = ExtractLockSpec(msg);
  EXPECT_EQ(lockSpec, (stLockSpec{"PC2", 255, 0xFFFFFFFF}));
  // Fewer than five fields: the "no message" value.
  const stMessage none = ExtractMessage("PC2:1:LOG_ON");
  EXPECT_EQ(none.m_sSender, "");
  EXPECT_EQ(none.m_cType, 0);
  EXPECT_EQ(none.m_nUserNumber, 255);
  EXPECT_EQ(none.m_nTable, 255);
  EXPECT_EQ(none.m_nKey, 0xFFFFFFFFu);
  EXPECT_EQ(FormatLogOnMessage("PC3", 3, LOG_ON), "PC3:3:LOG_ON");
}

TEST(LanMessage, DisplayTexts) {
  EXPECT_EQ(DisplayMessage("PC2:L:2:255:-1:17"), "[PC2#17] PC2:MSG_REQUESTLOCK database");
  EXPECT_EQ(DisplayMessage("PC2:M:2:254:4096:3"), "[PC2#3] PC2:MSG_DATAMODIFIED header file location 4096");
  EXPECT_EQ(DisplayMessage("PC2:l:2:6:-2:3"), "[PC2#3] PC2:MSG_GRANTLOCK table 6 resequence");
  EXPECT_EQ(DisplayMessage("PC2:u:2:6:-1:3"), "[PC2#3] PC2:MSG_DATAUNLOCKED table 6");
  EXPECT_EQ(DisplayMessage("PC2:x:2:6:77:3"), "[PC2#3] PC2:NULL_MESSAGE table 6, key 77");
  EXPECT_EQ(DisplayMessage("PC2:2:LOG_ON"), "PC2:2:LOG_ON");
  EXPECT_EQ(DisplayLockSpec({"PC2", 6, 0xFFFFFFFF}), "LockSpec for PC2, table 6, key -1");
}

TEST(LanMessage, ReceivedTextsAreCheckedFieldByField) {
  EXPECT_EQ(CheckLanText("PC2:L:2:6:-1:7").m_nKind, LAN_TEXT_LOCKDATA);
  EXPECT_EQ(CheckLanText("PC2:L:2:6:4294967295:7").m_nKind, LAN_TEXT_LOCKDATA);
  EXPECT_EQ(CheckLanText("PC2:M:2:254:1024:7").m_sSender, "PC2");
  const stLanTextCheck log = CheckLanText("PC2:2:LOG_ON_ACKNOWLEDGE");
  EXPECT_EQ(log.m_nKind, LAN_TEXT_LOG);
  EXPECT_EQ(log.m_sCommand, "LOG_ON_ACKNOWLEDGE");
  EXPECT_EQ(log.m_nUserNumber, 2);
  EXPECT_EQ(CheckLanText("TEST_PING").m_nKind, LAN_TEXT_PING);
  EXPECT_EQ(CheckLanText("AUTO_TEST").m_nKind, LAN_TEXT_AUTOTEST);
  for (const char* p : {"PC2:L:2:6:-1", "PC2:L:2:6:-1:7:8", ":L:2:6:-1:7", "PC2:X:2:6:-1:7",
                        "PC2:LL:2:6:-1:7", "PC2:L:256:6:-1:7", "PC2:L:2:10:-1:7", "PC2:L:2:253:1:7",
                        "PC2:L:2:6:abc:7", "PC2:L:2:6:4294967296:7", "PC2:L:2:6:-1:-7",
                        "PC2:L:x2:6:1:7", "PC2:2:LOG_IN", "PC2:300:LOG_ON", ":2:LOG_ON",
                        "PC2:2:LOG_ON:x", "hello", "", "TEST_PING\nX"})
    EXPECT_EQ(CheckLanText(p).m_nKind, LAN_TEXT_INVALID) << p;
  EXPECT_FALSE(IsSendableText("a~b"));
  EXPECT_FALSE(IsSendableText("a\nb"));
  EXPECT_TRUE(IsSendableText("PC2:2:LOG_ON"));
}
