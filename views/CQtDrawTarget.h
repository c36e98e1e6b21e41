#pragma once
// The print engine's drawing target on Qt: a QPainter on a window (the line
// views paint their lines through it) or on a QPrinter it owns (a system
// printer through CUPS, or a PDF file). Coordinates are the device's pixels
// with the origin at the top left of the printable area; text is placed by
// its top left.

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <memory>
#include <string>
#include <vector>

#include "print/CDrawTarget.h"

class CQtDrawTarget : public CDrawTarget {
 public:
  // Draws with a painter that is already active (a window's paint event).
  // The document and page brackets do nothing.
  explicit CQtDrawTarget(QPainter& painter);
  // Owns the printer: StartDocument begins painting on it, every StartPage
  // after the first starts a new sheet, EndDocument finishes the job. A PDF
  // printer puts every document (the copies of a job) into one file, which is
  // complete when the target is destroyed.
  explicit CQtDrawTarget(std::unique_ptr<QPrinter> pPrinter);
  ~CQtDrawTarget() override;
  CQtDrawTarget(const CQtDrawTarget&) = delete;
  CQtDrawTarget& operator=(const CQtDrawTarget&) = delete;

  // The Qt font of a font description (size in points from tenths).
  static QFont MakeFont(const stFontSpec& fontSpec);
  // An RGB value of the format records (0x00BBGGRR) as a Qt colour.
  static QColor MakeColour(uint32_t nColour);

  int PixelsPerInchX() const override;
  int PixelsPerInchY() const override;
  int PageWidth() const override;
  int PageHeight() const override;
  void SelectFont(const stFontSpec& font) override;
  stTextExtent MeasureText(std::string_view sText) override;
  void DrawText(int x, int y, std::string_view sText, uint32_t nColour) override;
  void DrawLine(int x1, int y1, int x2, int y2, uint32_t nColour) override;
  bool StartDocument(const std::string& sName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  std::string LastError() const override { return m_sError; }

  QPrinter* Printer() const { return m_pPrinter.get(); }

 private:
  // A font with its metrics on this device, made once per description.
  struct stCachedFont {
    stFontSpec fontSpec;
    QFont font;
    QFontMetrics metrics;
  };
  const stCachedFont& Cached(const stFontSpec& fontSpec);
  QPaintDevice* Device() const;

  std::unique_ptr<QPrinter> m_pPrinter;
  std::unique_ptr<QPainter> m_pOwnPainter;  // the printer's painter while a document is open
  QPainter* m_pPainter = nullptr;
  std::vector<std::unique_ptr<stCachedFont>> m_fonts;
  const stCachedFont* m_pFont = nullptr;
  int m_nPagesStarted = 0;
  std::string m_sError;
};
