// Hands batches from one thread to another, first in first out. It holds at
// most kCapacity batches and never allocates, so handing over cannot fail.
#pragma once

#include <array>
#include <cstddef>

#include "app/LineBatch.h"
#include "platform/WaitableLock.h"

class CBatchChannel {
 public:
  static constexpr size_t kCapacity = 8;

  // False when the channel was closed (or is full, which the pass never lets
  // happen): the batch was not taken. *waiting, when given, is set to the
  // number of batches in the channel with this one.
  bool Push(CLineBatch* batch, size_t* waiting = nullptr);
  // The oldest batch, waiting for one; null once the channel is closed.
  CLineBatch* Pop();
  // Wakes every waiting thread; later calls fail.
  void Close();

 private:
  CWaitableLock m_lock;  // guards the rest; notified when a batch comes or the channel closes
  std::array<CLineBatch*, kCapacity> m_batches{};
  size_t m_nFirst = 0;
  size_t m_nCount = 0;
  bool m_bClosed = false;
};
