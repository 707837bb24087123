// Folds a string with a case folder, checking that it stays within the room
// the folder asks for.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dedup/CaseFolder.h"

inline std::string Fold(const CCaseFolder& folder, const std::string& text) {
  const size_t room = folder.FoldRoom(text.size());
  std::string out(room + 1, '#');
  out.resize(folder.Fold(text.data(), text.size(), out.data()));
  EXPECT_LE(out.size(), room);
  return out;
}
