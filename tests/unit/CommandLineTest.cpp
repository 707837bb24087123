// Switches and names on the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DedupCommandLineInfo.h"

TEST(CommandLine, SwitchOrPath) {
  for (const char* arg : {"/r", "/Remove", "-C", "/", "-", "-x.txt", "/b", "-/tmp"})
    EXPECT_TRUE(IsSwitchArgument(arg)) << arg;
  for (const char* arg : {"/tmp/in.txt", "/data.txt", "/r.", "/./x", "in.txt", "r", "", "C:/x"})
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
      {{"/Remove", "-C", "/", "-", "/x", "/e"}, "", "", optRemoveBlank | optCaseSensitive | optTrimTrailing, false},
      {{"in", "/b", "/B", "out", "-r"}, "in", "out", optTrimLeading | optRemoveBlank, true},
      {{"/c", "-c", "/Case"}, "", "", optCaseSensitive, false},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"rowsift"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    CDedupCommandLineInfo info;
    ParseCommandLine(static_cast<int>(argv.size()), argv.data(), info);
    const std::string trace = ::testing::PrintToString(c.args);
    EXPECT_EQ(info.m_strSource, c.source) << trace;
    EXPECT_EQ(info.m_strTarget, c.target) << trace;
    EXPECT_EQ(info.m_nOptions, c.options) << trace;
    EXPECT_EQ(info.HasBothNames(), c.bothNames) << trace;
  }
}
