#include "app/LongOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

const LongOption kLongOptions[] = {
    {loptExclude, "exclude", "FILE", "drop the lines found in FILE too (any number of lists)"},
    {loptDuplicates, "duplicates", "FILE", "write the lines dropped as duplicates to FILE"},
    {loptMemory, "memory", "SIZE", "memory for the index, K, M or G (default: what is free)"},
    {loptTempDir, "temp-dir", "DIR", "temporary files in DIR (default: $TMPDIR, else /tmp)"},
    {loptEncoding, "encoding", "NAME", "read the source and lists as ansi, utf-8, utf-16le or utf-16be"},
    {loptHelp, "help", nullptr, "show this text"},
    {loptVersion, "version", nullptr, "show the version"},
};

}  // namespace

const LongOption* FindLongOption(const std::string& name) {
  for (const LongOption& option : kLongOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
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
    text += "\t" + left + "- " + option.help + "\n";
  }
  return text;
}

bool ParseSize(const std::string& text, uint64_t* bytes) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const auto digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
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
