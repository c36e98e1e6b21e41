#pragma once
// What a line source asks of the window that shows it: paint again soon, or
// at once (before a modal step covers the window). Headless sources have no
// host and skip the calls.

class CLineViewHost {
 public:
  virtual ~CLineViewHost() = default;
  virtual void Invalidate() = 0;
  virtual void RepaintNow() = 0;
  // The window's frame is brought to the top (after a column drag).
  virtual void RaiseWindow() {}
};
