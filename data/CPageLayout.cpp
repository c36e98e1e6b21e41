#include "data/CPageLayout.h"

namespace {

bool IsSaneMargin(float f) { return f >= 0.0f && f <= MAX_MARGIN; }  // false for NaN

}  // namespace

uint32_t CPageLayout::LoadBufferPageLayout(const stPageLayout& l, stRecordBuffer& b) {
  if (b.m_bFailed || b.m_nLimit < PAGE_LAYOUT_SIZE) {
    b.Fail("page layout block does not fit the buffer");
    return 0;
  }
  uint8_t* p = b.m_pData;
  PutUint32(p, l.m_nCode);
  CDataRecord::PutFloat(p + 4, l.m_fLeftMargin);
  CDataRecord::PutFloat(p + 8, l.m_fTopMargin);
  CDataRecord::PutFloat(p + 12, l.m_fBottomMargin);
  PutUint32(p + 16, l.m_nPageFlag);
  PutUint32(p + 20, l.m_nLandscape);
  CFormatRecord::PutFontBlock(l.m_stPageFont, p + 24);
  PutUint32(p + 80, 0);
  return PAGE_LAYOUT_SIZE;
}

int CPageLayout::ReadBufferPageLayout(stPageLayout& l, stRecordBuffer& b) {
  if (b.m_bFailed || b.m_nLimit < PAGE_LAYOUT_SIZE) {
    b.Fail("page layout block shorter than 84 bytes");
    return 0;
  }
  const uint8_t* p = b.m_pData;
  stPageLayout t;
  t.m_nCode = GetUint32(p);
  t.m_fLeftMargin = CDataRecord::GetFloat(p + 4);
  t.m_fTopMargin = CDataRecord::GetFloat(p + 8);
  t.m_fBottomMargin = CDataRecord::GetFloat(p + 12);
  t.m_nPageFlag = GetUint32(p + 16);
  t.m_nLandscape = GetUint32(p + 20);
  CFormatRecord::GetFontBlock(t.m_stPageFont, p + 24);
  l = std::move(t);
  return 1;
}

stPageLayout CPageLayout::DefaultLayout(uint32_t nCode) {
  stPageLayout l;
  l.m_nCode = nCode;
  if (nCode < 2) {
    l.m_fLeftMargin = 0.5f;
    l.m_fTopMargin = 0.75f;
    l.m_fBottomMargin = 0.75f;
    l.m_nPageFlag = 1;
  }
  l.m_stPageFont = CFormatRecord::MakeFormat(0, "Courier New", 0, 1, 100, "");
  return l;
}

void CPageLayout::Sanitize(stPageLayout& l, uint32_t nKey) {
  l.m_nCode = nKey;
  const stPageLayout d = DefaultLayout(nKey);
  for (auto pMargin : {&stPageLayout::m_fLeftMargin, &stPageLayout::m_fTopMargin,
                       &stPageLayout::m_fBottomMargin})
    if (!IsSaneMargin(l.*pMargin)) l.*pMargin = d.*pMargin;
  if (l.m_nLandscape > 1) l.m_nLandscape = d.m_nLandscape;
  stFormatRecord& f = l.m_stPageFont;
  if (!CFormatRecord::IsSaneSize(f.m_nSize)) f.m_nSize = d.m_stPageFont.m_nSize;
  if (!CFormatRecord::IsSaneScale(f.m_fHeightScale)) f.m_fHeightScale = d.m_stPageFont.m_fHeightScale;
  if (f.m_sFaceName.empty()) f.m_sFaceName = d.m_stPageFont.m_sFaceName;
}

void CPageLayout::ClearMarginsOfPlainLayout(stPageLayout& l) {
  if (l.m_nCode != 2 && l.m_nCode != 3) return;
  l.m_fLeftMargin = l.m_fTopMargin = l.m_fBottomMargin = 0.0f;
  l.m_nPageFlag = 0;
}
