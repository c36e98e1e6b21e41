#pragma once
// Calls a function at a given time from a thread of its own, so that work
// due later (an unlock notice held back for the designed pause) is brought
// to the user-interface thread without that thread sleeping for it: the
// function posts the main window's "messages waiting", and the window does
// the work when the post arrives. Only the earliest time asked for counts;
// the thread starts with the first request and ends with the object.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CPostTimer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CPostTimer(std::function<void()> fnFire) : m_fnFire(std::move(fnFire)) {}
  ~CPostTimer();
  CPostTimer(const CPostTimer&) = delete;
  CPostTimer& operator=(const CPostTimer&) = delete;

  // Calls the function once at tWhen (at once when it has passed), unless an
  // earlier call is already due.
  void FireAt(Clock::time_point tWhen);

 private:
  void Run();

  std::function<void()> m_fnFire;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bArmed = false;
  bool m_bStop = false;
  Clock::time_point m_tWhen;
  std::thread m_thread;
};
