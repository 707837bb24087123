// What both systems' file objects share: their entries in the registry of the
// run's files, and letting go of a file until it is read.
#include "platform/File.h"

void CFile::Register(const FileIdentity& id, bool exclusive, const char* role) {
  RegisterFile(id, exclusive, role);
  m_identity = id;
  m_bExclusive = exclusive;
  m_role = role;
  m_bRegistered = true;
}

void CFile::Suspend() {
  if (m_hFile == kNoHandle || m_bStandard || m_bStream || m_bTemporary) return;
  ReleaseHandle(true);
  m_bSuspended = true;
}

bool CFile::Resume(std::string* reason) {
  if (!m_bSuspended) return true;
  // Open lets go of the suspended entry before it registers the file again.
  return Open(m_strFileName, m_nOpenFlags, reason, m_role);
}
