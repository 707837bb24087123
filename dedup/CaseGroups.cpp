#include "dedup/CaseGroups.h"

#include "platform/CharacterCase.h"

void CCaseGroups::Add(int32_t c, int length) {
  const auto i = static_cast<uint32_t>(m_members.size());
  if (m_index.emplace(c, i).second) m_members.push_back({c, length, i});
}

uint32_t CCaseGroups::Root(uint32_t i) {
  while (m_members[i].parent != i) {
    m_members[i].parent = m_members[m_members[i].parent].parent;  // halves the path
    i = m_members[i].parent;
  }
  return i;
}

void CCaseGroups::Unite(uint32_t a, uint32_t b) { m_members[Root(a)].parent = Root(b); }

void CCaseGroups::Join() {
  std::unordered_map<int32_t, uint32_t> byFolding;
  m_small.assign(m_members.size(), false);
  for (uint32_t i = 0; i < m_members.size(); ++i) {
    const int32_t c = m_members[i].c;
    const int32_t lower = ToLowerCase(c);
    const int32_t folded = FoldCaseSimply(c);
    m_small[i] = lower == c && folded == c;
    for (const int32_t other : {lower, folded}) {
      if (const auto found = m_index.find(other); found != m_index.end()) Unite(i, found->second);
    }
    if (const auto [first, fresh] = byFolding.emplace(folded, i); !fresh) Unite(i, first->second);
  }
  // A small letter before any other member, then the lowest code point, so
  // that the choice does not depend on the order of the code page.
  for (uint32_t i = 0; i < m_members.size(); ++i) {
    const int length = m_members[i].length;
    if (length < 1 || length > 2) continue;  // a character the code page only reads cannot be written
    const auto [best, fresh] = m_folded.emplace(uint64_t{Root(i)} << 1 | static_cast<uint64_t>(length - 1), i);
    const uint32_t held = best->second;
    if (!fresh && (m_small[i] != m_small[held] ? m_small[i] : m_members[i].c < m_members[held].c)) best->second = i;
  }
}

int32_t CCaseGroups::FoldedForm(int32_t c, int length) const {
  const auto found = m_index.find(c);
  if (found == m_index.end() || length < 1 || length > 2) return c;
  uint32_t root = found->second;
  while (m_members[root].parent != root) root = m_members[root].parent;
  const auto folded = m_folded.find(uint64_t{root} << 1 | static_cast<uint64_t>(length - 1));
  return folded == m_folded.end() ? c : m_members[folded->second].c;
}
