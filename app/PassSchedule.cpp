#include "app/PassSchedule.h"

#include <algorithm>
#include <utility>

CPassSchedule::CPassSchedule(std::vector<CLineBatch*> batches, uint32_t lanes, uint32_t readers)
    : m_free(std::move(batches)),
      m_nBatches(m_free.size()),
      m_nLanes(lanes),
      m_nReaders(std::max<uint32_t>(1, readers)),
      m_lanes(lanes),
      m_laneBusy(lanes, false),
      m_states(m_free.size()),
      m_all(m_free) {}

void CPassSchedule::Start(uint64_t chunks) {
  {
    CLockHolder hold(m_lock);
    m_nChunks = chunks;
    if (m_nChunks == 0) {
      m_chunks.emplace_back();
      m_chunks.back().started = m_chunks.back().reading = true;
    }
    m_bStarted = true;
  }
  m_lock.NotifyAll();
}

size_t CPassSchedule::IndexOf(const CLineBatch* batch) const {
  return static_cast<size_t>(std::find(m_all.begin(), m_all.end(), batch) - m_all.begin());
}

CPassSchedule::Chunk* CPassSchedule::ChunkAt(uint64_t k) {
  if (k < m_nFirstChunk || k - m_nFirstChunk >= m_chunks.size()) return nullptr;
  return &m_chunks[static_cast<size_t>(k - m_nFirstChunk)];
}

CLineBatch* CPassSchedule::At(Cursor& cursor) {
  // A lane that finished a chunk before it was forgotten goes on at the next.
  if (cursor.chunk < m_nFirstChunk) cursor = {m_nFirstChunk, 0};
  for (;;) {
    Chunk* chunk = ChunkAt(cursor.chunk);
    if (!chunk) return nullptr;
    if (cursor.batch < chunk->batches.size()) return chunk->batches[cursor.batch];
    if (!chunk->ended) return nullptr;
    ++cursor.chunk;
    cursor.batch = 0;
  }
}

void CPassSchedule::Advance(Cursor& cursor) { ++cursor.batch; }

CPassSchedule::Task CPassSchedule::Next() {
  CLockHolder hold(m_lock);
  Task task;
  while (!m_bStopped && !(m_bStarted && Pick(&task))) {
    if (m_bStarted && Finished()) return {};
    m_lock.Wait();
  }
  return m_bStopped ? Task{} : task;
}

// Writing first, then deciding, then fingerprinting, then reading: work on
// the earliest batches frees memory soonest and lets the output flow.
bool CPassSchedule::Pick(Task* task) {
  if (!m_bWriterBusy) {
    CLineBatch* batch = At(m_writer);
    if (batch && batch->fingerprinted && m_states[IndexOf(batch)].lanesDone == m_nLanes) {
      m_bWriterBusy = true;
      *task = {TaskKind::kWrite, 0, 0, batch, false};
      return true;
    }
  }
  uint32_t best = m_nLanes;
  for (uint32_t l = 0; l < m_nLanes; ++l) {
    if (m_laneBusy[l]) continue;
    CLineBatch* batch = At(m_lanes[l]);
    if (!batch || !batch->fingerprinted) continue;
    const Cursor& c = m_lanes[l];
    if (best == m_nLanes || std::pair(c.chunk, c.batch) < std::pair(m_lanes[best].chunk, m_lanes[best].batch)) {
      best = l;
    }
  }
  if (best < m_nLanes) {
    m_laneBusy[best] = true;
    *task = {TaskKind::kDecide, 0, best, At(m_lanes[best]), false};
    return true;
  }
  if (m_nChunks == 0) {
    // Batches of the reader thread are fingerprinted here, in order.
    if (m_chunks.empty()) return false;
    Chunk& chunk = m_chunks.front();
    for (size_t b = m_writer.chunk == m_nFirstChunk ? m_writer.batch : 0; b < chunk.batches.size(); ++b) {
      CLineBatch* batch = chunk.batches[b];
      if (!batch || batch->fingerprinted) continue;
      BatchState& state = m_states[IndexOf(batch)];
      if (state.fingerprinting) continue;
      state.fingerprinting = true;
      *task = {TaskKind::kFingerprint, 0, 0, batch, false};
      return true;
    }
    return false;
  }
  return PickRead(task);
}

// The earliest chunk still being read may take the last free batch; any
// other leaves it, so that the batches written next can always be filled.
bool CPassSchedule::PickRead(Task* task) {
  if (m_free.empty()) return false;
  bool first = true;  // no chunk before this one is still being read
  for (size_t i = 0; i < m_chunks.size(); ++i) {
    Chunk& chunk = m_chunks[i];
    if (chunk.ended) continue;
    if (!chunk.reading && !chunk.waiting && (first || m_free.size() > 1)) {
      chunk.reading = true;
      *task = {TaskKind::kRead, m_nFirstChunk + i, 0, m_free.back(), false};
      m_free.pop_back();
      return true;
    }
    first = false;
  }
  const uint64_t next = m_nFirstChunk + m_chunks.size();
  if (next >= m_nChunks || m_nReading >= m_nReaders || !(first || m_free.size() > 1)) return false;
  m_chunks.emplace_back();
  Chunk& chunk = m_chunks.back();
  chunk.started = chunk.reading = true;
  ++m_nReading;
  *task = {TaskKind::kRead, next, 0, m_free.back(), true};
  m_free.pop_back();
  return true;
}

void CPassSchedule::Done(const Task& task, bool ended, bool borrowed) {
  {
    CLockHolder hold(m_lock);
    switch (task.kind) {
      case TaskKind::kRead: {
        task.batch->fingerprinted = true;
        Chunk* chunk = ChunkAt(task.chunk);
        chunk->reading = false;
        chunk->batches.push_back(task.batch);
        chunk->waiting = borrowed;
        if (ended) {
          chunk->ended = true;
          --m_nReading;
        }
        break;
      }
      case TaskKind::kFingerprint:
        task.batch->fingerprinted = true;
        m_states[IndexOf(task.batch)].fingerprinting = false;
        break;
      case TaskKind::kDecide:
        m_laneBusy[task.lane] = false;
        Advance(m_lanes[task.lane]);
        ++m_states[IndexOf(task.batch)].lanesDone;
        break;
      case TaskKind::kWrite: {
        m_bWriterBusy = false;
        Chunk* chunk = ChunkAt(m_writer.chunk);
        chunk->batches[m_writer.batch] = nullptr;
        if (task.batch->borrowed) chunk->waiting = false;
        m_states[IndexOf(task.batch)] = {};
        m_free.push_back(task.batch);
        Advance(m_writer);
        break;
      }
      case TaskKind::kNone:
        break;
    }
    // Chunks written whole are forgotten.
    At(m_writer);
    while (!m_chunks.empty() && m_writer.chunk > m_nFirstChunk) {
      m_chunks.pop_front();
      ++m_nFirstChunk;
    }
  }
  m_lock.NotifyAll();
}

bool CPassSchedule::Finished() {
  At(m_writer);
  if (m_nChunks == 0) return m_writer.chunk > 0;
  return m_writer.chunk >= m_nChunks;
}

void CPassSchedule::Stop(std::exception_ptr error) {
  {
    CLockHolder hold(m_lock);
    m_bStopped = true;
    if (!m_error) m_error = std::move(error);
  }
  m_lock.NotifyAll();
}

std::exception_ptr CPassSchedule::Error() {
  CLockHolder hold(m_lock);
  return m_error;
}

CLineBatch* CPassSchedule::TakeFreeBatch() {
  CLockHolder hold(m_lock);
  while (!m_bStopped && m_free.empty()) m_lock.Wait();
  if (m_bStopped) return nullptr;
  CLineBatch* batch = m_free.back();
  m_free.pop_back();
  return batch;
}

void CPassSchedule::AddBatch(CLineBatch* batch, bool ended) {
  {
    CLockHolder hold(m_lock);
    Chunk& chunk = m_chunks.front();
    chunk.batches.push_back(batch);
    if (ended) chunk.ended = true;
  }
  m_lock.NotifyAll();
}

bool CPassSchedule::WaitUntilWritten(const CLineBatch* batch) {
  CLockHolder hold(m_lock);
  while (!m_bStopped && std::find(m_free.begin(), m_free.end(), batch) == m_free.end()) m_lock.Wait();
  return !m_bStopped;
}
