#pragma once
// The diagnostic trace: DIAGNOSE.TXT for ordinary tracing and
// DIAGNOSE_MSG.TXT for message traffic, both in the program folder, plus the
// registry of long-lived heap blocks. Safe from several threads.

#include <string>

int GetDiagnosticLevel();
void SetDiagnosticLevel(int nLevel);
inline bool DiagOn() { return GetDiagnosticLevel() > 0; }

// Opens both files (truncating them); shows "Diagnostic %s file opened." or
// "Cannot open diagnostic file %s." (then the level drops to 0).
bool OpenDiagnosticFile();
void CloseDiagnosticFile();
bool DiagnosticFileOpen();
// Ctrl+D of the views: closes the trace when it is on, else opens it at
// level 1 with the timer reference reset.
void ToggleDiagnosticTrace();

// Writes one line (already formatted) to the main or message file, when open.
// Secrets are masked before anything is written.
void WriteDiagnostic(const std::string& sLine);
void WriteDiagnosticMsg(const std::string& sLine);
void SaveDiagnosticMessage(const std::string& sLine);
void PrintDiagn(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));

// Seconds since the timer reference, "%10.3f"; ResetRefTime sets the reference.
std::string RefTime();
void ResetRefTime();

// Replaces passwords in a trace line (mail account strings "...|password" and
// "server`user`password`keys", POP3 "PASS x", "password=x"/"Password: x") by "****".
std::string MaskSecrets(const std::string& sLine);

// Each trace file is rotated once (to *.1) when it passes this size.
void SetDiagnosticSizeCap(long long nBytes);

// Allocation registry.
void StoreAllocateMem(const void* p, const std::string& sLabel);
int LocateAllocateMem(const void* p);
void DeleteAllocateMem(const void* p);
int ReportAllocateMem();  // returns the number of unfreed entries

// The current time as "%I:%M:%S%p", as trace lines carry it.
std::string TraceTime();

#define KTRACE(...)                       \
  do {                                    \
    if (DiagOn()) PrintDiagn(__VA_ARGS__); \
  } while (0)
