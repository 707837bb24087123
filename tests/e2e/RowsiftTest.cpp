// The built tool, run as a user runs it: without a controlling terminal, in a
// fresh folder, with its output, errors, exit status and target checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "TempDir.h"
#include "platform/File.h"
#include "platform/LineEnd.h"
#include "platform/SystemResources.h"

using namespace std::string_literals;
using Args = std::vector<std::string>;

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

using RunResult = ProcessResult;

// A source of a table of runs: what it is, its bytes, the switches it runs
// with, and whether it comes through a pipe.
struct SourceCase {
  const char* shape;
  std::string source;
  Args switches;
  bool pipe;
};

class Rowsift : public ::testing::Test {
 protected:
  TempDir dir, captures;

  std::string Path(const std::string& name) const { return dir.Path(name); }

  // rowsift args... in the folder, without a terminal, with env as its
  // environment (see RunProgram) and input arriving on a pipe.
  RunResult Run(const Args& args, const Args& env = {}, const std::string& input = "") const {
    return RunProgram(BuiltProgram(ROWSIFT_BINARY), args, env, input, dir.Root(), captures.Root());
  }
  // The same with the build whose fingerprints keep two bits of hash beside
  // the length: different lines of one length share them.
  RunResult RunNarrow(const Args& args, const std::string& input = "") const {
    return RunProgram(BuiltProgram(ROWSIFT_NARROW_BINARY), args, {}, input, dir.Root(), captures.Root());
  }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Root()))
      names.insert(entry.path().filename().string());
    return names;
  }
};

// The figures of the line --stats writes on standard error, by name.
std::map<std::string, uint64_t> StatsOf(const std::string& err) {
  std::map<std::string, uint64_t> figures;
  const size_t at = err.find("rowsift: stats: ");
  if (at == std::string::npos) return figures;
  std::istringstream words(err.substr(at + 16, err.find('\n', at) - at - 16));
  for (std::string word; words >> word;) {
    const size_t equals = word.find('=');
    figures[word.substr(0, equals)] = std::stoull(word.substr(equals + 1));
  }
  return figures;
}

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

}  // namespace

// Runs that write nothing: the usage, help and version texts, and names,
// files or options that are refused. A refused file is named on standard
// error with the system's reason.
TEST_F(Rowsift, RefusedRunsTouchNoFile) {
  WriteBytes(Path("a.txt"), "x\nx\n");
  WriteBytes(Path("b.txt"), "y\n");
  std::filesystem::create_hard_link(Path("a.txt"), Path("hard.txt"));
  std::filesystem::create_directory(Path("sub"));
  const std::set<std::string> entries = Entries();
  struct Case {
    Args args;
    std::string out;
    int status;
    std::string errHas;  // empty: nothing on standard error; else one line holding it
  };
  const std::string usage = ConsoleLines(kUsage);
  const std::string identical = ConsoleLines("Source file is identical to target file! \n");
  std::vector<Case> cases = {
      {{}, usage, 2, ""},
      {{"a.txt"}, usage, 2, ""},
      {{"/r", "/c"}, usage, 2, ""},
      {{"-b", "a.txt", "/e"}, usage, 2, ""},
      {{"a.txt", "a.txt"}, identical + "a.txt", 1, ""},
      {{"a.txt", "./a.txt"}, "Failed to open target file ./a.txt", 1, "rowsift: ./a.txt: is the source file"},
      {{"a.txt", "hard.txt"}, "Failed to open target file hard.txt", 1, "rowsift: hard.txt: is the source file"},
      {{"a.txt", Path("a.txt")}, "Failed to open target file " + Path("a.txt"), 1, "rowsift: " + Path("a.txt")},
      {{"missing.txt", "out.txt"}, "Failed to open source file missing.txt", 1, "rowsift: missing.txt: "},
      {{"a.txt", "", "out.txt"}, "", 2, "rowsift: one source and one target only, not also 'out.txt'"},
      {{"", "a.txt"}, "Failed to open source file ", 1, "rowsift: '': "},
      {{"sub", "out.txt"}, "Failed to open source file sub", 1, "rowsift: sub: "},
      {{"a.txt", "sub"}, "Failed to open target file sub", 1, "rowsift: sub: "},
      {{"a.txt", "no/out.txt"}, "Failed to open target file no/out.txt", 1, "rowsift: no/out.txt: "},
      {{"a.txt", "b.txt", "--exclude=missing.txt"},
       "Failed to open exclusion list missing.txt",
       1,
       "rowsift: missing.txt: "},
      {{"a.txt", "b.txt", "--exclude=b.txt"}, "Failed to open target file b.txt", 1, "rowsift: b.txt: "},
      {{"a.txt", "b.txt", "--duplicates=hard.txt"},
       "Failed to open duplicates file hard.txt",
       1,
       "rowsift: hard.txt: "},
      {{"a.txt", "b.txt", "--duplicates=./b.txt"}, "Failed to open duplicates file ./b.txt", 1, "rowsift: ./b.txt: "},
      {{"a.txt", "b.txt", "--temp-dir=missing"}, "Failed to open temporary folder missing", 1, "rowsift: missing: "},
      {{"a.txt", "b.txt", "--exclud=x.txt"}, "", 2, "rowsift: unknown option '--exclud'"},
      {{"a.txt", "b.txt", "--unique", "--repeated"}, "", 2, "rowsift: options '--unique' and '--repeated' exclude"},
      {{"a.txt", "b.txt", "--encoding=latin1"}, "", 2, "rowsift: option '--encoding' takes ansi, utf-8,"},
      {{"--version", "a.txt", "b.txt"}, ConsoleLines("rowsift " ROWSIFT_VERSION "\n"), 0, ""},
  };
  if (kFileNamesIgnoreCase) {
    // Names equal but for A-Z case are one name; another letter case in a
    // path still reaches the source, which the target open must not cut.
    cases.push_back({{"a.txt", "A.TXT"}, identical + "a.txt", 1, ""});
    cases.push_back({{"a.txt", "./A.TXT"}, "Failed to open target file ./A.TXT", 1, "rowsift: ./A.TXT: is the source"});
    cases.push_back({{"HARD.TXT", "a.txt"}, "Failed to open target file a.txt", 1, "rowsift: a.txt: is the source"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.status, c.status);
    if (c.errHas.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.errHas), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Entries(), entries);
    EXPECT_EQ(ReadBytes(Path("a.txt")), "x\nx\n");
    EXPECT_EQ(ReadBytes(Path("b.txt")), "y\n");
  }
  const RunResult help = Run({"a.txt", "b.txt", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind(ConsoleLines(kUsage), 0), 0u) << help.out;
  EXPECT_NE(help.out.find("\t--memory=SIZE"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("\t--stats"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("the longest line is held whole on top"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find(kDefaultTempDirSource), std::string::npos) << help.out;
  EXPECT_EQ(Run({"a.txt", "/?", "b.txt"}).out, help.out);
  EXPECT_EQ(ReadBytes(Path("b.txt")), "y\n");
}

// A symbolic link to the source is the source (Windows lets only some
// accounts make links); the system's reason for a missing file or a folder.
TEST_F(Rowsift, SymbolicLinksAndReasonsPosix) {
  WriteBytes(Path("a.txt"), "x\nx\n");
  WriteBytes(Path("b.txt"), "y\n");
  std::filesystem::create_hard_link(Path("a.txt"), Path("hard.txt"));
  std::filesystem::create_symlink("a.txt", Path("soft.txt"));
  std::filesystem::create_directory(Path("sub"));
  const std::pair<Args, std::string> cases[] = {
      {{"a.txt", "soft.txt"}, "rowsift: soft.txt: is the source file\n"},
      {{"soft.txt", "a.txt"}, "rowsift: a.txt: is the source file\n"},
      {{"missing.txt", "out.txt"}, "rowsift: missing.txt: No such file or directory\n"},
      {{"a.txt", ""}, "rowsift: '': No such file or directory\n"},
      {{"sub", "out.txt"}, "rowsift: sub: Is a directory\n"},
      {{"a.txt", "b.txt", "--exclude=b.txt"}, "rowsift: b.txt: is an exclusion list\n"},
      {{"a.txt", "b.txt", "--duplicates=hard.txt"}, "rowsift: hard.txt: is the source file\n"},
      {{"a.txt", "b.txt", "--duplicates=./b.txt"}, "rowsift: ./b.txt: is the target file\n"},
      {{"a.txt", "b.txt", "--temp-dir=missing"}, "rowsift: missing: No such file or directory\n"},
  };
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = Run(args);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes(Path("a.txt")), "x\nx\n");
  }
}

// Standard output that is an input, whatever the output's name (`rowsift
// s.txt CON >> s.txt`): refused before anything is written, and the refusal
// goes to standard error.
TEST_F(Rowsift, StandardOutputThatIsAnInput) {
  const std::string output = (captures.Root() / "out").string();
  WriteBytes(Path("t.txt"), "z\n");
  for (const auto& [in, out] : StandardStreamNames()) {
    const std::pair<Args, std::string> cases[] = {
        {{output, out}, "target file " + out + "\nrowsift: " + out + ": is the source file\n"},
        {{output, "t.txt", "--duplicates=" + out},
         "duplicates file " + out + "\nrowsift: " + out + ": is the source file\n"},
        {{"t.txt", out, "--exclude=" + output},
         "target file " + out + "\nrowsift: " + out + ": is an exclusion list\n"},
    };
    for (const auto& [args, err] : cases) {
      SCOPED_TRACE(::testing::PrintToString(args));
      const RunResult r = Run(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out + r.err, ConsoleLines("Failed to open " + err));
      EXPECT_EQ(ReadBytes(Path("t.txt")), "z\n");
    }
  }
}

TEST_F(Rowsift, DeduplicatesAsTheSwitchesSay) {
  struct Case {
    std::string source;
    Args switches;
    std::string target;
  };
  const std::string blanks = "a\n\n  \n\t\nb\n\n";
  const std::string a65535(65535, 'a');
  const Case cases[] = {
      {"Abc\nabc\nABC\n", {}, "Abc\n"},
      {"Abc\nabc\nABC\n", {"/c"}, "Abc\nabc\nABC\n"},
      {"Abc\nabc\nABC\n", {"-C"}, "Abc\nabc\nABC\n"},
      // One length, one linear 32-bit key and one CRC-32: different all the same.
      {"DH@DADKE@HAACBNG\nCKK@HFBNHGBLAMCL\n", {"/c"}, "DH@DADKE@HAACBNG\nCKK@HFBNHGBLAMCL\n"},
      {blanks, {}, "a\n\n  \n\t\nb\n"},
      {blanks, {"/r"}, "a\n  \n\t\nb\n"},
      {blanks, {"/Remove"}, "a\n  \n\t\nb\n"},
      {blanks, {"/b", "/e", "/r"}, "a\nb\n"},
      {blanks, {"/b"}, "a\n\nb\n"},
      {"  x\nx\n", {"/b"}, "x\n"},
      {"x \t\nx\n", {"/e"}, "x\n"},
      {"  x  \nx\n", {"/x", "/"}, "  x  \nx\n"},
      {"a\r\nb", {}, "a\r\nb\r\n"},
      {"a", {}, kSystemLineEndIsCrLf ? "a\r\n" : "a\n"},
      {"a\nb\r\n", {}, "a\nb\n"},
      {"a\n\rb\n\ra\n\r", {}, "a\n\rb\n\r"},
      {"a\rb\ra", {}, "a\rb\r"},
      {"x\0y\n"s, {}, "x\xB7y\n"},
      {"", {}, ""},
      {"\xFF\xFE\n\0"s, {}, "\n"},
      // The pair that decides the style across the end of the first block.
      {a65535 + "\r\nb", {}, a65535 + "\r\nb\r\n"},
      {"x\0y\0z\0\n\0"s, {"--encoding=ansi"}, "x\xB7y\xB7z\xB7\n\xB7\n"},
      {"\xFF\xFEx\0\n\0X\0\n\0"s, {"--encoding=UTF-16LE"}, "x\n"},
      {"\xEF\xBB\xBFx\nX\n", {"--encoding=utf-8"}, "x\n"},
      // Exclusion lists are read in the same encoding.
      {"\xFF\xFEx\0\n\0y\0\n\0"s, {"--encoding=utf-16le", "--exclude=list.txt"}, "y\n"},
  };
  WriteBytes(Path("list.txt"), "X\0\n\0"s);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.source) + " " + ::testing::PrintToString(c.switches));
    WriteBytes(Path("in.txt"), c.source);
    WriteBytes(Path("out.txt"), "stale content\n");
    Args args{"in.txt", "out.txt"};
    args.insert(args.end(), c.switches.begin(), c.switches.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target);
  }
}

// Duplicates close together and far apart, blanks around lines, and lines of
// several and of over 64 kilobytes among them: the first occurrences of the
// trimmed lines, in source order, with and without the trimming switches.
TEST_F(Rowsift, LargeSourceKeepsFirstOccurrencesInOrder) {
  // In UTF-8 also words that fold beyond A-Z, whose fingerprints either
  // thread may take: "строка", "Строка", "СТРОКА".
  Args env;
  const bool utf8 = CodePageEnvironment("UTF-8", &env);
  const std::string words[] = {"\xD1\x81\xD1\x82\xD1\x80\xD0\xBE\xD0\xBA\xD0\xB0 ",
                               "\xD0\xA1\xD1\x82\xD1\x80\xD0\xBE\xD0\xBA\xD0\xB0 ",
                               "\xD0\xA1\xD0\xA2\xD0\xA0\xD0\x9E\xD0\x9A\xD0\x90 "};
  std::string source, expected[2];
  std::set<std::string> seen[2];
  // The first occurrences, and how often each occurs, for --unique and --repeated.
  std::vector<std::pair<std::string, std::string>> firsts[2];
  std::map<std::string, int> occurrences[2];
  for (int i = 0; i < 20000; ++i) {
    std::string line = (i % 3 ? "Line " : "LINE ") + std::to_string((i * 7919) % 5003);
    if (utf8 && i % 4 == 1) line = words[i % 3] + std::to_string((i * 7919) % 5003);
    if (i % 97 == 0) line = std::string(5000 + i % 3, 'x') + std::to_string(i % 5);
    if (i % 1500 == 0) line = std::string(70000, 'y') + std::to_string(i % 4);
    if (i % 11 == 0) line = i % 2 ? "" : " \t";
    if (i % 5 == 0) line = "  " + line + "\t";
    source += line + "\n";
    for (int trim = 0; trim < 2; ++trim) {
      std::string kept = line;
      if (trim) {
        kept.erase(0, kept.find_first_not_of(" \t"));
        kept.erase(kept.find_last_not_of(" \t") + 1);
        if (kept.empty()) continue;
      }
      std::string folded = kept;
      for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      for (const std::string& word : words) {
        if (const size_t at = folded.find(word); at != std::string::npos) folded.replace(at, word.size(), words[0]);
      }
      if (seen[trim].insert(folded).second) {
        expected[trim] += kept + "\n";
        firsts[trim].emplace_back(kept, folded);
      }
      ++occurrences[trim][folded];
    }
  }
  std::string unique[2], repeated[2];
  for (int trim = 0; trim < 2; ++trim) {
    for (const auto& [kept, folded] : firsts[trim])
      (occurrences[trim][folded] == 1 ? unique : repeated)[trim] += kept + "\n";
  }
  // Over 2 MiB: chunks read by several threads, long lines across their ends.
  WriteBytes(Path("in.txt"), source);
  for (const char* threads : {"--threads=1", "--threads=2", "--threads=3", "--threads=8"}) {
    SCOPED_TRACE(threads);
    EXPECT_EQ(Run({"in.txt", "out.txt", threads}, env).status, 0);
    EXPECT_TRUE(ReadBytes(Path("out.txt")) == expected[0]) << "not the first occurrences in source order";
    EXPECT_EQ(Run({"in.txt", "out.txt", "/b", "/e", "/r", threads}, env).status, 0);
    EXPECT_TRUE(ReadBytes(Path("out.txt")) == expected[1]) << "not the first trimmed occurrences in source order";
    EXPECT_EQ(Run({"in.txt", "out.txt", "--unique", threads}, env).status, 0);
    EXPECT_TRUE(ReadBytes(Path("out.txt")) == unique[0]) << "not the lines that occur once";
    EXPECT_EQ(Run({"in.txt", "out.txt", "/b", "/e", "/r", "--repeated", threads}, env).status, 0);
    EXPECT_TRUE(ReadBytes(Path("out.txt")) == repeated[1]) << "not the first of the lines that occur more than once";
  }
}

// UTF-16 of 3.6 MB, read in chunks by several threads, each converting
// from its own start: the same target, and the same count of characters the
// code page lacks, for every number of threads.
TEST_F(Rowsift, Utf16ReadInChunks) {
  Args env;
  if (!CodePageEnvironment("CP1252", &env)) GTEST_SKIP();
  std::string source = "\xFF\xFE", expected;
  std::set<std::string> seen;
  for (int i = 0; i < 150000; ++i) {
    const std::string line = "Row " + std::to_string(i * 7919 % 50021) + (i % 4 ? "" : "x");
    for (char c : line) source += {c, '\0'};
    if (i % 1000 == 0) source += "\x2D\x4E"s;  // U+4E2D, which CP1252 lacks
    source += i % 3 ? "\r\0\n\0"s : "\n\0"s;
    const std::string written = line + (i % 1000 == 0 ? "?" : "");
    std::string folded = written;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (seen.insert(folded).second) {
      expected += written + "\n";  // the style of the first line end
    }
  }
  WriteBytes(Path("in.txt"), source);
  for (const char* threads : {"--threads=1", "--threads=2", "--threads=8"}) {
    SCOPED_TRACE(threads);
    const RunResult r = Run({"in.txt", "out.txt", threads}, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(": 150 characters have no form"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadBytes(Path("out.txt")) == expected);
  }
}

TEST_F(Rowsift, PipesAndAbsolutePaths) {
  WriteBytes(Path("in.txt"), "b\nB\na\nb\n");
  WriteBytes(Path("OUT.txt"), "b\nB\na\nb\n");
  struct Case {
    Args args;
    std::string input, out, target;
  };
  std::vector<Case> cases;
  auto streamNames = StandardStreamNames();
  streamNames.emplace_back("-", "-");  // on every system
  for (const auto& [in, out] : streamNames) {
    cases.push_back({{"in.txt", out}, "", "b\na\n", "(none)"});
    cases.push_back({{in, "out.txt"}, "b\nB\na\nb\n", "", "b\na\n"});
    cases.push_back({{in, out, "/c"}, "b\nB\na\nb\n", "b\nB\na\n", "(none)"});
    cases.push_back({{in, out}, "\xFE\xFF\0x\0\n\0X\0\n\0x\0\n"s, "x\n", "(none)"});
  }
  cases.push_back({{Path("in.txt"), "/r", Path("out.txt")}, "", "", "b\na\n"});
  if (!kFileNamesIgnoreCase) cases.push_back({{"OUT.txt", "out.txt"}, "", "", "b\na\n"});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::filesystem::remove(Path("out.txt"));
    const RunResult r = Run(c.args, {}, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(std::filesystem::exists(Path("out.txt")) ? ReadBytes(Path("out.txt")) : "(none)", c.target);
  }
}

// Names outside the ANSI code page open: on Windows the tool takes its
// arguments in UTF-16 (they reach it here from UTF-8).
TEST_F(Rowsift, NamesOutsideTheCodePage) {
  const std::u8string source = u8"\u0109u-\u65E5\u672C.txt", target = u8"\u51FA\u529B \u0436.txt";
  auto utf8 = [](const std::u8string& name) { return std::string(name.begin(), name.end()); };
  std::ofstream(dir.Root() / source, std::ios::binary) << "b\nB\na\n";
  const RunResult r = Run({utf8(source), utf8(target), "/c"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::ifstream written(dir.Root() / target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "b\nB\na\n");
  EXPECT_EQ(Run({utf8(u8"\u65E5-missing.txt"), utf8(target)}).status, 1);
}

// The code page decides folding and the conversion of UTF-16: on POSIX
// systems the locale in each run's environment names it; on Windows it is the
// system's ANSI code page, which CTest sets for whole runs of this test (under
// Wine through the locale), so only its cases run.
TEST_F(Rowsift, CodePageDecidesFoldingAndConversion) {
  struct Case {
    const char* codePage;
    std::string source, target, err{};  // err: standard error, all of it
  };
  const std::string utf16 = "\xFF\xFE\xE9\0\r\0\n\0\xC9\0\r\0\n\0x\0\r\0\n\0"s;
  // U+4E2D U+6587, U+65E5 U+672C: two lines that both become "??".
  const std::string cjk = "\xFF\xFE\x2D\x4E\x87\x65\n\0\xE5\x65\x2C\x67\n\0"s;
  // U+1F600 (a surrogate pair), x; q and U+0301, which CP1252 cannot compose.
  const std::string pairAndMark = "\xFF\xFE\x3D\xD8\x00\xDEx\0\n\0q\0\x01\x03\n\0"s;
  // e and two acute accents: one composes, the other is a '?'; then a question mark of the text.
  const std::string marks =
      "\xFF\xFE"
      "e\0\x01\x03\x01\x03\n\0?\0\n\0"s;
  const std::string missing = " characters have no form in code page ";
  const Case cases[] = {
      {"CP1252", "\xC9\n\xE9\n", "\xC9\n"},
      {"UTF-8", "\xC9\n\xE9\n", "\xC9\n\xE9\n"},
      {"UTF-8", "\xC3\x89\x63ole\n\xC3\xA9\x43OLE\n", "\xC3\x89\x63ole\n"},
      {"CP1251", "\xCF\xD0\xC8\n\xEF\xF0\xE8\n", "\xCF\xD0\xC8\n"},
      {"CP1253", "\xC1\xC2\n\xE1\xE2\n", "\xC1\xC2\n"},
      {"CP932", "\x82\x60\n\x82\x81\n", "\x82\x60\n"},
      {"CP936", "\xA3\xC1\n\xA3\xE1\n", "\xA3\xC1\n"},
      // Folding goes on past a character without another case; final sigma folds with sigma.
      {"CP936", "\xA2\xFCq\n\xA2\xFCQ\n", "\xA2\xFCq\n"},
      {"CP932", "\x81\xF0q\n\x81\xF0Q\n", "\x81\xF0q\n"},
      {"CP1253", "\xCF\xC4\xCF\xD3\n\xEF\xE4\xEF\xF2\n", "\xCF\xC4\xCF\xD3\n"},
      // Full case folding: the line is written as it is, whatever the length of its folded copy.
      {"UTF-8", "\xE2\x84\xAA\nk\n\xCE\x90\n\xCE\xB9\xCC\x88\xCC\x81\nSTRASSE\nstra\xC3\x9F\x65\n",
       "\xE2\x84\xAA\n\xCE\x90\nSTRASSE\n"},
      {"UTF-8", utf16, "\xC3\xA9\r\nx\r\n"},
      {"CP1252", utf16, "\xE9\r\nx\r\n"},
      {"CP1251", utf16, "?\r\nx\r\n", "rowsift: in.txt: 2" + missing + "CP1251 and were written as '?'\n"},
      {"CP1252", pairAndMark, "?x\nq?\n", "rowsift: in.txt: 2" + missing + "CP1252 and were written as '?'\n"},
      {"CP1252", marks, "\xE9?\n?\n", "rowsift: in.txt: 1" + missing + "CP1252 and were written as '?'\n"},
      {"UTF-8", cjk, "\xE4\xB8\xAD\xE6\x96\x87\n\xE6\x97\xA5\xE6\x9C\xAC\n"},
      // UTF-8 folds as in a UTF-8 locale (Ü and Ì end in 9C and 8C: œ and Œ in CP1252).
      {"UTF-8", "\xEF\xBB\xBFName\nname\n", "Name\n"},
      {"CP1252", "\xEF\xBB\xBFName\nname\n", "Name\n"},
      {"CP1252", "\xC3\x9C\n\xC3\x8C\n\xC3\xBC\n", "\xC3\x9C\n\xC3\x8C\n"},
      {"CP1251", "\xD0\xA8\n\xD0\xB8\n\xD1\x88\n", "\xD0\xA8\n\xD0\xB8\n"},
      // Cyrillic UTF-16 without a mark.
      {"CP1251", "\x1F\x04\x40\x04\r\0\n\0\x3F\x04\x40\x04\r\0\n\0"s, "\xCF\xF0\r\n"},
  };
  int runs = 0;
  for (const Case& c : cases) {
    Args env;
    if (!CodePageEnvironment(c.codePage, &env)) continue;
    SCOPED_TRACE(c.codePage + (" " + ::testing::PrintToString(c.source)));
    WriteBytes(Path("in.txt"), c.source);
    const RunResult r = Run({"in.txt", "out.txt"}, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ConsoleLines(c.err));
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target);
    ++runs;
  }
  EXPECT_GT(runs, 0) << "no case for the system's code page";
}

// The locale variables: LC_ALL, then LC_CTYPE, then LANG; none is UTF-8. And
// code pages that only ICU has.
TEST_F(Rowsift, LocaleVariablesPosix) {
  struct Case {
    Args env;
    std::string source, target, err{};  // err: standard error, all of it
  };
  const std::string cjk = "\xFF\xFE\x2D\x4E\x87\x65\n\0\xE5\x65\x2C\x67\n\0"s;
  const std::string missing = " characters have no form in code page ";
  const Case cases[] = {
      {{"LANG=en_US.CP1252"}, "\xC9\n\xE9\n", "\xC9\n"},
      {{"LC_CTYPE=en_US.CP1252", "LANG=C.UTF-8"}, "\xC9\n\xE9\n", "\xC9\n"},
      {{"LC_ALL=C", "LANG=en_US.CP1252"}, "\xC9\n\xE9\n", "\xC9\n\xE9\n"},
      {{}, "\0x\0\n\0X\0\n\0y\0\n"s, "x\ny\n"},
      // A byte of A-Z inside a character does not fold; in UTF-8 converted from UTF-16, every one does.
      {{"LC_ALL=zh_CN.GB18030"}, "\x81\x41\n\x81\x61\nAB\nab\n", "\x81\x41\n\x81\x61\nAB\n"},
      {{"LC_ALL=zh_CN.GB18030"}, "\xFF\xFE\xAC\x20\x41\0\n\0\xAC\x20\x61\0\n\0"s, "\xE2\x82\xAC\x41\n"},
      {{"LC_ALL=ja_JP.ISO-2022-JP"},
       "\x1B$B\x24\x41\x1B(BA\n\x1B$B\x24\x61\x1B(Ba\n\x1B$B\x24\x41\x1B(Ba\n",
       "\x1B$B\x24\x41\x1B(BA\n\x1B$B\x24\x61\x1B(Ba\n"},
      // The code page named as the locale names it.
      {{"LC_ALL=en_US.ISO-8859-1"},
       cjk,
       "??\n",
       "rowsift: in.txt: 4" + missing + "ISO-8859-1 and were written as '?'\n"},
      {{"LANG=de_DE.cp1252"},
       "\xFF\xFE\x3D\xD8\x00\xDEx\0\n\0"s,
       "?x\n",
       "rowsift: in.txt: 1" + missing + "cp1252 and were written as '?'\n"},
      // ICU drops a zero-width space, which is then not counted as written.
      {{"LC_ALL=en_US.CP1252"}, "\xFF\xFEx\0\x0B\x20?\0\n\0"s, "x?\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.env) + " " + ::testing::PrintToString(c.source));
    WriteBytes(Path("in.txt"), c.source);
    const RunResult r = Run({"in.txt", "out.txt"}, c.env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.target);
  }
}

// Memory bounded far below what the index needs gives the target and the
// duplicates of an unbounded run, byte for byte, whatever the shape of the
// source, its encoding and line ends, the switches, and whether it can be
// read twice. 7 bytes leave the index no room at all (every line is set
// aside, in many parts); with 64K and 256K it takes part of the lines first.
// No temporary file is left.
TEST_F(Rowsift, BoundedRunEqualsUnboundedRun) {
  std::string heavy, distinct, oneKey;
  for (int i = 0; i < 30000; ++i) {
    heavy += (i % 4 ? "Line " : "  LINE ") + std::to_string(i * 7919 % 3001) + (i % 3 ? "\n" : " \t\n");
    if (i % 11 == 0) heavy += i % 2 ? "\n" : " \n";
  }
  for (int i = 0; i < 20000; ++i) distinct += std::to_string(i * 7919) + " distinct\n";
  // Lines of the pieces 13ar and bf10 all share one key.
  for (int i = 0; i < 4096; ++i) {
    std::string line;
    for (int piece = 0; piece < 12; ++piece) line += (i >> piece & 1) ? "bf10" : "13ar";
    oneKey += line + "\n" + (i % 3 ? "" : line + "\n");
  }
  std::string crlf;
  for (char c : heavy) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const SourceCase cases[] = {
      {"heavy duplication", heavy, {}, false},
      {"heavy duplication, trimmed, no blanks", heavy, {"/b", "/e", "/r"}, false},
      {"all distinct", distinct, {"/c"}, false},
      {"one key", oneKey, {}, false},
      {"UTF-16", Utf16Le(heavy), {"/r"}, false},
      {"CR LF", crlf, {"/e"}, false},
      {"UTF-16 told 8-bit", Utf16Le(heavy), {"--encoding=ansi"}, false},
      {"a pipe", heavy, {"/b", "/r"}, true},
      {"UTF-16 from a pipe", Utf16Le(distinct), {}, true},
  };
  std::filesystem::create_directory(Path("tmp"));
  // Also of the lines that occur once, and more than once, which the index and the sifting count,
  // and of lines told apart by their texts, read again by their locations.
  const Args selections[] = {{"--stats"}, {"--unique"}, {"--repeated"}, {"--exact", "--unique"}};
  for (const SourceCase& c : cases) {
    for (const Args& selection : selections) {
      SCOPED_TRACE(c.shape + " "s + selection.back());
      WriteBytes(Path("in.txt"), c.source);
      const std::string input = c.pipe ? c.source : "";
      Args args{c.pipe ? "/dev/stdin" : "in.txt", "out.txt"};
      args.insert(args.end(), selection.begin(), selection.end());
      args.insert(args.end(), c.switches.begin(), c.switches.end());
      Args withDuplicates = args;
      withDuplicates.push_back("--duplicates=dups.txt");
      ASSERT_EQ(Run(withDuplicates, {}, input).status, 0);
      const std::string target = ReadBytes(Path("out.txt")), duplicates = ReadBytes(Path("dups.txt"));
      // Each lane of the index runs out of room on its own; the last run writes no duplicates file.
      for (const auto& [memory, threads, dups] :
           {std::tuple{"7", "1", true}, {"64K", "3", true}, {"256K", "8", true}, {"32K", "2", false}}) {
        Args bounded = dups ? withDuplicates : args;
        bounded.push_back("--memory="s + memory);
        bounded.push_back("--threads="s + threads);
        std::filesystem::remove(Path("dups.txt"));
        const RunResult r = Run(bounded, {"TMPDIR=" + Path("tmp")}, input);
        EXPECT_EQ(r.status, 0) << memory << " " << r.err;
        EXPECT_TRUE(ReadBytes(Path("out.txt")) == target) << memory;
        EXPECT_TRUE(ReadBytes(Path("dups.txt")) == (dups ? duplicates : "")) << memory;
        EXPECT_TRUE(std::filesystem::is_empty(Path("tmp"))) << memory;
      }
    }
  }
}

// Exclusion lists, read by the source's rules (one in UTF-16, one with CR LF
// and trailing blanks), and the duplicates file, against a plain model of
// /b /e /r: a source line found in a list or earlier in the source goes to
// the duplicates file, in source order and with the source's line ends; no
// line of a list is written. Bounded or not, the outputs are the same.
TEST_F(Rowsift, ExclusionListsAndDuplicates) {
  std::string source, list1, list2;
  for (int i = 0; i < 6000; ++i) {
    source += (i % 2 ? "  Name " : "name ") + std::to_string(i * 7919 % 2500) + "\n" + (i % 9 ? "" : " \n");
    if (i % 7 == 0) source += "Once " + std::to_string(i) + "\n";
  }
  for (int i = 0; i < 500; ++i) list1 += "NAME " + std::to_string(i * 3) + "\n";
  for (int i = 0; i < 500; ++i) list2 += "name " + std::to_string(i * 5) + " \r\n";
  std::set<std::string> listed, seen;
  for (int i = 0; i < 500; ++i) listed.insert({"name " + std::to_string(i * 3), "name " + std::to_string(i * 5)});
  std::map<std::string, uint64_t> figures;                // what --stats tells
  std::vector<std::pair<std::string, std::string>> kept;  // the lines not blank, and their folded copies
  std::map<std::string, int> occurrences;
  std::istringstream lines(source);
  for (std::string line; std::getline(lines, line);) {
    ++figures["lines_read"];
    line.erase(0, line.find_first_not_of(' '));
    line.erase(line.find_last_not_of(' ') + 1);
    if (line.empty()) {
      ++figures["blank"];
      continue;
    }
    std::string folded = line;
    for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ++figures[listed.count(folded) ? "excluded" : seen.insert(folded).second ? "distinct" : "duplicates"];
    kept.emplace_back(line, listed.count(folded) ? "" : folded);
    ++occurrences[folded];
  }
  WriteBytes(Path("in.txt"), source);
  WriteBytes(Path("list1.txt"), Utf16Le(list1));
  WriteBytes(Path("list2.txt"), list2);
  for (const char* selection : {"", "--unique", "--repeated"}) {
    // The first occurrence of a line not listed is written when the selection says so.
    std::string target, duplicates;
    std::set<std::string> written;
    for (const auto& [line, folded] : kept) {
      const int n = occurrences[folded];
      const bool selected = selection == "--unique"s ? n == 1 : selection == "--repeated"s ? n > 1 : true;
      (!folded.empty() && selected && written.insert(folded).second ? target : duplicates) += line + "\n";
    }
    figures["lines_written"] = written.size();
    for (const char* memory : {"1G", "7", "32K"}) {
      SCOPED_TRACE(selection + " "s + memory);
      Args args{"in.txt",
                "out.txt",
                "/b",
                "/e",
                "/r",
                "--exclude=list1.txt",
                "--exclude",
                "list2.txt",
                "--duplicates=dups.txt",
                "--memory="s + memory,
                "--stats"};
      if (*selection) args.push_back(selection);
      const RunResult r = Run(args);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(ReadBytes(Path("out.txt")) == target);
      EXPECT_TRUE(ReadBytes(Path("dups.txt")) == duplicates);
      std::map<std::string, uint64_t> told = StatsOf(r.err);
      EXPECT_EQ(told.count("spilled_parts"), memory == "1G"s ? 0u : 1u) << r.err;
      EXPECT_EQ(told["bytes_read"], source.size());
      EXPECT_GT(told["peak_memory_bytes"], 0u);
      for (const char* varies :
           {"spilled_parts", "milliseconds", "peak_memory_bytes", "bytes_read", "unmapped_chars"}) {
        told.erase(varies);
      }
      EXPECT_EQ(told, figures) << r.err;
    }
  }
}

// Fingerprints that collide, made so by the narrowed build: the default
// merges different lines, --exact tells them apart by their texts and writes
// what the full fingerprints give, whatever the shape of the source, where
// the text is read again (the source where it lies, the copy of a pipe, of
// UTF-16 or of a list), the selection, the memory and the threads.
TEST_F(Rowsift, ExactKeepsLinesWhoseFingerprintsCollide) {
  std::string source, list;
  for (int i = 0; i < 1200; ++i) {
    std::string line = (i % 3 ? "Line " : "  LINE ") + std::to_string(100 + i * 7919 % 300) + (i % 4 ? "" : " \t");
    if (i % 50 == 0) line = "x\0y"s + std::to_string(i % 7) + std::string(60, 'n') + '\0' + "cut";
    if (i % 200 == 0) line = std::string(70000, 'z') + std::to_string(i % 3);  // read in place, not copied
    if (i % 100 == 0) line = "once " + std::to_string(i);
    source += line + (i % 11 ? "\n" : "\r\n");
  }
  for (int i = 0; i < 40; ++i) list += "line " + std::to_string(100 + i * 7) + "\n";
  WriteBytes(Path("list.txt"), list);
  const SourceCase cases[] = {
      {"in place", source, {}, false},
      {"in place, trimmed, case counted", source, {"/b", "/e", "/r", "/c"}, false},
      {"a list", source, {"/b", "--exclude=list.txt"}, false},
      {"a pipe", source, {"/e"}, true},
      {"UTF-16", Utf16Le(source), {"/b", "/e"}, false},
  };
  for (const SourceCase& c : cases) {
    for (const char* selection : {"--stats", "--unique", "--repeated"}) {
      SCOPED_TRACE(c.shape + " "s + selection);
      WriteBytes(Path("in.txt"), c.source);
      const std::string input = c.pipe ? c.source : "";
      Args args{c.pipe ? "-" : "in.txt", "out.txt", "--duplicates=dups.txt", selection};
      args.insert(args.end(), c.switches.begin(), c.switches.end());
      ASSERT_EQ(Run(args, {}, input).status, 0);
      const std::string target = ReadBytes(Path("out.txt")), duplicates = ReadBytes(Path("dups.txt"));
      if (selection == "--stats"s) {
        ASSERT_EQ(RunNarrow(args, input).status, 0);
        EXPECT_LT(ReadBytes(Path("out.txt")).size(), target.size())
            << "no line merged: the fingerprints did not collide";
      }
      args.push_back("--exact");
      for (const auto& [memory, threads] : {std::pair{"1G", "1"}, {"1G", "3"}, {"7", "2"}, {"3K", "8"}}) {
        Args exact = args;
        exact.push_back("--memory="s + memory);
        exact.push_back("--threads="s + threads);
        const RunResult r = RunNarrow(exact, input);
        EXPECT_EQ(r.status, 0) << memory << " " << threads << " " << r.err;
        EXPECT_TRUE(ReadBytes(Path("out.txt")) == target) << memory << " " << threads;
        EXPECT_TRUE(ReadBytes(Path("dups.txt")) == duplicates) << memory << " " << threads;
      }
    }
  }
}
