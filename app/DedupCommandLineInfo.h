// The switches, the two file names and the extension options of a run.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/LongOptions.h"
#include "dedup/LineSelection.h"
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
  static constexpr uint64_t kMaxThreads = 256;

  // Long options ("--name=value", "--name value"), the value of one, a bare
  // "--" and every argument after it (a name, even "/r"). A long option
  // written with one dash or a slash is a mistake, not a switch.
  bool ParseWholeArgument(const char* arg) override;
  // A switch counts by its first character alone (/remove is /r; /? is
  // --help); unknown switches are ignored. A third name is a mistake. An empty
  // argument is a name like any other, so that `rowsift in.txt "" out.txt` is
  // three names rather than in.txt into out.txt.
  void ParseParam(const char* param, bool isSwitch, bool isLast) override;

  bool HasBothNames() const { return m_nNames >= 2; }
  // The first mistake on the command line (an unknown long option, one given
  // twice or with one dash, a missing or unwanted value, a bad size, a third
  // name), for standard error; empty when there is none.
  std::string UsageError() const;

  std::string m_strSource;
  std::string m_strTarget;
  uint32_t m_nOptions = 0;
  uint32_t m_nNames = 0;  // names seen, empty ones included

  std::vector<std::string> m_exclusionLists;
  std::string m_strDuplicates;  // empty: duplicates go nowhere
  std::string m_strTempDir;     // empty: the system's
  uint64_t m_nMemory = 0;       // bytes for the index; 0: what the machine can give
  uint32_t m_nThreads = 0;      // 0: as many as the processors the run may use
  bool m_bExact = false;        // a fingerprint's match confirmed by the texts
  LineSelection m_nSelection = selectFirst;
  bool m_bStats = false;  // the run's figures on standard error at its end
  bool m_bHelp = false;
  bool m_bVersion = false;

  // The encoding of the source and the exclusion lists; found when not given.
  Encoding m_nEncoding = encAutoDetect;

 private:
  void TakeLongOption(const LongOption& option, const std::string& value);
  // "-exclude=list.txt" would otherwise be the switch /e, and "/memory=1M"
  // an unknown switch, ignored: neither does what was asked. True when arg
  // is such an option.
  bool RefuseLongOptionAsSwitch(const char* arg);
  // Keeps the first mistake only.
  void Fail(const std::string& message);

  const LongOption* m_awaitingValue = nullptr;  // given as "--name", its value next
  bool m_bOptionsEnded = false;
  std::set<LongOptionId> m_givenOptions;
  std::string m_strError;
};
