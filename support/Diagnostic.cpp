#include "support/Diagnostic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <regex>
#include <vector>

#include "support/CUserInterface.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

struct stTraceFile {
  std::string sName;
  int nFd = -1;
  long long nSize = 0;
};

std::atomic<int> g_nLevel{0};
std::mutex g_mutex;  // guards the files and the registry
stTraceFile g_main{"DIAGNOSE.TXT"};
stTraceFile g_msg{"DIAGNOSE_MSG.TXT"};
long long g_nSizeCap = 16LL * 1024 * 1024;
std::chrono::steady_clock::time_point g_refTime = std::chrono::steady_clock::now();
std::vector<const void*> g_paPointers;
std::vector<std::string> g_saLabels;

bool OpenTrace(stTraceFile& f) {
  if (f.nFd >= 0) return true;
  const std::string sFolder = GetProgramFolder();
  if (sFolder.empty()) return false;
  f.nFd = ::open(JoinPath(sFolder, f.sName).c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  f.nSize = 0;
  return f.nFd >= 0;
}

void CloseTrace(stTraceFile& f) {
  if (f.nFd >= 0) ::close(f.nFd);
  f.nFd = -1;
}

// Rotates the file once: the full file becomes NAME.1 and a new one starts.
void RotateTrace(stTraceFile& f) {
  const std::string sPath = JoinPath(GetProgramFolder(), f.sName);
  CloseTrace(f);
  ::rename(sPath.c_str(), (sPath + ".1").c_str());
  OpenTrace(f);
}

// Caller holds g_mutex.
void WriteTrace(stTraceFile& f, const std::string& sLine) {
  if (f.nFd < 0) return;
  const std::string s = MaskSecrets(sLine);
  if (f.nSize + (long long)s.size() > g_nSizeCap) RotateTrace(f);
  if (f.nFd < 0) return;
  size_t nDone = 0;
  while (nDone < s.size()) {
    const ssize_t n = ::write(f.nFd, s.data() + nDone, s.size() - nDone);
    if (n <= 0) return;  // a full disk loses trace lines, never the program
    nDone += size_t(n);
  }
  f.nSize += (long long)s.size();
}

}  // namespace

int GetDiagnosticLevel() { return g_nLevel.load(std::memory_order_relaxed); }
void SetDiagnosticLevel(int nLevel) { g_nLevel.store(nLevel); }

std::string TraceTime() {
  const std::time_t t = std::time(nullptr);
  std::tm tmNow{};
  localtime_r(&t, &tmNow);
  char c[32];
  std::strftime(c, sizeof c, "%I:%M:%S%p", &tmNow);
  return c;
}

bool OpenDiagnosticFile() {
  std::string sMessage;
  bool bOpened = false;
  {
    std::lock_guard lock(g_mutex);
    if (g_main.nFd >= 0) return true;
    const std::string sPath = JoinPath(GetProgramFolder(), g_main.sName);
    bOpened = OpenTrace(g_main);
    if (bOpened) {
      sMessage = StrFormat("Diagnostic %s file opened.", sPath.c_str());
      if (GetDiagnosticLevel() > 0)
        WriteTrace(g_main, StrFormat("Diagnostic file open, level %i, Timer=%s\n",
                                     GetDiagnosticLevel(), TraceTime().c_str()));
    } else {
      g_nLevel.store(0);
      sMessage = StrFormat("Cannot open diagnostic file %s.", sPath.c_str());
    }
    OpenTrace(g_msg);
  }
  ShowMessage(sMessage);
  return bOpened;
}

void CloseDiagnosticFile() {
  bool bWasOpen = false;
  {
    std::lock_guard lock(g_mutex);
    if (g_main.nFd >= 0) {
      WriteTrace(g_main, StrFormat("Close diagnostic file, level %i\n", GetDiagnosticLevel()));
      CloseTrace(g_main);
      g_nLevel.store(0);
      bWasOpen = true;
    }
    CloseTrace(g_msg);
  }
  if (bWasOpen) ShowMessage("Diagnostic file closed");
}

bool DiagnosticFileOpen() {
  std::lock_guard lock(g_mutex);
  return g_main.nFd >= 0;
}

void WriteDiagnostic(const std::string& sLine) {
  std::lock_guard lock(g_mutex);
  WriteTrace(g_main, sLine);
}

void WriteDiagnosticMsg(const std::string& sLine) {
  std::lock_guard lock(g_mutex);
  WriteTrace(g_msg, sLine);
}

void SaveDiagnosticMessage(const std::string& sLine) { WriteDiagnostic(sLine); }

void PrintDiagn(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  const std::string s = VStrFormat(pFormat, args);
  va_end(args);
  WriteDiagnostic(s);
}

std::string RefTime() {
  const double d =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - g_refTime).count();
  return StrFormat("%10.3f", d);
}

void ResetRefTime() { g_refTime = std::chrono::steady_clock::now(); }

void ToggleDiagnosticTrace() {
  if (GetDiagnosticLevel() != 0) {
    CloseDiagnosticFile();
    return;
  }
  SetDiagnosticLevel(1);
  ResetRefTime();
  OpenDiagnosticFile();
}

std::string MaskSecrets(const std::string& sLine) {
  static const std::regex reRules[] = {
      // POP3 command
      std::regex(R"((\bPASS )[^\r\n]*)", std::regex::icase),
      // key=value and key: value forms
      std::regex(R"((\bpass(?:word|wd)?\s*[=:]\s*)[^\s|,;]*)", std::regex::icase),
      // mail account strings: "MAILACCOUNT|server|user|password|..." and
      // "MAIL_ACCOUNT ..." lines carry the password as their fourth field
      std::regex(R"((MAIL_?ACCOUNT[^|\r\n]*\|[^|\r\n]*\|[^|\r\n]*\|)[^|\r\n]*)",
                 std::regex::icase),
      // the stored account string "server`user`password`keys": the third
      // field wherever such a string appears
      std::regex(R"(([^\s`|]+`[^`\r\n]*`)[^`\s]*)"),
  };
  // Most lines hold none of the keywords; skip the regex work for them.
  const std::string sLower = ToLower(sLine);
  if (sLower.find("pass") == std::string::npos && sLower.find("account") == std::string::npos &&
      sLine.find('`') == std::string::npos)
    return sLine;
  std::string s = sLine;
  for (const auto& re : reRules) s = std::regex_replace(s, re, "$1****");
  return s;
}

void SetDiagnosticSizeCap(long long nBytes) {
  std::lock_guard lock(g_mutex);
  g_nSizeCap = nBytes;
}

void StoreAllocateMem(const void* p, const std::string& sLabel) {
  std::lock_guard lock(g_mutex);
  g_paPointers.push_back(p);
  g_saLabels.push_back(sLabel);
  if (GetDiagnosticLevel() > 2) {
    const auto n = static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
    WriteTrace(g_main, StrFormat("_Allocate pointer %u (%X), %s\n", n, n, sLabel.c_str()));
  }
}

int LocateAllocateMem(const void* p) {
  std::lock_guard lock(g_mutex);
  for (size_t i = 0; i < g_paPointers.size(); ++i)
    if (g_paPointers[i] == p) return int(i);
  return -1;
}

void DeleteAllocateMem(const void* p) {
  std::lock_guard lock(g_mutex);
  const auto n = static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
  for (size_t i = 0; i < g_paPointers.size(); ++i) {
    if (g_paPointers[i] != p) continue;
    if (GetDiagnosticLevel() > 2)
      WriteTrace(g_main, StrFormat("_Free pointer %u (%X), %s\n", n, n, g_saLabels[i].c_str()));
    g_paPointers.erase(g_paPointers.begin() + long(i));
    g_saLabels.erase(g_saLabels.begin() + long(i));
    return;
  }
  if (GetDiagnosticLevel() > 0)
    WriteTrace(g_main, StrFormat("_About to free pointer %u (%X), not in list\n", n, n));
}

int ReportAllocateMem() {
  size_t nLeft = 0;
  {
    std::lock_guard lock(g_mutex);
    nLeft = g_paPointers.size();
    if (!nLeft) {
      WriteTrace(g_main, "Unfreed pointer report: No unfreed pointers\n");
      return 0;
    }
    WriteTrace(g_main, "Unfreed pointer report:\n");
    for (size_t i = 0; i < nLeft; ++i) {
      const auto n = static_cast<unsigned>(reinterpret_cast<uintptr_t>(g_paPointers[i]));
      WriteTrace(g_main,
                 StrFormat(" Unfreed pointer %i (%X): %s\n", int(i), n, g_saLabels[i].c_str()));
    }
  }
  ShowMessage("Memory leaks detected. See unfreed poiinter report.");
  return int(nLeft);
}
