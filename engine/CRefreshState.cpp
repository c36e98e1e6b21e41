#include "engine/CRefreshState.h"

#include <algorithm>

void CRefreshState::ResetForOpenFile() {
  m_bDisableDataRefresh = false;
  m_nDisableDataRefreshCount = 0;
  m_bWaitingForLock = false;
  m_bIsRefreshInProcess = false;
  m_bRefreshOwed = false;
}

void CRefreshState::ResetForClosedFile() {
  m_caRefreshFlags.clear();
  // Notices held back for a file that is closed would otherwise be read
  // into the next database this copy opens.
  m_caDeferredFlags.clear();
  m_nDbLockDepth = 0;
  m_bDisableDataRefresh = true;
  m_nDisableDataRefreshCount = 0;
}

void CRefreshState::QueueNotice(const stRefreshFlag& flag) {
  if (m_bIsRefreshInProcess) {
    m_caDeferredFlags.push_back(flag);
    m_bRefreshOwed = true;
  } else {
    m_caRefreshFlags.push_back(flag);
  }
}

bool CRefreshState::ReleaseDeferredNotices() {
  if (m_bIsRefreshInProcess || m_caDeferredFlags.empty()) return false;
  m_caRefreshFlags.insert(m_caRefreshFlags.end(), m_caDeferredFlags.begin(),
                          m_caDeferredFlags.end());
  m_caDeferredFlags.clear();
  return true;
}

void CRefreshState::AddNoticeOnce(const stRefreshFlag& flag) {
  const bool bPending = std::any_of(
      m_caRefreshFlags.begin(), m_caRefreshFlags.end(),
      [&](const stRefreshFlag& f) { return f.nTable == flag.nTable && f.nKey == flag.nKey; });
  if (!bPending) m_caRefreshFlags.push_back(flag);
}

std::vector<stRefreshFlag> CRefreshState::TakeNotices() {
  std::vector<stRefreshFlag> caFlags = std::move(m_caRefreshFlags);
  m_caRefreshFlags.clear();
  return caFlags;
}

void CRefreshState::PutBackNotices(std::vector<stRefreshFlag> caFlags) {
  caFlags.insert(caFlags.end(), m_caRefreshFlags.begin(), m_caRefreshFlags.end());
  m_caRefreshFlags = std::move(caFlags);
}

void CRefreshState::SetNotices(std::vector<stRefreshFlag> caFlags) {
  m_caRefreshFlags = std::move(caFlags);
}

void CRefreshState::ClearNotices() { m_caRefreshFlags.clear(); }

void CRefreshState::SuspendRefresh() {
  ++m_nDisableDataRefreshCount;
  m_bDisableDataRefresh = true;
}

bool CRefreshState::ResumeRefresh() {
  if (m_nDisableDataRefreshCount > 0) --m_nDisableDataRefreshCount;
  return m_nDisableDataRefreshCount == 0;
}

void CRefreshState::BeginRefresh() {
  m_bIsRefreshInProcess = true;
  m_bRefreshOwed = false;
}

bool CRefreshState::EnterLockAndRefresh() {
  const bool bOuter = m_bInLockAndRefresh;
  m_bInLockAndRefresh = true;
  return bOuter;
}

bool CRefreshState::LeaveDatabaseLock() {
  if (m_nDbLockDepth > 1) {  // an inner unlock: the outer lock stays
    --m_nDbLockDepth;
    return false;
  }
  m_nDbLockDepth = 0;
  return true;
}

void CRefreshState::CollapseDatabaseLock() {
  if (m_nDbLockDepth > 1) m_nDbLockDepth = 1;
}
