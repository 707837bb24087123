// Hands batches from one thread to another, first in first out.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "app/LineBatch.h"

class CBatchChannel {
 public:
  // False when the channel was closed: the batch was not taken.
  bool Push(CLineBatch* batch);
  // The oldest batch, waiting for one; null once the channel is closed.
  CLineBatch* Pop();
  // Wakes every waiting thread; later calls fail.
  void Close();

 private:
  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<CLineBatch*> m_batches;
  bool m_bClosed = false;
};
