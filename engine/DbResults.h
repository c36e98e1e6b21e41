#pragma once
// Results of the record file engine that say more than done or failed. The
// enumerators keep the numbers these functions have always returned, so a
// trace or a tool that prints one shows the same value.

// Opening a database file (CDbEngine::OpenDB).
enum class [[nodiscard]] eOpenResult : int{
    Failed = 0,
    NotClosedProperly = 1,  // opened; its last use did not close it properly
    Opened = 2,             // opened normally (also a file just created)
};

// Rewriting a record in place (CDbRecordStore::RewriteRecord).
enum class [[nodiscard]] eRewriteResult : int{
    HeaderFailed = -1,  // the data went in, the header write failed (old bytes put back)
    NotWritten = 0,     // nothing written: no record there, too big, or the data write failed
    Written = 1,
};

// A read-modify-write of one header under a held range
// (CDbRecordStore::ChangeHeaderInFile).
enum class eHeaderChange : int {
  Unchanged = -1,  // the change left the header as it was: nothing written
  Failed = 0,      // not read, or not written (the old bytes are put back)
  Written = 1,
};
