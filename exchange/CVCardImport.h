#pragma once
// Importing persons from a vCard file into the open database. Prepare reads
// the cards and finds, for each, the person it likely duplicates: one of the
// database (the same name, e-mail address or phone number) or an
// earlier card of the file. The preview tells how many are new and how many
// likely duplicates; Run then adds the new ones and, as chosen, merges each
// duplicate into its person (empty fields filled, categories and comment
// lines added), skips it or adds it as a new person. Every write goes
// through the item operations (locks, refresh, notices to the other copies);
// missing categories are added by name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/CVCardReader.h"

class CTableManager;

enum class eDuplicateMode : char { Ask = 0, Skip = 's', Merge = 'm', Add = 'a' };

struct stImportCounts {
  size_t nRead = 0, nNew = 0, nDuplicates = 0;  // the preview
  size_t nAdded = 0, nMerged = 0, nSkipped = 0, nFailed = 0;
};

class CVCardImport {
 public:
  explicit CVCardImport(CTableManager& db) : m_db(db) {}

  void Prepare(std::string_view sText);
  // "%zu persons in the file: %zu new, %zu likely duplicates." and a line
  // for each of the first duplicates.
  std::string PreviewText() const;
  // Ask shows the preview and then asks what to do with the duplicates (a
  // choice list; without duplicates the preview is a yes-or-no question).
  // False when the user cancelled; nothing is written then.
  bool Run(eDuplicateMode nMode);
  // "%zu added, %zu merged, %zu skipped." and what could not be done.
  std::string SummaryText() const;

  const stImportCounts& Counts() const { return m_counts; }
  const std::vector<std::string>& Problems() const { return m_saProblems; }

 private:
  struct stMatch {
    uint32_t nTarget = 0xFFFFFFFF;  // a person's code, or the index of an earlier card
    bool bInFile = false;
    std::string sWhy;
  };
  eDuplicateMode AskMode() const;
  uint32_t ResultCode(const stMatch& match) const;
  void Merge(stVCardEntry& entry, uint32_t nCode);
  void AddNew(size_t i);
  void LinkDependents();
  std::vector<uint32_t> CategoryCodes(const stVCardEntry& entry);
  std::string Describe(const stMatch& match) const;

  CTableManager& m_db;
  std::vector<stVCardEntry> m_entries;
  std::vector<stMatch> m_matches;
  std::vector<uint32_t> m_naResults;  // per card: the person it became, merged into or duplicates
  std::vector<bool> m_baAdded;
  stImportCounts m_counts;
  std::vector<std::string> m_saProblems;
};
