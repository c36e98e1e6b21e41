#include "engine/BackOff.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <thread>

void BackOffTry(int nAttempt) {
  if (nAttempt < 10) {
    sched_yield();
    return;
  }
  const int nMicros = std::min(2000, 20 << std::min(7, (nAttempt - 10) / 8));
  std::this_thread::sleep_for(std::chrono::microseconds(nMicros));
}

void BackOffWait(int nRound) {
  const int nMillis = std::min(16, 1 << std::min(4, nRound));
  std::this_thread::sleep_for(std::chrono::milliseconds(nMillis));
}
