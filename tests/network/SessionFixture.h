#pragma once
// Copies of the program as separate processes ("kelvotool session"), each
// with its own program folder, computer name and loopback address, all on the
// same port; the database lies in a folder that the mount table shows as a
// share of PC2, so PC2 is the lock manager.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LanTestHelpers.h"
#include "SessionProcess.h"
#include "common/TestCommon.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    m_sShare = m_folder.File("share");
    MakeFolder(m_sShare);
    m_sFile = m_sShare + "/ROOT.dbm";
    std::ofstream(m_folder.File("mountinfo"))
        << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 0:50 / " << m_sShare << " rw - cifs //PC2/share rw\n";
  }

  // Copy n: computer "PCn" at address n of the range (or sAddress), with a
  // computer list of the given copies.
  std::unique_ptr<CSessionProcess> Start(int n, const std::vector<int>& naList,
                                         const std::vector<std::string>& saArgs = {},
                                         const std::string& sAddress = "", const std::string& sName = "") {
    const std::string sHome = m_folder.File(StrFormat("home%d", n));
    MakeFolder(sHome);
    WriteList(sHome + "/Kelvo.usr", m_range, naList);
    const std::string sOwn = sAddress.empty() ? m_range.Address(n) : sAddress;
    std::ofstream(sHome + "/Kelvo.cfg")
        << "IPADDRESS_LANSVR|" << sOwn << "\nPORT_LANSVR|" << m_range.Port() << "\n"
        << m_sExtraConfig;
    return std::make_unique<CSessionProcess>(
        m_sFile,
        std::vector<std::string>{
            "KELVO_HOME=" + sHome, "KELVO_COMPUTERNAME=" + (sName.empty() ? StrFormat("PC%d", n) : sName),
            "KELVO_HOSTADDRESS=" + sOwn, "KELVO_MOUNTINFO=" + m_folder.File("mountinfo")},
        saArgs);
  }

  // PC2 (the lock manager), PC3 and PC4, each listing the other two; true
  // when all three opened and the lock manager counts them on line.
  struct stThree {
    std::unique_ptr<CSessionProcess> a, b, c;
  };
  bool StartThree(stThree& three) {
    three = {Start(2, {3, 4}), Start(3, {2, 4}), Start(4, {2, 3})};
    for (auto* p : {three.a.get(), three.b.get(), three.c.get()})
      if (!p->IsOpen()) {
        ADD_FAILURE() << "a copy did not open: " << p->OpenReply();
        return false;
      }
    const std::string sUsers = three.a->Command("waitusers 3");
    if (sUsers == "OK 3") return true;
    ADD_FAILURE() << "waitusers 3 gave " << sUsers;
    return false;
  }

  // PC2 (the lock manager) to PC6, each listing the other four, all on line.
  bool StartFive(std::vector<std::unique_ptr<CSessionProcess>>& copies) {
    const std::vector<int> naAll = {2, 3, 4, 5, 6};
    for (int n : naAll) {
      std::vector<int> naOthers;
      for (int m : naAll)
        if (m != n) naOthers.push_back(m);
      copies.push_back(Start(n, naOthers));
      if (!copies.back()->IsOpen()) {
        ADD_FAILURE() << "a copy did not open: " << copies.back()->OpenReply();
        return false;
      }
    }
    for (auto& p : copies)
      if (p->Command("waitusers 5") != "OK 5") {
        ADD_FAILURE() << "not every copy came on line";
        return false;
      }
    return true;
  }
  // Ends the copies, the lock manager (the first) last: the others would be
  // asked what to do without it.
  static void QuitAll(std::vector<std::unique_ptr<CSessionProcess>>& copies) {
    for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
      EXPECT_EQ((*it)->Command("quit"), "OK quit");
      EXPECT_EQ((*it)->Finish(), 0);
      EXPECT_FALSE((*it)->SawText("UNSCRIPTED")) << Transcript(**it);
    }
  }

  // The item lines of a table in a copy's memory.
  static std::vector<std::string> List(CSessionProcess& copy, const std::string& sTable) {
    std::vector<std::string> saLines;
    EXPECT_EQ(copy.Command("list " + sTable, &saLines).rfind("OK", 0), 0u);
    return saLines;
  }
  // Waits until the copy's table equals the expected lines.
  static bool ListBecomes(CSessionProcess& copy, const std::string& sTable,
                          const std::vector<std::string>& saExpected) {
    return WaitUntil([&] { return List(copy, sTable) == saExpected; }, 20);
  }
  // What a copy showed besides its replies, for failure reports.
  static std::string Transcript(const CSessionProcess& copy) {
    std::string s = "\n";
    for (const auto& sLine : copy.Seen())
      if (sLine.find("MESSAGE") != std::string::npos || sLine.find("UNSCRIPTED") != std::string::npos ||
          sLine.find("CLOSED") != std::string::npos)
        s += "  " + sLine + "\n";
    return s;
  }
  static uint32_t CodeOf(const std::string& sReply) {
    long long n = 0;
    return ParseInt(sReply.substr(3), n) ? uint32_t(n) : 0;
  }

  // Further lines of the next copies' Kelvo.cfg.
  std::string m_sExtraConfig;
  CScratchFolder m_folder;
  CLoopbackRange m_range;
  std::string m_sShare, m_sFile;
};
