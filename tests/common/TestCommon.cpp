#include "common/TestCommon.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

CScratchFolder::CScratchFolder() {
  std::string sTemplate = (std::filesystem::temp_directory_path() / "kelvo-test-XXXXXX").string();
  const char* p = mkdtemp(sTemplate.data());
  m_sPath = p ? p : "";
  EXPECT_FALSE(m_sPath.empty()) << "cannot create a scratch folder";
}

CScratchFolder::~CScratchFolder() {
  std::error_code ec;
  if (!m_sPath.empty()) std::filesystem::remove_all(m_sPath, ec);
}

CTestUi::CTestUi() {
  SetUnexpectedHandler([](const std::string& s) { ADD_FAILURE() << s; });
  SetUi(this);
}

CTestUi::~CTestUi() { SetUi(nullptr); }

int RunCommand(const std::string& sCommand, std::string* pOutput) {
  FILE* f = popen(sCommand.c_str(), "r");
  if (!f) return -1;
  std::string sOut;
  char c[4096];
  size_t n;
  while ((n = fread(c, 1, sizeof c, f)) > 0) sOut.append(c, n);
  const int nStatus = pclose(f);
  if (pOutput) *pOutput = sOut;
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

std::vector<std::string> SplitAt(const std::string& s, char c) {
  std::vector<std::string> sa(1);
  for (char x : s) {
    if (x == c)
      sa.emplace_back();
    else
      sa.back().push_back(x);
  }
  return sa;
}
