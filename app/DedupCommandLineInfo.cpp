#include "app/DedupCommandLineInfo.h"

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
      default:
        break;
    }
    return;
  }
  if (m_nNames == 0) {
    m_strSource = param;
  } else if (m_nNames == 1) {
    m_strTarget = param;
  }
  ++m_nNames;
}
