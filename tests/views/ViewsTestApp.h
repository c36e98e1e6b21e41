#pragma once
// Shared pieces of the Qt view tests: the offscreen QApplication, sending key
// and mouse events, and reading a printed PDF back with pdftotext -bbox.

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "common/QtModal.h"

QApplication& TestApp();

void SendKey(QWidget& widget, int nKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void SendMouse(QWidget& widget, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton);

// One word of a PDF page as pdftotext -bbox gives it (points from the top left).
struct stPdfWord {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::string sText;
};
struct stPdfPage {
  double dWidth = 0, dHeight = 0;
  std::vector<stPdfWord> words;
  // The first word equal to s; null when none.
  const stPdfWord* Find(const std::string& s) const;
  // The words of one text line (same y0 within a point), left to right.
  std::vector<stPdfWord> LineOf(const stPdfWord& word) const;
};
// The pages of a PDF file; empty when pdftotext fails.
std::vector<stPdfPage> ReadPdf(const std::string& sPath);
