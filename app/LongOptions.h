// The options beyond the one-letter switches, in GNU style: --name=value or
// --name value. They are listed once, here, and --help is written from the
// list.
#pragma once

#include <cstdint>
#include <string>

enum LongOptionId : int {
  loptExclude,
  loptDuplicates,
  loptMemory,
  loptTempDir,
  loptEncoding,
  loptThreads,
  loptStats,
  loptExact,
  loptUnique,
  loptRepeated,
  loptHelp,
  loptVersion,
};

struct LongOption {
  LongOptionId id;
  const char* name;       // without the leading "--"
  const char* valueName;  // what the value stands for, as --help shows it; null when there is none
  const char* help;       // a line feed starts a second line
  // Whether it may be given more than once (every --exclude counts; --help
  // twice is --help). An option that holds one value stops the run when given
  // twice, rather than let one of the values quietly win.
  bool repeatable = false;
};

// The option of that name (without "--"), or null. Names are exact: an
// abbreviation or a misspelling is not an option.
const LongOption* FindLongOption(const std::string& name);

// The option whose name this is in any letter case, or null: for spotting
// one written like a switch ("-Exclude=list.txt").
const LongOption* FindLongOptionIgnoringCase(const std::string& name);

// A line or two per option, tab-indented like the usage text's switches.
std::string LongOptionsHelp();

// A whole number above 0 ("4"); false for anything else.
bool ParseCount(const std::string& text, uint64_t* count);

// A size in bytes, with K, M or G for powers of 1024 ("64M"). False when text
// is not a number above 0 of at most 2^64 - 1 bytes.
bool ParseSize(const std::string& text, uint64_t* bytes);
