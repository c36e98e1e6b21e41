#include "app/CTickScheduler.h"

#include <algorithm>

namespace {
constexpr double kSecondsPerDay = 24.0 * 60.0 * 60.0;
}

CTickScheduler::CTickScheduler(Clock fnNow, std::function<int()> fnBusyDepth, Poster fnPost)
    : m_fnNow(std::move(fnNow)), m_fnBusyDepth(std::move(fnBusyDepth)), m_fnPost(std::move(fnPost)) {}

void CTickScheduler::AddStep(int nStep, std::function<void()> fnWork, bool bWhileBusy) {
  stStep step;
  step.nStep = nStep;
  step.fnWork = std::move(fnWork);
  step.bWhileBusy = bWhileBusy;
  m_caSteps.push_back(std::move(step));
}

void CTickScheduler::SetInterval(int nStep, double dSeconds) {
  for (stStep& step : m_caSteps)
    if (step.nStep == nStep) step.dIntervalDays = std::max(0.0, dSeconds) / kSecondsPerDay;
}

void CTickScheduler::Run(stStep& step) {
  if (step.dIntervalDays > 0.0) {
    const double dNow = Now();
    // A clock set back restarts the interval instead of stopping the step.
    if (step.dLastRun >= 0.0 && dNow >= step.dLastRun && dNow - step.dLastRun < step.dIntervalDays) return;
    step.dLastRun = dNow;
  }
  if (m_fnObserver) m_fnObserver(step.nStep);
  step.fnWork();
}

void CTickScheduler::Tick() {
  const bool bBusy = Busy();
  if (!bBusy) RunDeferred();
  for (stStep& step : m_caSteps)
    if (!bBusy || step.bWhileBusy) Run(step);
}

void CTickScheduler::Defer(int nCode) {
  if (std::find(m_naDeferred.begin(), m_naDeferred.end(), nCode) == m_naDeferred.end())
    m_naDeferred.push_back(nCode);
}

void CTickScheduler::RunDeferred() {
  std::vector<int> naCodes;
  naCodes.swap(m_naDeferred);
  for (int nCode : naCodes)
    if (m_fnRunMessage) m_fnRunMessage(nCode);
}

void CTickScheduler::AfterTick(std::function<void()> fn) {
  m_afnAfterTick.push_back(std::move(fn));
  if (m_bAfterTickPosted) return;
  m_bAfterTickPosted = true;
  m_fnPost([this] { RunAfterTick(); });
}

void CTickScheduler::RunAfterTick() {
  m_bAfterTickPosted = false;
  std::vector<std::function<void()>> afn;
  afn.swap(m_afnAfterTick);
  for (auto& fn : afn)
    if (!Busy()) fn();
}
