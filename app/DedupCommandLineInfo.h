// The switches and the two file names of a run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/CommandLine.h"

enum Options : uint32_t {
  optRemoveBlank = 0x01,
  optTrimLeading = 0x02,
  optTrimTrailing = 0x04,
  optCaseSensitive = 0x20,
};

class CDedupCommandLineInfo : public CCommandLineInfo {
 public:
  // A switch counts by its first character alone (/remove is /r); unknown
  // switches and names after the second are ignored. An empty argument is a
  // name like any other, so that `rowsift in.txt "" out.txt` cannot quietly
  // take out.txt for the target.
  void ParseParam(const char* param, bool isSwitch, bool isLast) override;

  bool HasBothNames() const { return m_nNames >= 2; }

  std::string m_strSource;
  std::string m_strTarget;
  uint32_t m_nOptions = 0;
  uint32_t m_nNames = 0;  // names seen, empty ones included
};
