// The built tool, run as a user runs it: without a controlling terminal, in a
// fresh folder, with its output, errors, exit status and target checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"

extern char** environ;
using namespace std::string_literals;

namespace {

const char kUsage[] =
    "Culltext rowsift, made by the Culltext team\n"
    "Culltext v1.0: remove duplicate lines in text file.\n"
    "Usage: rowsift.exe source_file target_file [options]\n"
    "Available options:\n"
    "\t/r  - Remove blank lines\n"
    "\t/b  - strip blanks from line Beginning\n"
    "\t/e  - strip blanks from line Ending\n"
    "\t/c  - Case sensitive\n";

struct RunResult {
  std::string out, err;
  int status;
};

class Rowsift : public ::testing::Test {
 protected:
  TempDir dir;

  std::string Path(const std::string& name) const { return dir.Path(name); }

  // Runs `setsid -w rowsift args...` in the folder. The locale variables are
  // cleared, then env ("NAME=value") added; input, if any, arrives on a pipe.
  RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string* input = nullptr) const {
    std::vector<std::string> argStrings{"setsid", "-w", ROWSIFT_BINARY};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
      const std::string var = *e;
      if (var.rfind("LC_", 0) != 0 && var.rfind("LANG=", 0) != 0) envStrings.push_back(var);
    }
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (auto& s : argStrings) argv.push_back(s.data());
    for (auto& s : envStrings) envp.push_back(s.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const char* setsid = ::access("/usr/bin/setsid", X_OK) == 0 ? "/usr/bin/setsid" : "/bin/setsid";

    int in[2], out[2], err[2];
    if (::pipe(in) || ::pipe(out) || ::pipe(err)) return {"", "pipe failed", -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
      if (::chdir(dir.Root().c_str()) == 0) ::execve(setsid, argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (input) {
      for (size_t done = 0; done < input->size();) {
        const ssize_t n = ::write(in[1], input->data() + done, input->size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
    }
    ::close(in[1]);
    RunResult result{"", "", -1};
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int open = 2; open > 0;) {
      if (::poll(fds, 2, -1) < 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !fds[i].revents) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<size_t>(n));
        } else {
          ::close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Root())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// One line on standard error, with a reason in it.
void ExpectOneErrorLine(const std::string& err) {
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.back(), '\n') << err;
}

}  // namespace

TEST_F(Rowsift, UsageWhenANameIsMissing) {
  WriteBytes(Path("a.txt"), "x\nx\n");
  const std::vector<std::vector<std::string>> cases = {{}, {"a.txt"}, {"/r", "/c"}, {"-b", "a.txt", "/e"}};
  for (const auto& args : cases) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.out, kUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(ReadBytes(Path("a.txt")), "x\nx\n");
  }
}

TEST_F(Rowsift, NamesEqualIgnoringCaseAreRefused) {
  WriteBytes(Path("a.txt"), "x\nx\n");
  const RunResult r = Run({"a.txt", "A.TXT"});
  EXPECT_EQ(r.out, "Source file is identical to target file! \na.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadBytes(Path("a.txt")), "x\nx\n");
}

TEST_F(Rowsift, TargetThatIsTheSourceUnderAnotherNameIsNeverCut) {
  WriteBytes(Path("a.txt"), "x\nx\n");
  std::filesystem::create_hard_link(Path("a.txt"), Path("hard.txt"));
  std::filesystem::create_symlink("a.txt", Path("soft.txt"));
  const std::pair<std::string, std::string> cases[] = {
      {"a.txt", "./a.txt"}, {"a.txt", "hard.txt"}, {"a.txt", "soft.txt"}, {"soft.txt", "a.txt"}, {"a.txt", Path("a.txt")},
  };
  for (const auto& [source, target] : cases) {
    SCOPED_TRACE(source + " -> " + target);
    const RunResult r = Run({source, target});
    EXPECT_EQ(r.out, "Failed to open target file " + target);
    ExpectOneErrorLine(r.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes(Path("a.txt")), "x\nx\n");
  }
}

TEST_F(Rowsift, FilesThatCannotBeOpened) {
  WriteBytes(Path("a.txt"), "x\n");
  std::filesystem::create_directory(Path("sub"));
  const std::vector<std::string> cases[] = {
      {"missing.txt", "out.txt", "Failed to open source file missing.txt"},
      {"sub", "out.txt", "Failed to open source file sub"},
      {"a.txt", "sub", "Failed to open target file sub"},
      {"a.txt", "nodir/out.txt", "Failed to open target file nodir/out.txt"},
  };
  for (const auto& c : cases) {
    const RunResult r = Run({c[0], c[1]});
    EXPECT_EQ(r.out, c[2]);
    ExpectOneErrorLine(r.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt"))) << c[2];
  }
}

TEST_F(Rowsift, FullDiskStopsTheRunWithAnError) {
  WriteBytes(Path("a.txt"), "one\ntwo\n");
  const RunResult r = Run({"a.txt", "/dev/full"});
  EXPECT_EQ(r.out, "");
  ExpectOneErrorLine(r.err);
  EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(r.status, 1);
}

TEST_F(Rowsift, DeduplicatesAsTheSwitchesSay) {
  struct Case {
    std::string source;
    std::vector<std::string> switches;
    std::string target;
  };
  const std::string blanks = "a\n\n  \n\t\nb\n\n";
  const Case cases[] = {
      {"Abc\nabc\nABC\n", {}, "Abc\n"},
      {"Abc\nabc\nABC\n", {"/c"}, "Abc\nabc\nABC\n"},
      {"Abc\nabc\nABC\n", {"-C"}, "Abc\nabc\nABC\n"},
      {blanks, {}, "a\n\n  \n\t\nb\n"},
      {blanks, {"/r"}, "a\n  \n\t\nb\n"},
      {blanks, {"/Remove"}, "a\n  \n\t\nb\n"},
      {blanks, {"/b", "/e", "/r"}, "a\nb\n"},
      {blanks, {"/b"}, "a\n\nb\n"},
      {"  x\nx\n", {"/b"}, "x\n"},
      {"x \t\nx\n", {"/e"}, "x\n"},
      {"  x  \nx\n", {"/x", "-", "/"}, "  x  \nx\n"},
      {"a\r\nb", {}, "a\r\nb\r\n"},
      {"a\nb\r\n", {}, "a\nb\n"},
      {"a\n\rb\n\ra\n\r", {}, "a\n\rb\n\r"},
      {"a\rb\ra", {}, "a\rb\r"},
      {"x\0y\n"s, {}, "x\xB7y\n"},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.source) + " " + ::testing::PrintToString(c.switches));
    WriteBytes(Path("in.txt"), c.source);
    WriteBytes(Path("out.txt"), "stale content\n");
    std::vector<std::string> args{"in.txt", "out.txt"};
    args.insert(args.end(), c.switches.begin(), c.switches.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target);
  }
}

// Many lines, with duplicates close together and far apart, and lines of
// several kilobytes among them: first occurrences in source order.
TEST_F(Rowsift, LargeSourceKeepsFirstOccurrencesInOrder) {
  std::string source, expected;
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) {
    std::string line = (i % 3 ? "Line " : "LINE ") + std::to_string((i * 7919) % 5003);
    if (i % 97 == 0) line = std::string(5000 + i % 3, 'x') + std::to_string(i % 5);
    source += line + "\n";
    std::string folded = line;
    for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (seen.insert(folded).second) expected += line + "\n";
  }
  WriteBytes(Path("in.txt"), source);
  const RunResult r = Run({"in.txt", "out.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(ReadBytes(Path("out.txt")) == expected) << "target differs from the expected first occurrences";
}

TEST_F(Rowsift, PipeSourceAndStandardOutputTarget) {
  WriteBytes(Path("in.txt"), "b\nB\na\nb\n");
  RunResult r = Run({"in.txt", "/dev/stdout"});
  EXPECT_EQ(r.out, "b\na\n");
  EXPECT_EQ(r.status, 0);

  const std::string input = "b\nB\na\nb\n";
  r = Run({"/dev/stdin", "out.txt"}, {}, &input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(Path("out.txt")), "b\na\n");

  r = Run({"/dev/stdin", "/dev/stdout", "/c"}, {}, &input);
  EXPECT_EQ(r.out, "b\nB\na\n");
  EXPECT_EQ(r.status, 0);

  const std::string utf16 = "\xFE\xFF\0x\0\n\0X\0\n\0x\0\n"s;
  r = Run({"/dev/stdin", "/dev/stdout"}, {}, &utf16);
  EXPECT_EQ(r.out, "x\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Rowsift, CaseFoldingFollowsTheLocaleCodePage) {
  struct Case {
    std::vector<std::string> env;
    std::string source, target;
  };
  const Case cases[] = {
      {{"LC_ALL=en_US.CP1252"}, "\xC9\n\xE9\n", "\xC9\n"},
      {{"LANG=en_US.CP1252"}, "\xC9\n\xE9\n", "\xC9\n"},
      {{"LC_ALL=C", "LANG=en_US.CP1252"}, "\xC9\n\xE9\n", "\xC9\n\xE9\n"},
      {{"LANG=C.UTF-8"}, "\xC9\n\xE9\n", "\xC9\n\xE9\n"},
      {{"LANG=C.UTF-8"}, "\xC3\x89" "cole\n\xC3\xA9" "COLE\n", "\xC3\x89" "cole\n"},
      {{"LC_ALL=ru_RU.CP1251"}, "\xCF\xD0\xC8\n\xEF\xF0\xE8\n", "\xCF\xD0\xC8\n"},
      {{"LC_ALL=ja_JP.CP932"}, "\x82\x60\n\x82\x81\n", "\x82\x60\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.env) + " " + ::testing::PrintToString(c.source));
    WriteBytes(Path("in.txt"), c.source);
    const RunResult r = Run({"in.txt", "out.txt"}, c.env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target);
  }
}

TEST_F(Rowsift, Utf16SourceBecomesEightBitTarget) {
  struct Case {
    std::string env;
    std::string source, target;
  };
  const std::string le = "\xFF\xFE\xE9\0\r\0\n\0\xC9\0\r\0\n\0x\0\r\0\n\0"s;
  const Case cases[] = {
      {"LANG=C.UTF-8", le, "\xC3\xA9\r\nx\r\n"},
      {"LC_ALL=en_US.CP1252", le, "\xE9\r\nx\r\n"},
      {"LANG=C.UTF-8", "\0x\0\n\0X\0\n\0y\0\n"s, "x\ny\n"},
  };
  for (const Case& c : cases) {
    WriteBytes(Path("in.txt"), c.source);
    const RunResult r = Run({"in.txt", "out.txt"}, {c.env});
    EXPECT_EQ(r.status, 0) << c.env;
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target) << c.env;
  }
}

TEST_F(Rowsift, AbsolutePathsAreNames) {
  WriteBytes(Path("in.txt"), "one\nONE\ntwo\n");
  const RunResult r = Run({Path("in.txt"), "/r", Path("out.txt"), Path("third.txt")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadBytes(Path("out.txt")), "one\ntwo\n");
  EXPECT_FALSE(std::filesystem::exists(Path("third.txt")));
}
