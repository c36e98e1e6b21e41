#pragma once
// The one-second timer's work: its steps in the order they run, what may run
// while an operation is under way, the private messages that wait for the
// operation to end, and work a step hands to the event loop so that a wait
// inside it does not hold the tick.
//
// While the busy depth is above zero (a wait box, a question or a table
// operation processes events) only the steps marked to run while busy run
// (the clock); everything else is picked up by the first tick after it, and
// deferred messages run at the start of that tick. The clock and the busy
// depth are injected, so the order and the deferral are tested without a
// window.

#include <functional>
#include <string>
#include <vector>

class CTickScheduler {
 public:
  // Now as an OLE date (days; the fraction is the time of day).
  using Clock = std::function<double()>;
  // Queues a piece of work onto the event loop, to run after the tick.
  using Poster = std::function<void(std::function<void()>)>;

  CTickScheduler(Clock fnNow, std::function<int()> fnBusyDepth, Poster fnPost);

  // A step of the tick. bWhileBusy: it runs also inside an operation. A
  // step with an interval runs at most once in that many seconds of the
  // clock (a change of the interval counts from the step's last run).
  void AddStep(int nStep, std::function<void()> fnWork, bool bWhileBusy = false);
  void SetInterval(int nStep, double dSeconds);
  // Tests watch the steps run; the observer gets each step as it starts.
  void SetObserver(std::function<void(int)> fn) { m_fnObserver = std::move(fn); }

  // One tick: deferred messages, then the steps in order.
  void Tick();
  double Now() const { return m_fnNow(); }
  bool Busy() const { return m_fnBusyDepth() > 0; }

  // Private messages that must wait for the busy depth to return to zero:
  // each code is kept once and run through fnRun at the next free tick.
  void SetMessageRunner(std::function<void(int)> fnRun) { m_fnRunMessage = std::move(fnRun); }
  void Defer(int nCode);
  const std::vector<int>& Deferred() const { return m_naDeferred; }
  void RunDeferred();

  // Work after the tick, on the event loop; dropped when it finds an
  // operation in progress (its condition is still there at the next tick).
  void AfterTick(std::function<void()> fn);

 private:
  struct stStep {
    int nStep = 0;
    std::function<void()> fnWork;
    bool bWhileBusy = false;
    double dIntervalDays = 0.0;
    double dLastRun = -1.0;
  };
  void Run(stStep& step);
  void RunAfterTick();

  Clock m_fnNow;
  std::function<int()> m_fnBusyDepth;
  Poster m_fnPost;
  std::vector<stStep> m_caSteps;
  std::function<void(int)> m_fnObserver;
  std::function<void(int)> m_fnRunMessage;
  std::vector<int> m_naDeferred;
  std::vector<std::function<void()>> m_afnAfterTick;
  bool m_bAfterTickPosted = false;
};
