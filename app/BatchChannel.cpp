#include "app/BatchChannel.h"

bool CBatchChannel::Push(CLineBatch* batch) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed) return false;
    m_batches.push_back(batch);
  }
  m_ready.notify_one();
  return true;
}

CLineBatch* CBatchChannel::Pop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ready.wait(lock, [this] { return m_bClosed || !m_batches.empty(); });
  if (m_bClosed) return nullptr;
  CLineBatch* batch = m_batches.front();
  m_batches.pop_front();
  return batch;
}

void CBatchChannel::Close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bClosed = true;
  }
  m_ready.notify_all();
}
