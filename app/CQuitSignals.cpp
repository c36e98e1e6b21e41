#include "app/CQuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>

#include "app/CQtWaitBox.h"
#include "support/Diagnostic.h"
#include "support/UserPrompts.h"

namespace {

int g_naPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 'q';
  (void)!::write(g_naPipe[1], &c, 1);
}

// Ends every dialog on screen with its cancel answer; wait boxes end through
// their abort test, where the operation behind them notices the quit.
void RejectOpenDialogs() {
  for (QWidget* pWidget : QApplication::topLevelWidgets()) {
    auto* pDialog = qobject_cast<QDialog*>(pWidget);
    if (pDialog && pDialog->isVisible() && !qobject_cast<CQtWaitBox*>(pDialog)) pDialog->reject();
  }
}

}  // namespace

CQuitSignals::CQuitSignals() {
  m_idleTimer.setInterval(kIdlePollMs);
  connect(&m_idleTimer, &QTimer::timeout, this, [this] { RunWhenIdle(); });
  if (auto* pApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(pApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { OnRequest(); });
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
  KTRACE("Quit requested\n");
  m_bRequested = true;
  SetQuitRequested(true);
  RejectOpenDialogs();
  m_idleTimer.start();
}

void CQuitSignals::RunWhenIdle() {
  // The close must not run inside a dialog's or a wait's nested event loop:
  // it waits until they have returned.
  if (!m_fnQuit || m_bDone || BusyDepth() > 0 || QApplication::activeModalWidget()) return;
  m_bDone = true;
  m_idleTimer.stop();
  m_fnQuit();
}

void CQuitSignals::SetAction(std::function<void()> fnQuit) {
  m_fnQuit = std::move(fnQuit);
  if (m_bRequested) m_idleTimer.start();
}

CQuitSignals::~CQuitSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int nSignal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(nSignal, &action, nullptr);
  SetQuitRequested(false);
}
