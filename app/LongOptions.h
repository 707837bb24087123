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
  loptHelp,
  loptVersion,
};

struct LongOption {
  LongOptionId id;
  const char* name;       // without the leading "--"
  const char* valueName;  // what the value stands for, as --help shows it; null when there is none
  const char* help;
};

// The option of that name (without "--"), or null. Names are exact: an
// abbreviation or a misspelling is not an option.
const LongOption* FindLongOption(const std::string& name);

// One line per option, tab-indented like the usage text's switches.
std::string LongOptionsHelp();

// A size in bytes, with K, M or G for powers of 1024 ("64M"). False when text
// is not a number above 0 of at most 2^64 - 1 bytes.
bool ParseSize(const std::string& text, uint64_t* bytes);
