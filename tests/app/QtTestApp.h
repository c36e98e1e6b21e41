#pragma once
// The QApplication of the GUI tests (one per test program, offscreen unless
// the environment chose a platform), and helpers to answer the modal dialog
// that a call under test opens.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

QApplication& TestApp();

// Runs fn on the dialog of type T that becomes the active modal widget
// (polling the event loop for up to 15 s); fails the test when none appears.
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
