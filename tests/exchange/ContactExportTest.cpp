// Contact exports written by kelvotool from a real database file and read
// back with independent parsers, the exact bytes of the edge-case records,
// and exports that cannot be written.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "exchange/CContactExport.h"
#include "support/FileUtil.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

CPerson Person(const char* pLast, const char* pFirst, const char* pHome, const char* pEmail) {
  CPerson p;
  p.m_sLastName = pLast;
  p.m_sFirstName = pFirst;
  p.m_sHomePhone = pHome;
  p.m_sEmail = pEmail;
  return p;
}

// In name order: the five exportable persons, then one inactive and one with
// neither e-mail nor home phone. 0, 2 and 3 are "Friends", 1 and 4 only have
// an e-mail; the business 0 has no e-mail.
std::vector<CPerson> TestPersons() {
  std::vector<CPerson> a = {Person("Acme; Tools, Inc.", "", "217-555-0100", ""),
                            Person("Berg", "Ann", "47 555", ""),
                            Person("Dvo\xC5\x99\xC3\xA1k", "Anton\xC3\xADn", "", "antonin@example.cz"),
                            Person("M\xC3\xBCller", "J\xC3\xBCrgen", "0221 555", "juergen@example.de"),
                            Person("O'Neil; Jr", "Pat, \"PJ\"", "555-0100", "pat@example.com"),
                            Person("Gone", "Gus", "1", "gone@example.com"),
                            Person("Nobody", "Ned", "", "")};
  a[0].m_cType = 'B';
  a[0].m_sAddress1 = "1 Way";
  a[0].m_sCity = "Springfield";
  a[0].m_sState = "IL";
  a[0].m_sZip = "62702";
  a[1].m_sCity = "Bergen";  // a city and nothing else
  a[2].m_sState = "S";      // a state of one letter and nothing else
  a[2].m_sCellPhone = "+420 777 123";
  a[3].m_sAddress1 = "Flat 2=B";
  a[3].m_sAddress2 =
      "Hinterhaus, 3. Stock \xC3\xBC"
      "ber dem Caf\xC3\xA9 \"Zur Ecke\", bitte zweimal klingeln";
  a[3].m_sCity = "K\xC3\xB6ln";
  a[3].m_sZip = "50667";
  a[3].m_sWorkPhone = "0221 556";
  a[3].m_saComments = {"Kommt \"p\xC3\xBCnktlich\"", "a, b"};
  a[4].m_sFax = "555\t0101";
  a[5].m_cStatus = 0;
  a[6].m_sCellPhone = "1";
  return a;
}

// A database written by the table manager with the persons and the category "Friends".
void MakeDatabase(const std::string& sRoot, const std::vector<CPerson>& persons) {
  CDatabase db;
  ASSERT_TRUE(db.OpenDatabase(sRoot, 0) && db.LockDatabase("test"));
  auto pCategory = std::make_unique<CCategory>();
  pCategory->m_sName = "Friends";
  ASSERT_TRUE(AppendGeneratedItem(db, TABLE_CATEGORY, std::move(pCategory)));
  const uint32_t nFriends = (*db.PtrToIndexArray(TABLE_CATEGORY))[0].m_nCode;
  for (size_t i : {6, 4, 2, 5, 0, 3, 1}) {  // out of name order
    auto p = std::make_unique<CPerson>(persons[i]);
    if (i == 0 || i == 2 || i == 3) p->m_naCategories = {nFriends};
    ASSERT_TRUE(AppendGeneratedItem(db, TABLE_PERSON, std::move(p)));
  }
  db.UnlockDatabase();
  db.CloseDatabase();
}

// Runs "kelvotool export ARGS" after sPrefix in a shell group (the arguments
// may redirect its output); its stderr goes to *pErr.
int Export(const std::string& sArgs, std::string* pErr = nullptr, const std::string& sPrefix = "") {
  return RunCommand("{ " + sPrefix + KELVOTOOL_PATH + " export " + sArgs + "; } 2>&1 >/dev/null", pErr);
}

Rows Parse(const char* pMode, const std::string& sFile) {
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string("/usr/bin/python3 " KELVO_SOURCE_DIR "/tests/exchange/parse_export.py ") +
                           pMode + " '" + sFile + "'",
                       &sOut),
            0);
  Rows rows;
  std::vector<std::string> saRecords = SplitAt(sOut, '\x1e');
  saRecords.pop_back();  // after the last record
  for (const std::string& s : saRecords) rows.push_back(SplitAt(s, '\x1f'));
  return rows;
}

std::string FileText(const std::string& sPath) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(sPath, s)) << sPath;
  return s;
}

}  // namespace

TEST(ContactExport, ToolExportsParseBackExactly) {
  CScratchFolder folder;
  CTestUi ui;
  const std::vector<CPerson> a = TestPersons();
  MakeDatabase(folder.File("book"), a);
  const std::string sBook = "'" + folder.File("book.dbm") + "' persons --format ";
  for (const char* p : {"csv", "blackberry", "tab", "labels", "vcard21"})
    ASSERT_EQ(Export(sBook + p + " --out '" + folder.File(p) + "'"), 0) << p;

  Rows expected = {SplitAt("Last name,First name,Phone1,Phone2,Fax,Address,City,State,Zip,Email", ',')};
  for (size_t i : {2, 3, 4})
    expected.push_back({a[i].m_sLastName, a[i].m_sFirstName, a[i].m_sHomePhone, a[i].m_sWorkPhone,
                        a[i].m_sFax, a[i].m_sAddress1, a[i].m_sCity, a[i].m_sState, a[i].m_sZip,
                        a[i].m_sEmail});
  EXPECT_EQ(Parse("csv", folder.File("csv")), expected);

  expected = {Parse("csv", folder.File("blackberry")).at(0)};
  Rows vcards, tabs = {SplitAt("Last\tFirst\tPhone1\tPhone2\tFax\tAddress\tCity\tState\tZip\tEmail", '\t')};
  for (size_t i : {0, 1, 2, 3, 4}) {
    const CPerson& p = a[i];
    expected.push_back({p.m_sLastName, p.m_sFirstName, p.m_sHomePhone, p.m_sWorkPhone, p.m_sCellPhone,
                        p.m_sFax, p.m_sEmail, p.m_sAddress1, p.m_sAddress2, p.m_sCity, p.m_sState, p.m_sZip,
                        p.m_sEmail + "|" + (p.m_saComments.empty() ? "" : p.m_saComments[0] + "|a, b")});
    const std::string sStreet =
        p.m_sAddress2.empty() ? p.m_sAddress1 : p.m_sAddress1 + "\r\n" + p.m_sAddress2;
    vcards.push_back({p.m_sLastName, p.m_sFirstName, p.m_sFirstName + " " + p.m_sLastName,
                      i == 4 ? "-" : sStreet, p.m_sCity, p.m_sState, p.m_sZip, p.m_sHomePhone, p.m_sWorkPhone,
                      p.m_sCellPhone, p.m_sFax, p.m_sEmail});
    tabs.push_back({p.m_sLastName, p.m_sFirstName, p.m_sHomePhone, p.m_sWorkPhone, i == 4 ? "555 0101" : "",
                    p.m_sAddress1, p.m_sCity, p.m_sState, p.m_sZip, p.m_sEmail});
  }
  EXPECT_EQ(expected[0][12], "Notes");
  EXPECT_EQ(Parse("csv", folder.File("blackberry")), expected);
  EXPECT_EQ(Parse("vcard", folder.File("vcard21")), vcards);

  std::vector<std::string> saLines = SplitAt(FileText(folder.File("tab")), '\n');
  EXPECT_EQ(saLines.back(), "");  // every line ends with its line break
  saLines.pop_back();
  Rows tabRows;
  for (const std::string& s : saLines) tabRows.push_back(SplitAt(s, '\t'));
  EXPECT_EQ(tabRows, tabs);

  EXPECT_EQ(
      FileText(folder.File("labels")),
      " Acme; Tools, Inc.\n1 Way\nSpringfield, IL 62702\n\nAnn Berg\nAnton\xC3\xADn Dvo\xC5\x99\xC3\xA1k\n"
      "J\xC3\xBCrgen M\xC3\xBCller\nFlat 2=B\nK\xC3\xB6ln,  50667\n\nPat, \"PJ\" O'Neil; Jr\n");

  // vCard: plain ASCII, CR LF line ends, no line longer than 76 characters.
  const std::string sCards = FileText(folder.File("vcard21"));
  EXPECT_NE(sCards.find("=\r\n"), std::string::npos);  // the long second address line was folded
  size_t nLine = 0;
  for (size_t i = 0; i < sCards.size(); ++i) {
    ASSERT_LT(static_cast<unsigned char>(sCards[i]), 128u) << i;
    if (sCards[i] == '\n') {
      ASSERT_TRUE(i > 0 && sCards[i - 1] == '\r') << i;
      nLine = 0;
    } else if (sCards[i] != '\r') {
      ASSERT_LE(++nLine, 76u) << i;
    }
  }

  // A category's persons on standard output.
  ASSERT_EQ(Export(sBook + "vcard21 --category Friends > '" + folder.File("friends") + "'"), 0);
  const Rows friends = Parse("vcard", folder.File("friends"));
  ASSERT_EQ(friends.size(), 3u);
  EXPECT_EQ(friends[0], vcards[0]);
  EXPECT_EQ(friends[1], vcards[2]);
  EXPECT_EQ(friends[2], vcards[3]);
}

TEST(ContactExport, EdgeCaseRecordsAreExact) {
  CPerson p = Person("Berg", "Ann", "47 555", "ann@example.com");
  p.m_sCity = "Bergen";
  const std::string sCard = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Berg;Ann\r\nFN:Ann Berg\r\n";
  const std::string sEnd = "TEL;HOME:47 555\r\nEMAIL:ann@example.com\r\nEND:VCARD\r\n\r\n";
  EXPECT_EQ(CContactExport::Record('V', p), sCard + "ADR;ENCODING=QUOTED-PRINTABLE:;;;Bergen;;\r\n" + sEnd);
  EXPECT_EQ(CContactExport::Record('L', p), "Ann Berg\n");
  p.m_sCity.clear();
  EXPECT_EQ(CContactExport::Record('V', p), sCard + sEnd);
  p.m_sAddress1 = "12 Elm St";
  p.m_sAddress2 = "Apt 3";
  p.m_sState = "IL";
  p.m_sCellPhone = "555 1";
  EXPECT_EQ(CContactExport::Record('V', p),
            sCard + "ADR;ENCODING=QUOTED-PRINTABLE:;;12 Elm St=0D=0AApt 3;;IL;\r\n" +
                "TEL;HOME:47 555\r\nTEL;CELL:555 1\r\nEMAIL:ann@example.com\r\n"
                "END:VCARD\r\n\r\n");
  EXPECT_EQ(CContactExport::Record('E', p), "Berg,Ann,47 555,,,12 Elm St,,IL,,ann@example.com\n");
  p.m_sZip = "5 ";  // a space that ends an encoded line
  EXPECT_NE(CContactExport::Record('V', p).find(";;IL;5=20\r\n"), std::string::npos);
  p.m_cStatus = 0;
  EXPECT_FALSE(CContactExport::IsEligible('T', p));
  EXPECT_EQ(CContactExport::Text('E', {&p}), CContactExport::Header('E'));  // chosen, but inactive now
}

TEST(ContactExport, FailedExportsSaySoAndLeaveNoFile) {
  CScratchFolder folder;
  CTestUi ui;
  MakeDatabase(folder.File("book"), TestPersons());
  const std::string sBook = "'" + folder.File("book.dbm") + "' persons --format vcard21";
  std::string sErr;
  EXPECT_NE(Export(sBook + " --out /dev/full", &sErr), 0);
  EXPECT_NE(sErr.find("/dev/full could not be written: No space left on device"), std::string::npos) << sErr;
  struct stat st {};
  EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
  EXPECT_NE(Export(sBook + " > /dev/full", &sErr), 0);
  EXPECT_NE(sErr.find("standard output could not be written"), std::string::npos) << sErr;

  // A file that may not grow: the old file of that name stays, nothing else is left.
  ASSERT_TRUE(WriteFileAtomic(folder.File("old.vcf"), "old"));
  EXPECT_NE(Export(sBook + " --out '" + folder.File("old.vcf") + "'", &sErr, "trap '' XFSZ; ulimit -f 0; "),
            0);
  EXPECT_NE(sErr.find("old.vcf could not be written"), std::string::npos) << sErr;
  EXPECT_EQ(FileText(folder.File("old.vcf")), "old");
  std::string sList;
  RunCommand("ls -A '" + folder.Path() + "'", &sList);
  EXPECT_EQ(sList, "book.dbm\nold.vcf\n");

  EXPECT_NE(Export(sBook + " --out '" + folder.File("no/such.vcf") + "'", &sErr), 0);
  EXPECT_NE(sErr.find("could not be created: No such file or directory"), std::string::npos) << sErr;

  // A symbolic link at the chosen name is replaced, never written through.
  ASSERT_EQ(::symlink(folder.File("old.vcf").c_str(), folder.File("link.vcf").c_str()), 0);
  EXPECT_EQ(Export(sBook + " --out '" + folder.File("link.vcf") + "'"), 0);
  EXPECT_EQ(FileText(folder.File("old.vcf")), "old");
  EXPECT_TRUE(::lstat(folder.File("link.vcf").c_str(), &st) == 0 && S_ISREG(st.st_mode));
  EXPECT_EQ(FileText(folder.File("link.vcf")).rfind("BEGIN:VCARD\r\n", 0), 0u);

  EXPECT_NE(Export(sBook + "x", &sErr), 0);
  EXPECT_NE(sErr.find("usage: kelvotool export"), std::string::npos);
  EXPECT_NE(Export(sBook + " --category Nobody", &sErr), 0);
  EXPECT_NE(sErr.find("no category 'Nobody'"), std::string::npos);
}
