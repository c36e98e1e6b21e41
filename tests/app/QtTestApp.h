#pragma once
// The QApplication of the GUI tests (one per test program, offscreen unless
// the environment chose a platform), and helpers to answer the modal dialog
// that a call under test opens.

#include <QApplication>
#include <QDialog>

#include "common/QtModal.h"

QApplication& TestApp();

