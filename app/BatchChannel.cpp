#include "app/BatchChannel.h"

bool CBatchChannel::Push(CLineBatch* batch) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed || m_nCount == kCapacity) return false;
    m_batches[(m_nFirst + m_nCount) % kCapacity] = batch;
    ++m_nCount;
  }
  m_ready.notify_one();
  return true;
}

CLineBatch* CBatchChannel::Pop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ready.wait(lock, [this] { return m_bClosed || m_nCount > 0; });
  if (m_bClosed) return nullptr;
  CLineBatch* batch = m_batches[m_nFirst];
  m_nFirst = (m_nFirst + 1) % kCapacity;
  --m_nCount;
  return batch;
}

void CBatchChannel::Close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bClosed = true;
  }
  m_ready.notify_all();
}
