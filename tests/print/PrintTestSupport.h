#pragma once
// Shared pieces of the print tests: a program folder of their own (the print
// and report files live there), a print system whose printers are recording
// targets, and small builders.

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/TestCommon.h"
#include "data/CFormatRecord.h"
#include "data/CPageLayout.h"
#include "print/CPrintFile.h"
#include "print/CPrintSystem.h"
#include "print/CRecordingTarget.h"

// Points KELVO_HOME at a scratch folder for the test's life.
class CScratchProgramFolder {
 public:
  CScratchProgramFolder() {
    const char* p = std::getenv("KELVO_HOME");
    m_bHadOld = p != nullptr;
    if (p) m_sOld = p;
    setenv("KELVO_HOME", m_folder.Path().c_str(), 1);
  }
  ~CScratchProgramFolder() {
    if (m_bHadOld) setenv("KELVO_HOME", m_sOld.c_str(), 1);
    else unsetenv("KELVO_HOME");
  }
  std::string File(const std::string& sName) const { return m_folder.File(sName); }

 private:
  CScratchFolder m_folder;
  bool m_bHadOld = false;
  std::string m_sOld;
};

// Printers "Office" (the default) and "Plotter"; every job's target is kept
// for inspection after the job.
class CTestPrintSystem : public CPrintSystem {
 public:
  CTestPrintSystem() { SetPrintSystem(this); }
  ~CTestPrintSystem() override { SetPrintSystem(nullptr); }

  std::vector<std::string> PrinterList() override { return {"Office", "Plotter"}; }
  std::string DefaultPrinter() override { return m_sDefault; }
  std::unique_ptr<CDrawTarget> OpenPrinter(const std::string& sName, bool bLandscape,
                                           std::string& sError) override {
    m_saOpened.push_back(sName);
    m_bLandscape = bLandscape;
    if (m_bRefuse || (sName != "Office" && sName != "Plotter")) {
      sError = "The printer " + sName + " is not available";
      return nullptr;
    }
    auto p = std::make_unique<CKeptTarget>(this);
    if (!m_sFailCall.empty()) p->FailCall(m_sFailCall, m_nFailAfter);
    return p;
  }

  // The target of the last job (valid once the job ended).
  const CRecordingTarget& Last() const { return *m_pLast; }
  bool Printed() const { return m_pLast != nullptr; }

  std::string m_sDefault = "Office";
  bool m_bRefuse = false;
  std::string m_sFailCall;
  int m_nFailAfter = 1;
  std::vector<std::string> m_saOpened;
  bool m_bLandscape = false;

 private:
  class CKeptTarget : public CRecordingTarget {
   public:
    explicit CKeptTarget(CTestPrintSystem* pOwner) : m_pOwner(pOwner) {}
    ~CKeptTarget() override { m_pOwner->m_pLast = std::make_unique<CRecordingTarget>(*this); }

   private:
    CTestPrintSystem* m_pOwner;
  };
  std::unique_ptr<CRecordingTarget> m_pLast;
};

inline stFormatRecord TestFormat(uint32_t nCode, uint32_t nSize = 100,
                                 std::vector<double> daTabs = {}) {
  stFormatRecord f = CFormatRecord::DefaultFormat(nCode < FORMAT_COUNT ? nCode : 0);
  f.m_nSize = nSize;
  f.m_daTabStops = std::move(daTabs);
  return f;
}

// Writes the lines (and the end marker) as the print file.
inline void WriteLines(const std::vector<stFmtString>& lines) {
  auto pFile = CPrintFile::OpenPrintFile();
  ASSERT_TRUE(pFile);
  for (const auto& l : lines) ASSERT_EQ(pFile->WriteFmtString(l), 1);
  ASSERT_EQ(pFile->ClosePrintFile(), 1);
}
