#pragma once
// Results of the table manager's operations that say more than done or
// failed. The enumerators keep the numbers these operations have always
// returned.

// An operation the user asked for: adding, editing or deleting an item, a
// settings dialog, a category list button, purging the schedule. Cancelled
// also covers refused and failed: the user has already been told why.
enum class eItemResult : int {
  Done = 1,
  Cancelled = 2,
};
