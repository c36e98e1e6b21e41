// The address view at 1,000 and 100,000 persons: entering the view and
// building its lines (the sorted person list, filtered), and scrolling a
// page and laying out the lines of a window of 40 lines.

#include "bench/ViewBench.h"
#include "data/DemoData.h"
#include "views/CAddressView.h"

int main(int argc, char** argv) {
  const stViewBench bench{"address", "persons", 4, "Name", [](CTableManager& db, long long n) {
                            if (!db.LockDatabase("generate") || !WriteGeneratedItems(db, n, 0, 0))
                              return false;
                            db.UnlockDatabase();
                            return true;
                          }};
  return RunViewBench<CAddressView>(bench, argc, argv);
}
