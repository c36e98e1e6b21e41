// vCard 3.0 and 4.0: files kelvotool writes, read by python3-vobject and
// imported again with every field intact; a hand-written file (folding,
// escapes, properties without a field, vCard 2.1) that imports and exports
// without loss; kelvotool import with each duplicate choice; and the question
// when a person saved in the address book may be a duplicate.

#include <gtest/gtest.h>

#include <map>

#include "common/TestCommon.h"
#include "data/CItemDialogs.h"
#include "data/CTableManager.h"
#include "data/DemoData.h"
#include "exchange/CVCardImport.h"
#include "exchange/CVCardWriter.h"
#include "support/FileUtil.h"

namespace {

// Every field set, with text that needs escaping, folding and UTF-8.
std::vector<CPerson> FullPersons() {
  std::vector<CPerson> a(3);
  CPerson& p = a[0];
  p.m_sLastName = "Dvo\xC5\x99\xC3\xA1k, Jr; III";
  p.m_sFirstName = "Anton\xC3\xADn \\ A.";
  p.m_sAddress1 = "Hlavn\xC3\xAD 1; vchod B";
  p.m_sAddress2 = "2. patro, vlevo";
  p.m_sCity = "Praha";
  p.m_sState = "CZ-10";
  p.m_sZip = "110 00";
  p.m_sCountry =
      "\xC4\x8C"
      "esko";
  p.m_sHomePhone = "+420 777 123 456";
  p.m_sWorkPhone = "221 555 000";
  p.m_sCellPhone = "602 111 222";
  p.m_sFax = "221 556 000";
  p.m_sEmail = "antonin@example.cz";
  std::string sLong;  // 120 octets of two-byte letters: folded between characters
  for (int i = 0; i < 20; ++i) sLong += "\xC5\xA1\xC4\x8D\xC5\x99";
  p.m_saComments = {
      "Prvn\xC3\xAD \xC5\x99\xC3\xA1"
      "dek, s \xC4\x8D\xC3\xA1rkou; a st\xC5\x99"
      "edn\xC3\xADkem",
      sLong, "back\\slash, and: colon"};
  p.m_cFlag = 3;
  a[1].m_cType = 'B';
  a[1].m_sLastName = "Acme; Tools, Inc.";
  a[1].m_sCity = "Springfield";
  a[1].m_sWorkPhone = "217-555-0100";
  a[1].m_cStatus = 0;
  a[2].m_sLastName = "Dvo\xC5\x99\xC3\xA1kov\xC3\xA1";
  a[2].m_sFirstName = "Eli\xC5\xA1ka";
  a[2].m_sEmail = "eliska@example.cz";
  a[2].m_cStatus = 'D';
  return a;
}

// The persons in a new database; the first two are in "Friends" and the
// first also in "Work, Inc."; the third depends on the first.
void MakeDatabase(const std::string& sRoot, std::vector<CPerson> persons) {
  CDatabase db;
  ASSERT_TRUE(db.OpenDatabase(sRoot, 0) && db.LockDatabase("test"));
  for (const char* pName : {"Friends", "Work, Inc."}) {
    auto pCategory = std::make_unique<CCategory>();
    pCategory->m_sName = pName;
    ASSERT_TRUE(AppendGeneratedItem(db, TABLE_CATEGORY, std::move(pCategory)));
  }
  const CIndexArray& categories = *db.PtrToIndexArray(TABLE_CATEGORY);
  if (persons.size() == 3) {
    persons[0].m_naCategories = {categories[0].m_nCode, categories[1].m_nCode};
    persons[1].m_naCategories = {categories[0].m_nCode};
  }
  for (CPerson& p : persons) {
    if (p.m_cStatus == 'D') p.m_nDependentOn = (*db.PtrToIndexArray(TABLE_PERSON))[0].m_nCode;
    ASSERT_TRUE(AppendGeneratedItem(db, TABLE_PERSON, std::make_unique<CPerson>(p)));
  }
  db.UnlockDatabase();
  db.CloseDatabase();
}

int Tool(const std::string& sArgs, std::string* pOut = nullptr) {
  return RunCommand(std::string(KELVOTOOL_PATH " ") + sArgs + " 2>&1", pOut);
}

// A person as a text of all its fields, categories by name and the person
// depended on by name, so persons of two databases compare.
std::string Fields(const CTableManager& db, const CPerson& p) {
  std::string s = std::string(1, p.m_cType) + "|" + std::string(1, p.m_cStatus ? p.m_cStatus : 'I') + "|" +
                  std::to_string(p.m_cFlag);
  for (const std::string* f :
       {&p.m_sLastName, &p.m_sFirstName, &p.m_sAddress1, &p.m_sAddress2, &p.m_sCity, &p.m_sState, &p.m_sZip,
        &p.m_sCountry, &p.m_sHomePhone, &p.m_sWorkPhone, &p.m_sCellPhone, &p.m_sFax, &p.m_sEmail})
    s += "|" + *f;
  for (const std::string& c : p.m_saComments) s += "|c:" + c;
  for (uint32_t n : p.m_naCategories) s += "|k:" + db.GetCategoryName(n);
  if (p.m_nDependentOn != DB_NONE) s += "|d:" + db.GetPersonName(p.m_nDependentOn, true);
  return s;
}

std::vector<std::string> AllFields(const std::string& sRoot) {
  CTableManager db;
  EXPECT_TRUE(db.OpenDatabase(sRoot, 0));
  std::vector<std::string> sa;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_PERSON))
    sa.push_back(Fields(db, static_cast<const CPerson&>(*e.m_pItem)));
  db.CloseDatabase();
  std::sort(sa.begin(), sa.end());
  return sa;
}

std::string Vobject(const std::string& sFile) {
  std::string sOut;
  EXPECT_EQ(RunCommand("/usr/bin/python3 " KELVO_SOURCE_DIR "/tests/exchange/parse_vcard.py '" + sFile + "'",
                       &sOut),
            0)
      << sOut;
  return sOut;
}

// The person the duplicate tests find again under other spellings.
CPerson Anna(const std::string& sEmail = "") {
  CPerson anna;
  anna.m_sLastName = "M\xC3\xBCller";
  anna.m_sFirstName = "Anna";
  anna.m_sEmail = sEmail;
  return anna;
}

}  // namespace

TEST(VCard, BothVersionsReadByVobjectAndImportWithEveryField) {
  CScratchFolder folder;
  CTestUi ui;
  MakeDatabase(folder.File("book"), FullPersons());
  const std::vector<std::string> saOriginal = AllFields(folder.File("book"));
  for (const char* pVersion : {"3", "4"}) {
    SCOPED_TRACE(pVersion);
    const std::string sFile = folder.File(std::string("v") + pVersion + ".vcf");
    ASSERT_EQ(Tool("export '" + folder.File("book") + "' persons --format vcard" + pVersion + " --out '" +
                   sFile + "'"),
              0);
    const std::string sJson = Vobject(sFile);
    const std::string sUid = CVCardWriter::Uid(folder.File("book"), 0);
    // In name order: the business, the person, the dependent.
    for (const std::string& s :
         {std::string("\"version\": \"") + pVersion + ".0\"", std::string("\"org\": [\"Acme; Tools, Inc.\"]"),
          std::string("\"x-kelvo-status\": \"inactive\""),
          std::string("\"n\": [\"Dvo\xC5\x99\xC3\xA1k, Jr; III\", \"Anton\xC3\xADn \\\\ A.\"]"),
          std::string(
              "\"adr\": [\"Hlavn\xC3\xAD 1; vchod B\\n2. patro, vlevo\", \"Praha\", \"CZ-10\", \"110 00\", "
              "\"\xC4\x8C"
              "esko\"]"),
          std::string(
              "\"tel\": {\"cell\": \"602 111 222\", \"fax\": \"221 556 000\", \"home,voice\": \"+420 777 123 "
              "456\", \"voice,work\": \"221 555 000\"}"),
          std::string("\"categories\": [\"Friends\", \"Work, Inc.\"]"),
          std::string("\"x-kelvo-flag\": \"3\""),
          std::string("\"note\": \"Prvn\xC3\xAD \xC5\x99\xC3\xA1"
                      "dek, s \xC4\x8D\xC3\xA1rkou; a st\xC5\x99"
                      "edn\xC3\xADkem\\n"),
          std::string("back\\\\slash, and: colon\""), std::string("\"x-kelvo-status\": \"dependent\""),
          std::string("\"uid\": \"") + sUid.substr(0, 23)})
      EXPECT_NE(sJson.find(s), std::string::npos) << s << "\n" << sJson;
    EXPECT_EQ(sJson.find("\"kind\": \"org\"") != std::string::npos, std::string(pVersion) == "4");
    const std::string sCopy = folder.File(std::string("copy") + pVersion);
    MakeDatabase(sCopy, {});
    std::string sOut;
    ASSERT_EQ(Tool("import '" + sCopy + "' persons '" + sFile + "'", &sOut), 0) << sOut;
    EXPECT_EQ(AllFields(sCopy), saOriginal);
  }
}

TEST(VCard, HandWrittenCardsImportAndExportWithoutLoss) {
  CScratchFolder folder;
  CTestUi ui;
  MakeDatabase(folder.File("book"), {});
  const std::string sText =
      "BEGIN:VCARD\r\nVERSION:3.0\r\n"
      "N:M\xC3\xBCller-L\xC3\xBC\r\n denscheid;Hans\\, Peter;Maria;Dr.;\r\n"  // folded inside a name
      "FN:Dr. Hans Peter M\xC3\xBCller\r\n"
      "ORG:Acme\\, Inc.;Sales\r\n"
      "ADR;TYPE=WORK:;Suite 5;Main St. 1\\; Gate 2;Bonn;NRW;53111;Germany\r\n"
      "TEL;TYPE=CELL:0171 555\r\nTEL;TYPE=HOME:0228 555\r\n"
      "EMAIL;TYPE=INTERNET:hans@example.de\r\nitem1.EMAIL;TYPE=INTERNET:second@example.de\r\n"
      "NOTE:one\\ntwo\\, three\\; four\r\n"
      "CATEGORIES:Clients,Work\\, Inc.\r\n"
      "X-SKYPE;TYPE=work:live:hans\r\nBDAY:1970-01-02\r\n"
      "END:VCARD\r\n"
      "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=F6rg;Ann=\nLee\n"
      "TEL;WORK;VOICE:555 0101\nEND:VCARD\n";
  CTableManager db;
  ASSERT_TRUE(db.OpenDatabase(folder.File("book"), 0));
  CVCardImport import(db);
  import.Prepare(sText);
  EXPECT_EQ(import.PreviewText(), "2 persons in the file: 2 new, 0 likely duplicates.");
  ASSERT_TRUE(import.Run(eDuplicateMode::Skip));
  ASSERT_EQ(db.PtrToIndexArray(TABLE_PERSON)->size(), 2u);
  const auto& jorg = static_cast<const CPerson&>(*(*db.PtrToIndexArray(TABLE_PERSON))[0].m_pItem);
  const auto& hans = static_cast<const CPerson&>(*(*db.PtrToIndexArray(TABLE_PERSON))[1].m_pItem);
  EXPECT_EQ(Fields(db, jorg), "P|A|0|J\xC3\xB6rg|AnnLee||||||||555 0101|||");
  EXPECT_EQ(
      Fields(db, hans),
      "P|A|0|M\xC3\xBCller-L\xC3\xBC"
      "denscheid|Dr. Hans, Peter Maria|Main St. 1; Gate 2|Suite 5|Bonn|NRW|53111|"
      "Germany|0228 555||0171 555||hans@example.de|c:one|c:two, three; four|c:[vCard] ORG:Acme\\, Inc.;Sales|"
      "c:[vCard] item1.EMAIL;TYPE=INTERNET:second@example.de|c:[vCard] X-SKYPE;TYPE=work:live:hans|"
      "c:[vCard] BDAY:1970-01-02|k:Clients|k:Work, Inc.");
  // The export gives the kept properties back as they stood, and reads back the same.
  const std::string sCard = CVCardWriter(db, 3).Card(hans);
  for (const char* p :
       {"\r\nORG:Acme\\, Inc.;Sales\r\n", "\r\nitem1.EMAIL;TYPE=INTERNET:second@example.de\r\n",
        "\r\nX-SKYPE;TYPE=work:live:hans\r\n", "\r\nBDAY:1970-01-02\r\n",
        "\r\nNOTE:one\\ntwo\\, three\\; four\r\n", "\r\nCATEGORIES:Clients,Work\\, Inc.\r\n"})
    EXPECT_NE(sCard.find(p), std::string::npos) << p << sCard;
  std::vector<std::string> saProblems;
  const std::vector<stVCardEntry> again = CVCardReader::Read(sCard, saProblems);
  ASSERT_EQ(again.size(), 1u);
  CPerson copy = again[0].person;
  copy.m_nCode = hans.m_nCode;
  copy.m_nSequence = hans.m_nSequence;
  copy.m_naCategories = hans.m_naCategories;
  EXPECT_EQ(copy, hans);
  EXPECT_EQ(again[0].saCategories, (std::vector<std::string>{"Clients", "Work, Inc."}));
  // A text too long to store is cut, and the import says so.
  const std::vector<stVCardEntry> longer =
      CVCardReader::Read("BEGIN:VCARD\r\nN:Long;" + std::string(5000, 'x') + "\r\nEND:VCARD\r\n", saProblems);
  ASSERT_EQ(longer.size(), 1u);
  EXPECT_EQ(longer[0].person.m_sFirstName, std::string(MAX_STORED_STRING - 1, 'x'));
  EXPECT_EQ(saProblems.back(), "A text of Long was longer than 4095 bytes and was cut.");
  // A kept line that would end the card is written as note text instead.
  CPerson hostile = hans;
  hostile.m_saComments = {CVCardWriter::KeptLine("END:VCARD"), CVCardWriter::KeptLine("X-A:ok")};
  const std::string sHostile = CVCardWriter(db, 4).Card(hostile);
  EXPECT_NE(sHostile.find("NOTE:[vCard] END:VCARD\r\n"), std::string::npos) << sHostile;
  EXPECT_NE(sHostile.find("\r\nX-A:ok\r\n"), std::string::npos);
  db.CloseDatabase();
}

TEST(VCard, ToolImportSkipsMergesOrAddsTheLikelyDuplicates) {
  CScratchFolder folder;
  CTestUi ui;
  const CPerson anna = Anna("anna@example.org");
  const std::string sFile = folder.File("in.vcf");
  ASSERT_TRUE(WriteFileAtomic(
      sFile,
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:MULLER;anna;;;\r\nADR:;;;Ulm;;;\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Other;Bob;;;\r\nEMAIL:ANNA@example.ORG\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:New;Nina;;;\r\nTEL:+1 (555) 123-4567\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Again;Nina;;;\r\nTEL:15551234567\r\nEMAIL:n@x\r\n"
      "CATEGORIES:Late\r\nEND:VCARD\r\n"));
  const std::map<std::string, std::string> expected = {{"skip", "1 added, 0 merged, 3 skipped."},
                                                       {"merge", "1 added, 3 merged, 0 skipped."},
                                                       {"add", "4 added, 0 merged, 0 skipped."}};
  for (const auto& [sMode, sSummary] : expected) {
    SCOPED_TRACE(sMode);
    const std::string sRoot = folder.File(sMode);
    MakeDatabase(sRoot, {anna});
    std::string sOut;
    ASSERT_EQ(Tool("import '" + sRoot + "' persons '" + sFile + "' --duplicates " + sMode, &sOut), 0) << sOut;
    EXPECT_NE(
        sOut.find("4 persons in the file: 1 new, 3 likely duplicates.\n"
                  "MULLER, anna may be a duplicate of M\xC3\xBCller, Anna (same name).\n"
                  "Other, Bob may be a duplicate of M\xC3\xBCller, Anna (same e-mail address).\n"
                  "Again, Nina may be a duplicate of an earlier card, New, Nina (same phone number).\n" +
                  sSummary),
        std::string::npos)
        << sOut;
    const std::vector<std::string> sa = AllFields(sRoot);
    EXPECT_EQ(sa.size(), sMode == "add" ? 5u : 2u);
    if (sMode == "merge") {
      EXPECT_EQ(sa, (std::vector<std::string>{"P|A|0|M\xC3\xBCller|Anna|||Ulm||||||||anna@example.org",
                                              "P|A|0|New|Nina|||||||+1 (555) 123-4567||||n@x|k:Late"}));
    }
  }
  EXPECT_NE(Tool("import '" + folder.File("skip") + "' persons '" + sFile + "' --duplicates maybe"), 0);
}

TEST(VCard, SavingAPersonWhoMayBeADuplicateAsksFirst) {
  CScratchFolder folder;
  CTestUi ui;
  const CPerson anna = Anna();
  MakeDatabase(folder.File("book"), {anna});
  CTableManager db;
  ASSERT_TRUE(db.OpenDatabase(folder.File("book"), 0));
  const std::vector<stEditField> muller = {{ItemField::kLastName, "MULLER"},
                                           {ItemField::kFirstName, " anna "}};
  ui.QueueEdit(muller);
  ui.QueueAnswer(IDNO);     // not saved: the form opens again
  ui.QueueEdit({}, false);  // and is cancelled
  EXPECT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, true), eItemResult::Cancelled);
  ui.QueueEdit(muller);
  ui.QueueAnswer(IDYES);
  EXPECT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, true), eItemResult::Done);
  EXPECT_EQ(db.PtrToIndexArray(TABLE_PERSON)->size(), 2u);
  EXPECT_TRUE(
      ui.SawText("MULLER,  anna  may be a duplicate of M\xC3\xBCller, Anna (same name). Save it anyway?"));
  // Editing other fields of the saved duplicate asks nothing again.
  ui.QueueEdit({{ItemField::kCity, "Ulm"}});
  EXPECT_EQ(db.EditTableItem(TABLE_PERSON, (*db.PtrToIndexArray(TABLE_PERSON))[1].m_nCode),
            eItemResult::Done);
  EXPECT_EQ(ui.PendingAnswers(), 0u);
  db.CloseDatabase();
}
