#include "app/UndecidedLines.h"

namespace {

constexpr size_t kCheckBuffer = 256 * 1024;

}  // namespace

CUndecidedLines::CUndecidedLines(const CTextFile& source, const std::string& tempDir) {
  if (source.CanReadAgain()) {
    m_pCheckSpace = std::make_unique<CTempSpace>(tempDir);
    m_pChecks = std::make_unique<CTempRecordFile<uint32_t>>(*m_pCheckSpace, kCheckBuffer);
  } else {
    m_pCopy = std::make_unique<CTextFile>(encAnsi);
    m_pCopy->CreateTemporary(tempDir);
  }
}

CTextFile* CUndecidedLines::BeginSecondReading() {
  if (m_pChecks) {
    m_pChecks->StartReading();
    return nullptr;
  }
  m_pCopy->FlushBuffer();
  m_pCopy->SeekToStart();
  return m_pCopy.get();
}
