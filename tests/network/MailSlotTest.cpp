// Short messages through the mail slot between copies on loopback addresses.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "LanTestHelpers.h"
#include "common/TestCommon.h"
#include "network/CMailSlot.h"
#include "support/StringUtil.h"

namespace {

class MailSlotTest : public ::testing::Test {
 protected:
  std::unique_ptr<CMailSlot> Slot(int n, const std::vector<int>& naList) {
    const std::string sList = m_folder.File(StrFormat("Kelvo%d.usr", n));
    WriteList(sList, m_range, naList);
    auto p = std::make_unique<CMailSlot>(MakeIdentity(m_range, n, sList));
    EXPECT_EQ(p->MakeMailSlot(), 1);
    return p;
  }
  // Reads until nCount texts arrived (datagrams on loopback are immediate,
  // but the reader does not block).
  std::vector<std::string> Receive(CMailSlot& slot, const std::string& sName, size_t nCount) {
    std::vector<std::string> saAll;
    WaitUntil([&] {
      for (auto& s : TakeShortMessages(slot, sName)) saAll.push_back(s);
      return saAll.size() >= nCount;
    }, 10);
    return saAll;
  }
  void SendRaw(const std::string& sFrom, int nTo, const std::string& sBytes, uint16_t nPort) {
    const int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, sFrom.c_str(), &from.sin_addr);
    inet_pton(AF_INET, m_range.Address(nTo).c_str(), &to.sin_addr);
    to.sin_port = htons(nPort);
    ASSERT_EQ(bind(nFd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    sendto(nFd, sBytes.data(), sBytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(nFd);
  }

  CScratchFolder m_folder;
  CLoopbackRange m_range;
};

}  // namespace

TEST_F(MailSlotTest, AShortMessageReachesEveryOtherComputerButNotItsSender) {
  auto a = Slot(2, {3, 4});
  auto b = Slot(3, {2, 4});
  auto c = Slot(4, {2, 3});
  EXPECT_EQ(a->Port(), b->Port());
  SendShortMessage(*a, "PC2", "Lunch at one|bring the file");
  SendShortMessage(*b, "PC3", "Caf\xc3\xa9 is closed");
  // Both arrive at C together, in arrival order; the text keeps its own "|".
  EXPECT_EQ(Receive(*c, "PC4", 2),
            (std::vector<std::string>{"Lunch at one|bring the file", "Caf\xc3\xa9 is closed"}));
  EXPECT_EQ(Receive(*b, "PC3", 1), (std::vector<std::string>{"Lunch at one|bring the file"}));
  // A's own broadcast reached A's slot too, and is not shown there.
  std::vector<std::string> saRaw;
  EXPECT_TRUE(WaitUntil([&] { a->ReadMailSlot(saRaw); return saRaw.size() >= 2; }, 10));
  EXPECT_EQ(saRaw[0], "PC2|Lunch at one|bring the file");
  EXPECT_EQ(saRaw[1], "PC3|Caf\xc3\xa9 is closed");
  SendShortMessage(*a, "PC2", "");
  SendShortMessage(*a, "PC2", "only for the others");
  EXPECT_EQ(Receive(*b, "PC3", 1), (std::vector<std::string>{"only for the others"}));
  // The sender's own copy went out first, so it waits in A's slot by now.
  saRaw.clear();
  a->ReadMailSlot(saRaw);
  EXPECT_EQ(saRaw, (std::vector<std::string>{"PC2|only for the others"}));
  EXPECT_TRUE(TakeShortMessages(*a, "PC2").empty());
}

TEST_F(MailSlotTest, StrangersOversizeAndFloodsAreKeptInBounds) {
  auto a = Slot(2, {3});
  SendRaw(m_range.Address(9), 2, std::string("PC9|forged") + '\0', a->Port());
  SendRaw(m_range.Address(3), 2, "PC3|" + std::string(2000, 'x') + '\0', a->Port());
  for (int i = 0; i < 100; ++i)
    SendRaw(m_range.Address(3), 2, StrFormat("PC3|n%d", i) + '\0', a->Port());
  std::vector<std::string> saFirst;
  ASSERT_TRUE(WaitUntil([&] { a->ReadMailSlot(saFirst); return !saFirst.empty(); }, 10));
  EXPECT_LE(saFirst.size(), CMailSlot::kMaxPerRead);
  EXPECT_EQ(saFirst[0], "PC3|n0");
  std::vector<std::string> saAll = saFirst;
  WaitUntil([&] { a->ReadMailSlot(saAll); return saAll.size() >= 100; }, 10);
  ASSERT_EQ(saAll.size(), 100u);
  EXPECT_EQ(saAll[99], "PC3|n99");
  CMailSlot unbound(MakeIdentity(m_range, 5, m_folder.File("none.usr")));
  std::vector<std::string> saNone;
  EXPECT_EQ(unbound.ReadMailSlot(saNone), 0);
}

// Sent before the first database was opened (the log-on has named nobody):
// the message still carries this computer's name.
TEST_F(MailSlotTest, AMessageBeforeAnyLogOnCarriesThisComputersName) {
  auto a = Slot(2, {3});
  auto b = Slot(3, {2});
  setenv("KELVO_COMPUTERNAME", "EARLYPC", 1);
  SendShortMessage(*a, "", "Good morning");
  unsetenv("KELVO_COMPUTERNAME");
  std::vector<std::string> saRaw;
  EXPECT_TRUE(WaitUntil(
      [&] {
        b->ReadMailSlot(saRaw);
        return !saRaw.empty();
      },
      10));
  EXPECT_EQ(saRaw, (std::vector<std::string>{"EARLYPC|Good morning"}));
}
