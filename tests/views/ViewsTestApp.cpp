#include "ViewsTestApp.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "common/TestCommon.h"
#include "support/FileUtil.h"

// Qt and the system libraries it loads (fontconfig, D-Bus, CUPS) keep caches
// for the life of the process; the leak check reports only our own blocks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libQt6Gui.so\nleak:libQt6Core.so\n"
         "leak:libQt6Widgets.so\nleak:libQt6PrintSupport.so\nleak:libcups.so\n"
         "leak:libcupsprintersupport.so\n";
}

QApplication& TestApp() {
  static int nArgc = 1;
  static char sName[] = "test_views";
  static char* argv[] = {sName, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* pApp = new QApplication(nArgc, argv);
  return *pApp;
}

void SendKey(QWidget& widget, int nKey, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(QEvent::KeyPress, nKey, modifiers);
  QApplication::sendEvent(&widget, &event);
}

void SendMouse(QWidget& widget, QEvent::Type type, QPoint pos, Qt::MouseButton button) {
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                       ? Qt::MouseButtons() : Qt::MouseButtons(button);
  QMouseEvent event(type, QPointF(pos), widget.mapToGlobal(QPointF(pos)),
                    type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

const stPdfWord* stPdfPage::Find(const std::string& s) const {
  for (const auto& w : words)
    if (w.sText == s) return &w;
  return nullptr;
}

std::vector<stPdfWord> stPdfPage::LineOf(const stPdfWord& word) const {
  std::vector<stPdfWord> line;
  for (const auto& w : words)
    if (std::abs(w.y0 - word.y0) < 1.0) line.push_back(w);
  std::sort(line.begin(), line.end(), [](const stPdfWord& a, const stPdfWord& b) { return a.x0 < b.x0; });
  return line;
}

namespace {

// The text of a word as pdftotext writes it into its HTML: "<", ">", "&"
// and quotes come as entities.
std::string DecodeEntities(const std::string& s) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#39;", "'"}, {"&amp;", "&"}};
  std::string sOut;
  for (size_t i = 0; i < s.size();) {
    bool bDone = false;
    for (const auto& [pEntity, pText] : kEntities)
      if (s.compare(i, std::strlen(pEntity), pEntity) == 0) {
        sOut += pText;
        i += std::strlen(pEntity);
        bDone = true;
        break;
      }
    if (!bDone) sOut += s[i++];
  }
  return sOut;
}

}  // namespace

std::vector<stPdfPage> ReadPdf(const std::string& sPath) {
  const std::string sHtml = sPath + ".bbox.html";
  std::vector<stPdfPage> pages;
  if (RunCommand("pdftotext -bbox '" + sPath + "' '" + sHtml + "'") != 0) return pages;
  std::string s;
  if (!ReadWholeFile(sHtml, s)) return pages;
  static const std::regex kAny(R"re(<page width="([0-9.]+)" height="([0-9.]+)">|<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  for (std::sregex_iterator it(s.begin(), s.end(), kAny), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1].matched) {
      pages.push_back({std::stod(m[1]), std::stod(m[2]), {}});
    } else if (!pages.empty()) {
      pages.back().words.push_back({std::stod(m[3]), std::stod(m[4]), std::stod(m[5]), std::stod(m[6]), DecodeEntities(m[7])});
    }
  }
  return pages;
}
