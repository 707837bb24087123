// An array that grows a fixed-size block at a time and never moves what it
// holds, so an index into it stays valid for the whole run.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

template <typename T, uint32_t kPerBlock>
class BlockArray {
 public:
  static constexpr uint32_t kLimit = UINT32_MAX - kPerBlock;  // indices stay below UINT32_MAX

  // Adds one block of zero-filled elements.
  void AddBlock() {
    if (Capacity() >= kLimit) throw std::length_error("too many distinct lines");
    m_blocks.emplace_back(new T[kPerBlock]());
  }
  uint32_t Capacity() const { return static_cast<uint32_t>(m_blocks.size()) * kPerBlock; }
  uint32_t Blocks() const { return static_cast<uint32_t>(m_blocks.size()); }

  T& operator[](uint32_t i) { return m_blocks[i / kPerBlock][i % kPerBlock]; }
  const T& operator[](uint32_t i) const { return m_blocks[i / kPerBlock][i % kPerBlock]; }

 private:
  // The table of blocks grows geometrically, so its copying stays linear.
  std::vector<std::unique_ptr<T[]>> m_blocks;
};
