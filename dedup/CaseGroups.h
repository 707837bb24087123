// The characters of a code page that fold together, and the one each group
// folds to. Lower-casing alone leaves pairs apart that Unicode's case
// folding joins (final sigma and sigma, the micro sign and mu): two
// characters join when one is the other's lower case, or when the simple
// case folding of both gives the same character.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

class CCaseGroups {
 public:
  // A character of the code page, with the length of its bytes there (0 when
  // the code page reads the character but cannot write it).
  void Add(int32_t c, int length);
  // Joins the characters added so far into groups; call once, after the last Add.
  void Join();
  // The character c folds to: the member of its group with bytes of the given
  // length that is its own lower case and folded form (the small letter),
  // else the lowest such member; c itself when its group has none.
  int32_t FoldedForm(int32_t c, int length) const;

 private:
  uint32_t Root(uint32_t i);
  void Unite(uint32_t a, uint32_t b);

  struct Member {
    int32_t c;
    int length;
    uint32_t parent;  // the union-find forest: a root is its own parent
  };
  std::vector<Member> m_members;
  std::unordered_map<int32_t, uint32_t> m_index;  // code point to member
  std::vector<bool> m_small;                      // per member: its own lower case and folded form
  // Per root and length (root << 1 | (length - 1)): the member the group folds to.
  std::unordered_map<uint64_t, uint32_t> m_folded;
};
