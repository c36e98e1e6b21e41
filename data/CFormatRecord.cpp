#include "data/CFormatRecord.h"

#include <cstring>

#include "support/StringUtil.h"

namespace {

const stFormatDefault kDefaults[FORMAT_COUNT] = {
    {"Default", "Courier New", 90, 0, ""},
    {"RTF format reports", "Times New Roman", 90, 0, ""},
    {"Default report text", "Times New Roman", 90, 0, ""},
    {"Default report header", "Times New Roman", 90, 1, ""},
    {"Person list", "Times New Roman", 90, 0, "4.75,6.0"},
    {"Mailing list", "Times New Roman", 90, 0, ""},
    {"Mail labels", "Times New Roman", 90, 0, ""},
    {"Envelopes", "Times New Roman", 90, 0, ""},
    {"Schedule list", "Times New Roman", 90, 0, "0.802,3.208,4.396,5.500"},
    {"Log", "Times New Roman", 90, 0, "1, 3"},
    {"Message", "Times New Roman", 120, 0, ""},
    {"Label printer", "Times New Roman", 200, 0, ""},
};

bool IsSaneTab(double d) { return d >= 0.0 && d <= MAX_TAB_STOP; }  // false for NaN

}  // namespace

void CFormatRecord::PutFontBlock(const stFormatRecord& f, uint8_t* p) {
  std::memset(p, 0, FONT_BLOCK_SIZE);
  PutUint32(p, f.m_nCode);
  CDataRecord::PutFixedText(p + 4, FACE_NAME_SIZE, f.m_sFaceName);
  PutUint32(p + 36, f.m_nSize);
  CDataRecord::PutFloat(p + 40, f.m_fHeightScale);
  p[44] = f.m_cCharSet;
  p[45] = f.m_bBold;
  p[46] = f.m_bItalics;
  p[47] = f.m_bUnderline;
  p[48] = f.m_bStrikeOut;
  p[49] = f.m_bCenter;
  PutUint32(p + 52, f.m_nTextColour);
}

void CFormatRecord::GetFontBlock(stFormatRecord& f, const uint8_t* p) {
  f.m_nCode = GetUint32(p);
  f.m_sFaceName = CDataRecord::GetFixedText(p + 4, FACE_NAME_SIZE);
  f.m_nSize = GetUint32(p + 36);
  f.m_fHeightScale = CDataRecord::GetFloat(p + 40);
  f.m_cCharSet = p[44];
  f.m_bBold = p[45];
  f.m_bItalics = p[46];
  f.m_bUnderline = p[47];
  f.m_bStrikeOut = p[48];
  f.m_bCenter = p[49];
  f.m_nTextColour = GetUint32(p + 52);
}

uint32_t CFormatRecord::LoadBufferFormatRecord(const stFormatRecord& f, stRecordBuffer& b) {
  uint8_t cBlock[FONT_BLOCK_SIZE];
  PutFontBlock(f, cBlock);
  uint32_t n = CDataRecord::LoadBuffer(b, 0, cBlock, FONT_BLOCK_SIZE);
  n = CDataRecord::LoadBuffer(b, n, f.m_daTabStops);
  return b.m_bFailed ? 0 : n;
}

int CFormatRecord::ReadBufferFormatRecord(stFormatRecord& f, stRecordBuffer& b) {
  uint8_t cBlock[FONT_BLOCK_SIZE];
  stFormatRecord t;
  uint32_t n = CDataRecord::ReadBuffer(b, 0, cBlock, FONT_BLOCK_SIZE);
  CDataRecord::ReadBuffer(b, n, t.m_daTabStops);
  if (b.m_bFailed) return 0;
  GetFontBlock(t, cBlock);
  f = std::move(t);
  return 1;
}

const stFormatDefault& CFormatRecord::DefaultSpec(uint32_t nCode) {
  return kDefaults[nCode < FORMAT_COUNT ? nCode : 0];
}

const char* CFormatRecord::FormatName(uint32_t nCode) {
  return nCode < FORMAT_COUNT ? kDefaults[nCode].m_pName : "";
}

std::vector<double> CFormatRecord::ParseTabStops(const std::string& sTabStops) {
  std::vector<std::string> saPieces;
  ParseString(sTabStops, ",", saPieces);
  std::vector<double> da;
  for (const auto& s : saPieces) {
    double d = 0.0;
    if (ParseDouble(Trim(s), d)) da.push_back(d);
  }
  return da;
}

std::string CFormatRecord::TabStopText(const std::vector<double>& da) {
  std::string s;
  for (double d : da) {
    if (!s.empty()) s += ",";
    s += FormatDouble(d);
  }
  return s;
}

stFormatRecord CFormatRecord::MakeFormat(uint32_t nCode, const std::string& sFace, int bBold,
                                         int bCenter, uint32_t nSize, const std::string& sTabStops) {
  stFormatRecord f;
  f.m_nCode = nCode;
  f.m_sFaceName = sFace;
  f.m_nSize = nSize;
  f.m_bBold = uint8_t(bBold != 0);
  f.m_bCenter = uint8_t(bCenter != 0);
  f.m_daTabStops = ParseTabStops(sTabStops);
  return f;
}

stFormatRecord CFormatRecord::DefaultFormat(uint32_t nCode) {
  const stFormatDefault& d = DefaultSpec(nCode);
  return MakeFormat(nCode, d.m_pFace, d.m_bBold, 0, d.m_nSize, d.m_pTabStops);
}

void CFormatRecord::Sanitize(stFormatRecord& f, uint32_t nKey) {
  f.m_nCode = nKey;
  const stFormatRecord d = DefaultFormat(nKey);
  if (!IsSaneSize(f.m_nSize)) f.m_nSize = d.m_nSize;
  if (!IsSaneScale(f.m_fHeightScale)) f.m_fHeightScale = d.m_fHeightScale;
  bool bTabsSane = f.m_daTabStops.size() <= MAX_TAB_STOPS;
  for (double t : f.m_daTabStops) bTabsSane = bTabsSane && IsSaneTab(t);
  if (!bTabsSane) f.m_daTabStops = d.m_daTabStops;
  if (f.m_sFaceName.empty()) f.m_sFaceName = d.m_sFaceName;
}
