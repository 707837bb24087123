#include "dedup/SortedMerge.h"

#include <algorithm>
#include <functional>

void CSortedMerge::Add(CTempRecordFile<uint64_t>& file) {
  file.StartReading();
  Head head{0, &file};
  if (!file.Next(&head.value)) return;
  m_heap.push_back(head);
  std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
}

uint64_t CSortedMerge::Next() {
  if (m_heap.empty()) return kEnd;
  std::pop_heap(m_heap.begin(), m_heap.end(), std::greater<>());
  Head& least = m_heap.back();
  const uint64_t value = least.value;
  if (least.file->Next(&least.value)) {
    std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
  } else {
    m_heap.pop_back();
  }
  return value;
}
