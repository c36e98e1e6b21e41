// Reassembly of "~\n"-framed messages from receives of any size.

#include <gtest/gtest.h>

#include "network/CListeningThreadMemoryBuffer.h"

namespace {

std::vector<std::string> Feed(CListeningThreadMemoryBuffer& buffer, const std::string& s) {
  std::vector<std::string> saOut;
  EXPECT_TRUE(buffer.TakeMessages(s.data(), s.size(), saOut));
  return saOut;
}

}  // namespace

TEST(Framing, TwoMessagesSplitAtEveryBytePosition) {
  const std::string sStream = "PC2:L:2:6:-1:7~\nPC2:u:2:6:16777217:8~\n";
  const std::vector<std::string> saExpected = {"PC2:L:2:6:-1:7", "PC2:u:2:6:16777217:8"};
  for (size_t nCut = 0; nCut <= sStream.size(); ++nCut) {
    CListeningThreadMemoryBuffer buffer;
    std::vector<std::string> saGot = Feed(buffer, sStream.substr(0, nCut));
    // Whatever is complete before the cut is there at once.
    const size_t nFirstEnd = sStream.find("~\n") + 2;
    EXPECT_EQ(saGot.size(), nCut >= sStream.size() ? 2u : (nCut >= nFirstEnd ? 1u : 0u)) << nCut;
    for (const auto& s : Feed(buffer, sStream.substr(nCut))) saGot.push_back(s);
    EXPECT_EQ(saGot, saExpected) << "cut at " << nCut;
    EXPECT_TRUE(buffer.Leftover().empty());
  }
}

TEST(Framing, ByteByByteAndEmptyAndTildeOnly) {
  CListeningThreadMemoryBuffer buffer;
  std::vector<std::string> saGot;
  for (char c : std::string("~\nA:1:LOG_ON~\n~\nTEST_PING~\nB:2")) {
    std::vector<std::string> saOne;
    ASSERT_TRUE(buffer.TakeMessages(&c, 1, saOne));
    saGot.insert(saGot.end(), saOne.begin(), saOne.end());
  }
  EXPECT_EQ(saGot, (std::vector<std::string>{"A:1:LOG_ON", "TEST_PING"}));
  EXPECT_EQ(buffer.Leftover(), "B:2");
  // A tilde inside a message is removed, as a message never carries one.
  EXPECT_EQ(Feed(buffer, ":LO~G_OFF~\n"), (std::vector<std::string>{"B:2:LOG_OFF"}));
}

TEST(Framing, EndlessInputWithoutMessageEndIsRefused) {
  CListeningThreadMemoryBuffer buffer;
  std::vector<std::string> saOut;
  const std::string sChunk(1024, 'x');
  bool bOk = true;
  size_t nFed = 0;
  while (bOk && nFed < 2 * CListeningThreadMemoryBuffer::kMaxLeftover) {
    bOk = buffer.TakeMessages(sChunk.data(), sChunk.size(), saOut);
    nFed += sChunk.size();
  }
  EXPECT_FALSE(bOk);
  EXPECT_LE(nFed, CListeningThreadMemoryBuffer::kMaxLeftover + sChunk.size());
  EXPECT_TRUE(saOut.empty());
}
