// Helpers for component tests that read real files line by line.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "TempDir.h"
#include "textfile/TextFile.h"

struct ReadResult {
  std::vector<std::string> lines;
  EolStyle eolStyle;
  Encoding encoding;
};

// Every line a source object gives, read the way the tool reads its source.
inline ReadResult ReadAllLines(const std::string& path, const CCodePage& codePage) {
  CTextFile source(encAutoDetect, codePage);
  ReadResult result{{}, eolCrLf, encAutoDetect};
  if (!source.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
    ADD_FAILURE() << "cannot open " << path;
    return result;
  }
  while (char* line = source.ReadLine()) {
    EXPECT_EQ(std::strlen(line), static_cast<size_t>(source.GetLineLength())) << "NUL inside a line";
    result.lines.emplace_back(line, static_cast<size_t>(source.GetLineLength()));
  }
  EXPECT_EQ(source.ReadLine(), nullptr) << "the end of input must last";
  result.eolStyle = source.m_nEolStyle;
  result.encoding = source.m_nEncoding;
  return result;
}

inline ReadResult ReadFileLines(const TempDir& dir, const std::string& bytes, const CCodePage& codePage) {
  const std::string path = dir.Path("source.txt");
  WriteBytes(path, bytes);
  return ReadAllLines(path, codePage);
}

// The same bytes, arriving through a pipe that cannot seek (a FIFO; on
// Windows a named pipe). Given in pieces, they come with a pause after each,
// so that the reader catches up.
inline ReadResult ReadFifoLines(const TempDir& dir, const std::vector<std::string>& pieces, const CCodePage& codePage) {
  const CPipeFeeder feeder(dir.Root(), pieces);
  if (feeder.Name().empty()) return {};
  return ReadAllLines(feeder.Name(), codePage);
}

inline ReadResult ReadFifoLines(const TempDir& dir, const std::string& bytes, const CCodePage& codePage) {
  return ReadFifoLines(dir, std::vector<std::string>{bytes}, codePage);
}

// Code pages made once per test program, independent of the environment.
inline const CCodePage& Page(const std::string& codeset) {
  static std::map<std::string, std::unique_ptr<CCodePage>> pages;
  auto& page = pages[codeset];
  if (!page) page = std::make_unique<CCodePage>(codeset);
  return *page;
}
