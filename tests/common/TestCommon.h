#pragma once
// Helpers shared by the test suites: scratch folders and a scripted user
// interface that turns unscripted questions into test failures.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CScriptedUi.h"

// A fresh folder under the build's temporary area, removed with the object.
class CScratchFolder {
 public:
  CScratchFolder();
  ~CScratchFolder();
  CScratchFolder(const CScratchFolder&) = delete;
  CScratchFolder& operator=(const CScratchFolder&) = delete;
  const std::string& Path() const { return m_sPath; }
  std::string File(const std::string& sName) const { return m_sPath + "/" + sName; }

 private:
  std::string m_sPath;
};

// Installs a CScriptedUi for the test's life; unscripted questions fail the test.
class CTestUi : public CScriptedUi {
 public:
  CTestUi();
  ~CTestUi() override;
};

// Runs a shell command, returns its exit status and its standard output.
int RunCommand(const std::string& sCommand, std::string* pOutput = nullptr);

// The pieces of s between the separators c, empty ones kept: "a,,b" gives
// "a", "", "b"; an empty text gives one empty piece.
std::vector<std::string> SplitAt(const std::string& s, char c);
