// The schedule view at 1,000 and 100,000 schedule items: entering the view
// and building its lines (the sorted item list, filtered), and scrolling a
// page and laying out the lines of a window of 40 lines.

#include "bench/ViewBench.h"
#include "data/DemoData.h"
#include "views/CScheduleView.h"

int main(int argc, char** argv) {
  // Sorted once, as the first view would.
  const stViewBench bench{"schedule", "items", 8, "Type", [](CTableManager& db, long long n) {
                            if (!db.LockDatabase("generate") || !WriteGeneratedItems(db, 0, n, 0))
                              return false;
                            db.UnlockDatabase();
                            db.SortRecordsSchedule();
                            return true;
                          }};
  return RunViewBench<CScheduleView>(bench, argc, argv);
}
