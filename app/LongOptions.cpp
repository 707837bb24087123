#include "app/LongOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/SystemResources.h"

namespace {

// Each system has its own default folder.
const std::string kTempDirHelp = std::string("temporary files in DIR (default: ") + kDefaultTempDirSource + ")";

const LongOption kLongOptions[] = {
    {loptExclude, "exclude", "FILE", "drop the lines found in FILE too (any number of lists)", true},
    {loptDuplicates, "duplicates", "FILE", "write the lines dropped as duplicates to FILE"},
    {loptMemory, "memory", "SIZE",
     "memory for the index and the threads' buffers, K, M or G\n"
     "(default: what is free); the longest line is held whole on top"},
    {loptTempDir, "temp-dir", "DIR", kTempDirHelp.c_str()},
    {loptEncoding, "encoding", "NAME", "read the source and lists as ansi, utf-8, utf-16le or utf-16be"},
    {loptThreads, "threads", "N", "use N threads (default: the processors this run may use)"},
    {loptExact, "exact", nullptr, "lines are one only when their compared texts are, byte for byte"},
    {loptUnique, "unique", nullptr, "write only the lines that occur once"},
    {loptRepeated, "repeated", nullptr, "write only the lines that occur more than once, each once"},
    {loptStats, "stats", nullptr, "after the run, one line of its figures on standard error"},
    {loptHelp, "help", nullptr, "show this text (also /? or -?)", true},
    {loptVersion, "version", nullptr, "show the version", true},
};

// The decimal number text starts with, in *value; answers how many digits it
// has, 0 when none or when the number does not fit 64 bits.
size_t LeadingNumber(const std::string& text, uint64_t* value) {
  uint64_t number = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const auto digit = static_cast<uint64_t>(text[i] - '0');
    if (number > (UINT64_MAX - digit) / 10) return 0;
    number = number * 10 + digit;
  }
  *value = number;
  return i;
}

}  // namespace

const LongOption* FindLongOption(const std::string& name) {
  for (const LongOption& option : kLongOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

const LongOption* FindLongOptionIgnoringCase(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return FindLongOption(lower);
}

std::string LongOptionsHelp() {
  // The descriptions start in one column, past the longest option.
  size_t width = 0;
  for (const LongOption& option : kLongOptions) {
    width = std::max(width, std::strlen(option.name) + (option.valueName ? 1 + std::strlen(option.valueName) : 0));
  }
  std::string text;
  for (const LongOption& option : kLongOptions) {
    std::string left = std::string("--") + option.name;
    if (option.valueName) left += std::string("=") + option.valueName;
    left.resize(width + 3, ' ');
    // A description's further lines start under its first.
    const std::string newLine = "\n\t" + std::string(left.size() + 2, ' ');
    text += "\t" + left + "- ";
    for (const char* c = option.help; *c; ++c) {
      if (*c == '\n') {
        text += newLine;
      } else {
        text += *c;
      }
    }
    text += "\n";
  }
  return text;
}

bool ParseCount(const std::string& text, uint64_t* count) {
  uint64_t value = 0;
  if (LeadingNumber(text, &value) != text.size() || value == 0) return false;
  *count = value;
  return true;
}

bool ParseSize(const std::string& text, uint64_t* bytes) {
  uint64_t value = 0;
  const size_t i = LeadingNumber(text, &value);
  if (i == 0 || value == 0) return false;
  int shift = 0;
  if (i + 1 == text.size()) {
    switch (std::toupper(static_cast<unsigned char>(text[i]))) {
      case 'K':
        shift = 10;
        break;
      case 'M':
        shift = 20;
        break;
      case 'G':
        shift = 30;
        break;
      default:
        return false;
    }
  } else if (i != text.size()) {
    return false;
  }
  if (value > UINT64_MAX >> shift) return false;
  *bytes = value << shift;
  return true;
}
