#include "app/BatchChannel.h"

bool CBatchChannel::Push(CLineBatch* batch, size_t* waiting) {
  {
    CLockHolder hold(m_lock);
    if (m_bClosed || m_nCount == kCapacity) return false;
    m_batches[(m_nFirst + m_nCount) % kCapacity] = batch;
    ++m_nCount;
    if (waiting) *waiting = m_nCount;
  }
  m_lock.NotifyOne();
  return true;
}

CLineBatch* CBatchChannel::Pop() {
  CLockHolder hold(m_lock);
  while (!m_bClosed && m_nCount == 0) m_lock.Wait();
  if (m_bClosed) return nullptr;
  CLineBatch* batch = m_batches[m_nFirst];
  m_nFirst = (m_nFirst + 1) % kCapacity;
  --m_nCount;
  return batch;
}

void CBatchChannel::Close() {
  {
    CLockHolder hold(m_lock);
    m_bClosed = true;
  }
  m_lock.NotifyAll();
}
