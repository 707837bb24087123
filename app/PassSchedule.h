// The order of work in a pass, kept under one lock: which batches exist, in
// which order they come, how far every lane of the index and the writer have
// got, and what a free thread should do next.
//
// The input is read in chunks, each a sequence of batches; chunk k's batches
// all come before chunk k + 1's, whichever thread filled them and whenever.
// A batch is filled (and its lines fingerprinted), then decided by every lane
// (a lane takes the batches in order, one at a time), then written (in order,
// one at a time), and then it is free again. A fixed number of batches bounds
// the memory; the earliest chunk still being read can always take one, so
// the work never stalls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <vector>

#include "app/LineBatch.h"
#include "platform/WaitableLock.h"

class CPassSchedule {
 public:
  enum class TaskKind { kNone, kRead, kFingerprint, kDecide, kWrite };
  struct Task {
    TaskKind kind = TaskKind::kNone;
    uint64_t chunk = 0;  // kRead: the chunk to read on
    uint32_t lane = 0;   // kDecide
    CLineBatch* batch = nullptr;
    bool chunkStart = false;  // kRead: the chunk's first batch
  };

  // readers: how many chunks may be read at once.
  CPassSchedule(std::vector<CLineBatch*> batches, uint32_t lanes, uint32_t readers);

  // Lets the work begin, once the input is known. chunks: how many there
  // are; 0 when one reader fills a single chunk from its own thread
  // (AddBatch). Until then Next waits.
  void Start(uint64_t chunks);

  // A thread's next task, waiting for one; kNone once the pass is over or
  // stopped.
  Task Next();
  // The task is done. kRead: ended tells that the chunk holds no more lines
  // (then batch may be null: nothing was read); borrowed that the chunk's
  // reader waits until batch is written.
  void Done(const Task& task, bool ended = false, bool borrowed = false);
  // Ends the pass early: every waiting thread wakes, Next answers kNone.
  // The first error given is kept.
  void Stop(std::exception_ptr error);
  std::exception_ptr Error();

  // For a reader with a thread of its own (chunks == 0): a free batch,
  // waiting for one; null once stopped. Then AddBatch hands it over filled,
  // not yet fingerprinted; ended: the last.
  CLineBatch* TakeFreeBatch();
  void AddBatch(CLineBatch* batch, bool ended);
  // Waits until batch has been written; false when the pass stopped first.
  bool WaitUntilWritten(const CLineBatch* batch);

 private:
  struct Chunk {
    std::vector<CLineBatch*> batches;  // in order; null once written
    bool started = false;
    bool reading = false;
    bool ended = false;
    bool waiting = false;  // its reader lent a line to its last batch
  };
  struct Cursor {
    uint64_t chunk = 0;
    size_t batch = 0;
  };
  struct BatchState {
    uint32_t lanesDone = 0;
    bool fingerprinting = false;
  };

  Chunk* ChunkAt(uint64_t k);
  // The batch at cursor, moving it past ended chunks; null when it is not
  // filled yet.
  CLineBatch* At(Cursor& cursor);
  void Advance(Cursor& cursor);
  bool Pick(Task* task);
  bool PickRead(Task* task);
  bool Finished();

  CWaitableLock m_lock;
  std::vector<CLineBatch*> m_free;
  size_t m_nBatches;
  uint32_t m_nLanes;
  uint64_t m_nChunks = 0;  // 0: one chunk filled by a reader thread
  bool m_bStarted = false;
  uint32_t m_nReaders;
  uint32_t m_nReading = 0;
  std::deque<Chunk> m_chunks;  // from m_nFirstChunk on
  uint64_t m_nFirstChunk = 0;
  std::vector<Cursor> m_lanes;
  std::vector<bool> m_laneBusy;
  Cursor m_writer;
  bool m_bWriterBusy = false;
  std::vector<BatchState> m_states;  // by the batch's place in m_all
  std::vector<CLineBatch*> m_all;
  bool m_bStopped = false;
  std::exception_ptr m_error;

  size_t IndexOf(const CLineBatch* batch) const;
};
