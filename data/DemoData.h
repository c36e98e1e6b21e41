#pragma once
// Sample data for new databases: the handful of realistic items of the demo
// database, and reproducible generated items in any number for benchmarks.
// Items are appended as a copy working alone would add them: under the
// database lock the caller holds, with this copy's next key and the next
// display position.

#include <cstdint>
#include <memory>

class CDatabase;
class CDataRecord;

// Appends an item at the end of its table. False when it could not be written.
bool AppendGeneratedItem(CDatabase& db, uint8_t nTable, std::unique_ptr<CDataRecord> pItem);

// Five categories, seven persons (a business and a dependent among them), seven
// schedule items, one of each repeat type, five log entries and a note.
bool WriteDemoItems(CDatabase& db);

// Eight categories, then the given numbers of persons (several phones, an
// e-mail address, a comment of a few lines), schedule items and log entries,
// each with one to three categories. The same counts give the same items.
bool WriteGeneratedItems(CDatabase& db, long long nPersons, long long nSchedule, long long nLog);
