#include "print/CRecordingTarget.h"

#include <cmath>

namespace {

// Characters, not bytes: UTF-8 continuation bytes do not count.
int CharCount(std::string_view s) {
  int n = 0;
  for (const char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

CRecordingTarget::CRecordingTarget(int nDpi, int nPageWidth, int nPageHeight)
    : m_nDpi(nDpi), m_nPageWidth(nPageWidth), m_nPageHeight(nPageHeight) {}

void CRecordingTarget::FailCall(const std::string& sCall, int nAfterCalls) {
  m_sFailCall = sCall;
  m_nFailAfter = nAfterCalls;
}

std::vector<CRecordingTarget::stDrawnText> CRecordingTarget::PageTexts(int nPage) const {
  std::vector<stDrawnText> out;
  for (const auto& t : m_texts)
    if (t.nPage == nPage && t.sText != " ") out.push_back(t);
  return out;
}

int CRecordingTarget::FontHeight(const stFontSpec& font) const {
  const int n = int(std::lround(double(font.nSizeTenths) * m_nDpi / 720.0));
  return n < 1 ? 1 : n;
}

int CRecordingTarget::CharWidth(const stFontSpec& font) const {
  const int n = FontHeight(font) / 2;
  const int nWidth = n < 1 ? 1 : n;
  return font.nWeight >= 700 ? nWidth + nWidth / 4 : nWidth;
}

stTextExtent CRecordingTarget::MeasureText(std::string_view sText) {
  ++m_nMeasureCalls;
  return {CharCount(sText) * CharWidth(m_font), FontHeight(m_font)};
}

void CRecordingTarget::DrawText(int x, int y, std::string_view sText, uint32_t nColour) {
  m_texts.push_back({m_nPage, x, y, std::string(sText), m_font, nColour});
}

void CRecordingTarget::DrawLine(int x1, int y1, int x2, int y2, uint32_t nColour) {
  m_lines.push_back({m_nPage, x1, y1, x2, y2, nColour});
}

bool CRecordingTarget::Bracket(const char* pCall) {
  if (m_sFailCall == pCall && --m_nFailAfter == 0) {
    m_sFailCall.clear();
    m_sError = "The printer is not available";
    return false;
  }
  return true;
}

bool CRecordingTarget::StartDocument(const std::string& sName) {
  m_sDocumentName = sName;
  return Bracket("StartDocument");
}

bool CRecordingTarget::StartPage() {
  if (!Bracket("StartPage")) return false;
  ++m_nPage;
  return true;
}

bool CRecordingTarget::EndPage() {
  if (!Bracket("EndPage")) return false;
  ++m_nPagesEnded;
  return true;
}

bool CRecordingTarget::EndDocument() {
  if (!Bracket("EndDocument")) return false;
  ++m_nDocumentsEnded;
  return true;
}
