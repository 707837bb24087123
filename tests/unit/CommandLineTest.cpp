// Switches and names on the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DedupCommandLineInfo.h"

namespace {

CDedupCommandLineInfo Scan(const std::vector<const char*>& args) {
  std::vector<const char*> argv{"rowsift"};
  argv.insert(argv.end(), args.begin(), args.end());
  CDedupCommandLineInfo info;
  ParseCommandLine(static_cast<int>(argv.size()), argv.data(), info);
  return info;
}

}  // namespace

TEST(CommandLine, SwitchOrPath) {
  for (const char* arg : {"/r", "/Remove", "-C", "/", "/?", "-x.txt", "/b", "-/tmp"})
    EXPECT_TRUE(IsSwitchArgument(arg)) << arg;
  for (const char* arg : {"/tmp/in.txt", "/data.txt", "/r.", "/./x", "in.txt", "r", "", "C:/x", "-"})
    EXPECT_FALSE(IsSwitchArgument(arg)) << arg;
}

TEST(CommandLine, ScanIntoNamesAndOptions) {
  struct Case {
    std::vector<const char*> args;
    const char* source;
    const char* target;
    uint32_t options;
    bool bothNames;
  };
  const Case cases[] = {
      {{}, "", "", 0, false},
      {{"a.txt"}, "a.txt", "", 0, false},
      {{"a", "b", "c"}, "a", "b", 0, true},
      {{"a", "", "b"}, "a", "", 0, true},
      {{"", "a"}, "", "a", 0, true},
      {{"/tmp/in.txt", "/data.txt"}, "/tmp/in.txt", "/data.txt", 0, true},
      {{"/Remove", "-C", "/", "-", "/x", "/e"}, "-", "", optRemoveBlank | optCaseSensitive | optTrimTrailing, false},
      {{"in", "/b", "/B", "out", "-r"}, "in", "out", optTrimLeading | optRemoveBlank, true},
      {{"/c", "-c", "/Case"}, "", "", optCaseSensitive, false},
  };
  for (const Case& c : cases) {
    const CDedupCommandLineInfo info = Scan(c.args);
    const std::string trace = ::testing::PrintToString(c.args);
    EXPECT_EQ(info.m_strSource, c.source) << trace;
    EXPECT_EQ(info.m_strTarget, c.target) << trace;
    EXPECT_EQ(info.m_nOptions, c.options) << trace;
    EXPECT_EQ(info.HasBothNames(), c.bothNames) << trace;
  }
}

// Long options beside the switches: both value forms, "--" and what follows
// it, and each kind of mistake, which names the option.
TEST(CommandLine, LongOptions) {
  struct Case {
    std::vector<const char*> args;
    const char* source;
    const char* target;
    std::vector<std::string> excluded;
    const char* duplicates;
    uint64_t memory;
    const char* errorHas;  // empty: no error
  };
  const Case cases[] = {
      {{"in", "out", "--exclude=a", "--exclude", "/b", "/c"}, "in", "out", {"a", "/b"}, "", 0, ""},
      {{"--duplicates", "-d.txt", "in", "--memory=64K", "out"}, "in", "out", {}, "-d.txt", 65536, ""},
      {{"--memory", "3g", "--memory=7"}, "", "", {}, "", 3ull << 30, "'--memory' may be given only once"},
      {{"--version", "in", "--version", "out"}, "in", "out", {}, "", 0, ""},
      {{"in", "out", "all.txt"}, "in", "out", {}, "", 0, "not also 'all.txt'"},
      {{"-exclude=old.txt", "in", "out"}, "in", "out", {}, "", 0, "'--exclude', not '-exclude'"},
      {{"in", "/Temp-Dir=/var/tmp", "out"}, "in", "out", {}, "", 0, "'--temp-dir', not '/Temp-Dir'"},
      {{"--", "-exclude=old.txt", "/memory"}, "-exclude=old.txt", "/memory", {}, "", 0, ""},
      {{"--memory=1M", "--", "/r", "--exclude=x"}, "/r", "--exclude=x", {}, "", 1 << 20, ""},
      {{"in", "out", "--exclud=old.txt"}, "in", "out", {}, "", 0, "'--exclud'"},
      {{"--Memory=1M"}, "", "", {}, "", 0, "'--Memory'"},
      {{"--memory=1.5G"}, "", "", {}, "", 0, "'1.5G'"},
      {{"--memory=0"}, "", "", {}, "", 0, "'0'"},
      {{"--memory=16E"}, "", "", {}, "", 0, "'16E'"},
      {{"--memory=99999999999G"}, "", "", {}, "", 0, "'99999999999G'"},
      {{"--version=2"}, "", "", {}, "", 0, "'--version' takes no value"},
      {{"in", "out", "--temp-dir"}, "in", "out", {}, "", 0, "'--temp-dir' needs a value"},
      {{"--duplicates=", "in", "out"}, "in", "out", {}, "", 0, "'--duplicates' needs a value"},
  };
  for (const Case& c : cases) {
    const CDedupCommandLineInfo info = Scan(c.args);
    const std::string trace = ::testing::PrintToString(c.args);
    EXPECT_EQ(info.m_strSource, c.source) << trace;
    EXPECT_EQ(info.m_strTarget, c.target) << trace;
    EXPECT_EQ(info.m_exclusionLists, c.excluded) << trace;
    EXPECT_EQ(info.m_strDuplicates, c.duplicates) << trace;
    EXPECT_EQ(info.m_nMemory, c.memory) << trace;
    const std::string error = info.UsageError();
    EXPECT_EQ(error.empty(), c.errorHas[0] == '\0') << trace << ": " << error;
    EXPECT_NE(error.find(c.errorHas), std::string::npos) << trace << ": " << error;
  }
}
