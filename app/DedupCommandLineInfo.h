// The switches, the two file names and the extension options of a run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/LongOptions.h"
#include "platform/CommandLine.h"
#include "textfile/EncodingDetection.h"

enum Options : uint32_t {
  optRemoveBlank = 0x01,
  optTrimLeading = 0x02,
  optTrimTrailing = 0x04,
  optCaseSensitive = 0x20,
};

class CDedupCommandLineInfo : public CCommandLineInfo {
 public:
  // Long options ("--name=value", "--name value"), the value of one, a bare
  // "--" and every argument after it (a name, even "/r").
  bool ParseWholeArgument(const char* arg) override;
  // A switch counts by its first character alone (/remove is /r); unknown
  // switches and names after the second are ignored. An empty argument is a
  // name like any other, so that `rowsift in.txt "" out.txt` cannot quietly
  // take out.txt for the target.
  void ParseParam(const char* param, bool isSwitch, bool isLast) override;

  bool HasBothNames() const { return m_nNames >= 2; }
  // The first mistake among the long options (an unknown one, a missing or
  // unwanted value, a bad size), for standard error; empty when there is none.
  std::string UsageError() const;

  std::string m_strSource;
  std::string m_strTarget;
  uint32_t m_nOptions = 0;
  uint32_t m_nNames = 0;  // names seen, empty ones included

  std::vector<std::string> m_exclusionLists;
  std::string m_strDuplicates;  // empty: duplicates go nowhere
  std::string m_strTempDir;     // empty: the system's
  uint64_t m_nMemory = 0;       // bytes for the index; 0: what the machine can give
  bool m_bHelp = false;
  bool m_bVersion = false;

  // The encoding of the source and the exclusion lists; found when not given.
  Encoding m_nEncoding = encAutoDetect;

 private:
  void TakeLongOption(const LongOption& option, const std::string& value);

  const LongOption* m_awaitingValue = nullptr;  // given as "--name", its value next
  bool m_bOptionsEnded = false;
  std::string m_strError;
};
