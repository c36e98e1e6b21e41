#include "app/CQuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

namespace {

int g_naPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 'q';
  (void)!::write(g_naPipe[1], &c, 1);
}

}  // namespace

CQuitSignals::CQuitSignals() {
  if (g_naPipe[0] < 0 && ::pipe2(g_naPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  m_pNotifier = new QSocketNotifier(g_naPipe[0], QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
    char c[16];
    while (::read(g_naPipe[0], c, sizeof c) > 0) {
    }
    OnRequest();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int nSignal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(nSignal, &action, nullptr);
}

void CQuitSignals::OnRequest() {
  m_bRequested = true;
  if (m_fnQuit) m_fnQuit();
}

void CQuitSignals::SetAction(std::function<void()> fnQuit) {
  m_fnQuit = std::move(fnQuit);
  if (m_bRequested) QTimer::singleShot(0, this, [this] { m_fnQuit(); });
}

CQuitSignals::~CQuitSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int nSignal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(nSignal, &action, nullptr);
}
