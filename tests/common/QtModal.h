#pragma once
// Answering the modal dialog that a call under test opens (Qt test programs).

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

// Runs fn on the dialog of type T once it is the active modal widget
// (polling the event loop for up to 15 s); does nothing when none appears,
// so the call under test then goes on waiting and the test sees that.
template <class T>
void WhenModal(std::function<void(T*)> fn) {
  auto* pTimer = new QTimer;
  auto* pClock = new QElapsedTimer;
  pClock->start();
  pTimer->setInterval(10);
  QObject::connect(pTimer, &QTimer::timeout, [pTimer, pClock, fn] {
    T* pDialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!pDialog && pClock->elapsed() < 15000) return;
    pTimer->stop();
    pTimer->deleteLater();
    delete pClock;
    if (pDialog) fn(pDialog);
  });
  pTimer->start();
}
