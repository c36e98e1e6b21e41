// The line view: scrolling one page and repainting costs the same for a list
// of 1,000 lines and for one of 1,000,000, because a paint asks the view
// only for the lines that fit the window. Each figure is one page down plus
// one full paint of a 640 x 480 window; the counter shows the lines asked for.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>

#include "support/StringUtil.h"
#include "views/CLineView.h"

namespace {

class CBenchLines : public CScrollBase {
 public:
  explicit CBenchLines(int nLines) : CScrollBase(VIEW_ADDRESS), m_nLines(nLines) {
    m_bHasHeader = true;
    m_format.m_sFaceName = "Courier New";
    m_format.m_nSize = 100;
    m_format.m_daTabStops = {1.5, 3.0, 4.5};
  }
  void SetUpLines() override {
    m_nMaxLines = m_nLines;
    m_bLinesReady = true;
  }
  stFmtString GetLine(int nIndex, char, char& cStatus) override {
    ++m_nAsked;
    cStatus = nIndex % 5 == 0 ? LINE_MARKED : LINE_NORMAL;
    if (nIndex < 0) return {&m_format, FMT_HEADER, "Name\tCity\tPhone\tNote"};
    return {&m_format, FMT_LINE,
            StrFormat("Person %d\tCity %d\t555-%04d\tnote ~Bbold~b", nIndex, nIndex % 97, nIndex % 10000)};
  }
  bool HasData() const override { return true; }

  long long m_nAsked = 0;

 private:
  int m_nLines;
  stFormatRecord m_format;
};

// The window of 640 x 480 over the lines.
class CBenchLineView : public CLineView {
 public:
  explicit CBenchLineView(int nLines)
      : CLineView(std::make_unique<CBenchLines>(nLines), nullptr),
        m_lines(static_cast<CBenchLines&>(Source())) {
    resize(640, 480);
  }
  CBenchLines& m_lines;
};

void BM_PageDownAndPaint(benchmark::State& state) {
  CBenchLineView view(int(state.range(0)));
  QImage image(view.size(), QImage::Format_RGB32);
  view.render(&image);
  view.render(&image);  // the scroll bars have settled
  view.m_lines.m_nAsked = 0;
  for (auto _ : state) {
    if (view.m_lines.EndVisible()) view.m_lines.VScroll(SCROLL_TOP);
    else view.m_lines.VScroll(SCROLL_PAGE_DOWN);
    view.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["lines_asked_per_paint"] =
      benchmark::Counter(double(view.m_lines.m_nAsked) / double(state.iterations()));
  state.counters["lines_in_window"] = view.m_lines.LinesInWindow();
}
BENCHMARK(BM_PageDownAndPaint)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_JumpToEndAndPaint(benchmark::State& state) {
  CBenchLineView view(int(state.range(0)));
  QImage image(view.size(), QImage::Format_RGB32);
  view.render(&image);
  view.render(&image);
  bool bEnd = false;
  for (auto _ : state) {
    view.m_lines.VScroll((bEnd = !bEnd) ? SCROLL_BOTTOM : SCROLL_TOP);
    view.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_JumpToEndAndPaint)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
