// The timer's steps without a window: their order, what runs inside an
// operation, deferred messages, steps with an interval on an injected
// clock, and work handed to the event loop.

#include <gtest/gtest.h>

#include "app/CTickScheduler.h"

namespace {

class TickScheduler : public ::testing::Test {
 protected:
  TickScheduler()
      : m_ticks([this] { return m_dNow; }, [this] { return m_nBusy; },
                [this](std::function<void()> fn) { m_afnPosted.push_back(std::move(fn)); }) {
    for (int nStep = 1; nStep <= 4; ++nStep)
      m_ticks.AddStep(
          nStep, [this, nStep] { m_naRan.push_back(nStep); }, nStep == 2);
    m_ticks.SetMessageRunner([this](int nCode) { m_naRan.push_back(100 + nCode); });
  }
  void RunPosted() {
    auto afn = std::move(m_afnPosted);
    m_afnPosted.clear();
    for (auto& fn : afn) fn();
  }

  double m_dNow = 45000.0;
  int m_nBusy = 0;
  std::vector<std::function<void()>> m_afnPosted;
  std::vector<int> m_naRan;
  CTickScheduler m_ticks;
};

TEST_F(TickScheduler, StepsRunInOrderAndOnlyTheMarkedOnesWhileBusy) {
  std::vector<int> naObserved;
  m_ticks.SetObserver([&](int n) { naObserved.push_back(n); });
  m_ticks.Tick();
  EXPECT_EQ(m_naRan, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(naObserved, m_naRan);
  // Inside an operation: only step 2 runs; messages wait, each once.
  m_naRan.clear();
  m_nBusy = 1;
  m_ticks.Defer(7);
  m_ticks.Defer(8);
  m_ticks.Defer(7);
  m_ticks.Tick();
  EXPECT_EQ(m_naRan, std::vector<int>{2});
  EXPECT_EQ(m_ticks.Deferred(), (std::vector<int>{7, 8}));
  // The first free tick runs the messages first, then every step.
  m_naRan.clear();
  m_nBusy = 0;
  m_ticks.Tick();
  EXPECT_EQ(m_naRan, (std::vector<int>{107, 108, 1, 2, 3, 4}));
  EXPECT_TRUE(m_ticks.Deferred().empty());
}

TEST_F(TickScheduler, IntervalStepsFollowTheClock) {
  constexpr double kSecond = 1.0 / 86400.0;
  m_ticks.SetInterval(3, 60);
  auto ranStep3 = [this] {
    m_naRan.clear();
    m_ticks.Tick();
    return std::count(m_naRan.begin(), m_naRan.end(), 3) == 1;
  };
  EXPECT_TRUE(ranStep3());
  m_dNow += 59 * kSecond;
  EXPECT_FALSE(ranStep3());
  m_dNow += 2 * kSecond;
  EXPECT_TRUE(ranStep3());
  // A clock set back does not stop the step for the time it went back.
  m_dNow -= 3600 * kSecond;
  EXPECT_TRUE(ranStep3());
  // A step skipped while busy runs at the first free tick.
  m_dNow += 61 * kSecond;
  m_nBusy = 1;
  EXPECT_FALSE(ranStep3());
  m_nBusy = 0;
  EXPECT_TRUE(ranStep3());
}

TEST_F(TickScheduler, WorkAfterTheTickIsPostedOnceAndDroppedInsideAnOperation) {
  int nRuns = 0;
  m_ticks.AfterTick([&] { ++nRuns; });
  m_ticks.AfterTick([&] { ++nRuns; });
  EXPECT_EQ(m_afnPosted.size(), 1u);
  RunPosted();
  EXPECT_EQ(nRuns, 2);
  m_ticks.AfterTick([&] { ++nRuns; });
  m_nBusy = 1;
  RunPosted();
  EXPECT_EQ(nRuns, 2);
  m_nBusy = 0;
  m_ticks.AfterTick([&] { ++nRuns; });
  RunPosted();
  EXPECT_EQ(nRuns, 3);
}

}  // namespace
