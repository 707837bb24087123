#include "app/DedupCommandLineInfo.h"

#include <cctype>
#include <cstring>
#include <string>
#include <utility>

namespace {

// An encoding by the name --encoding takes, in any letter case.
bool ParseEncoding(std::string name, Encoding* encoding) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::pair<const char*, Encoding> names[] = {
      {"ansi", encAnsi}, {"utf-8", encUtf8}, {"utf-16le", encUtf16LE}, {"utf-16be", encUtf16BE}};
  for (const auto& [known, value] : names) {
    if (name == known) {
      *encoding = value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool CDedupCommandLineInfo::ParseWholeArgument(const char* arg) {
  if (m_awaitingValue) {
    const LongOption& option = *m_awaitingValue;
    m_awaitingValue = nullptr;
    TakeLongOption(option, arg);
    return true;
  }
  if (m_bOptionsEnded) {
    ParseParam(arg, false, false);
    return true;
  }
  if (std::strncmp(arg, "--", 2) != 0) return RefuseLongOptionAsSwitch(arg);
  if (arg[2] == '\0') {
    m_bOptionsEnded = true;
    return true;
  }
  const char* equals = std::strchr(arg, '=');
  const std::string name = equals ? std::string(arg + 2, equals) : std::string(arg + 2);
  const LongOption* option = FindLongOption(name);
  if (!option) {
    Fail("unknown option '--" + name + "'");
  } else if (!option->repeatable && !m_givenOptions.insert(option->id).second) {
    Fail("option '--" + name + "' may be given only once");
  } else if (!option->valueName && equals) {
    Fail("option '--" + name + "' takes no value");
  } else if (option->valueName && !equals) {
    m_awaitingValue = option;
  } else {
    TakeLongOption(*option, equals ? equals + 1 : "");
  }
  return true;
}

bool CDedupCommandLineInfo::RefuseLongOptionAsSwitch(const char* arg) {
  if (arg[0] != '-' && arg[0] != '/') return false;
  const char* equals = std::strchr(arg, '=');
  const std::string word = equals ? std::string(arg + 1, equals) : std::string(arg + 1);
  const LongOption* option = FindLongOptionIgnoringCase(word);
  if (!option) return false;
  Fail(std::string("long options take two dashes: '--") + option->name + "', not '" + arg[0] + word + "'");
  return true;
}

void CDedupCommandLineInfo::TakeLongOption(const LongOption& option, const std::string& value) {
  // An empty value would quietly mean the default, or no file at all.
  if (option.valueName && value.empty()) {
    Fail(std::string("option '--") + option.name + "' needs a value");
    return;
  }
  switch (option.id) {
    case loptExclude:
      m_exclusionLists.push_back(value);
      break;
    case loptDuplicates:
      m_strDuplicates = value;
      break;
    case loptMemory:
      if (!ParseSize(value, &m_nMemory)) {
        Fail("option '--memory' takes a size in bytes, or with K, M or G, not '" + value + "'");
      }
      break;
    case loptTempDir:
      m_strTempDir = value;
      break;
    case loptEncoding:
      if (!ParseEncoding(value, &m_nEncoding) && m_strError.empty()) {
        m_strError = "option '--encoding' takes ansi, utf-8, utf-16le or utf-16be, not '" + value + "'";
      }
      break;
    case loptThreads: {
      uint64_t threads = 0;
      if (!ParseCount(value, &threads) || threads > kMaxThreads) {
        if (m_strError.empty()) {
          m_strError =
              "option '--threads' takes a number from 1 to " + std::to_string(kMaxThreads) + ", not '" + value + "'";
        }
      } else {
        m_nThreads = static_cast<uint32_t>(threads);
      }
      break;
    }
    case loptExact:
      m_bExact = true;
      break;
    case loptUnique:
    case loptRepeated: {
      const LineSelection selection = option.id == loptUnique ? selectUnique : selectRepeated;
      if (m_nSelection != selectFirst && m_nSelection != selection) {
        Fail("options '--unique' and '--repeated' exclude each other");
      }
      m_nSelection = selection;
      break;
    }
    case loptStats:
      m_bStats = true;
      break;
    case loptHelp:
      m_bHelp = true;
      break;
    case loptVersion:
      m_bVersion = true;
      break;
  }
}

void CDedupCommandLineInfo::Fail(const std::string& message) {
  if (m_strError.empty()) m_strError = message;
}

std::string CDedupCommandLineInfo::UsageError() const {
  if (!m_strError.empty()) return m_strError;
  if (m_awaitingValue) return std::string("option '--") + m_awaitingValue->name + "' needs a value";
  return "";
}

void CDedupCommandLineInfo::ParseParam(const char* param, bool isSwitch, bool /*isLast*/) {
  if (isSwitch) {
    switch (param[0]) {
      case 'B':
      case 'b':
        m_nOptions |= optTrimLeading;
        break;
      case 'C':
      case 'c':
        m_nOptions |= optCaseSensitive;
        break;
      case 'E':
      case 'e':
        m_nOptions |= optTrimTrailing;
        break;
      case 'R':
      case 'r':
        m_nOptions |= optRemoveBlank;
        break;
      case '?':
        m_bHelp = true;
        break;
      default:
        break;
    }
    return;
  }
  if (m_nNames == 0) {
    m_strSource = param;
  } else if (m_nNames == 1) {
    m_strTarget = param;
  } else if (m_nNames == 2) {
    // `rowsift s1.txt s2.txt all.txt` means two sources; run as written it
    // would cut s2.txt, which was meant to be read.
    Fail(std::string("one source and one target only, not also '") + param + "'");
  }
  ++m_nNames;
}
