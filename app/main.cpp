// rowsift: removes duplicate lines from a text file, keeping the first
// occurrence of every line in source order.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/DedupCommandLineInfo.h"
#include "app/DedupRun.h"
#include "app/Messages.h"
#include "app/Progress.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "textfile/TextFile.h"

namespace {

// One line on standard error, after anything already on standard output.
void ReportError(CProgressLine& progressLine, const std::string& message) {
  progressLine.Erase();
  PrintMessage(streamError, "rowsift: " + message + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  PrepareProcess();
  CDedupCommandLineInfo info;
  ParseProcessCommandLine(argc, argv, info);
  // Drawn on standard error only when it is a terminal and the run is long.
  CProgressLine progressLine;
  try {
    std::vector<std::string> notices;
    const int status = RunDedup(info, progressLine.Callback(), &notices);
    progressLine.Erase();
    for (const std::string& notice : notices) PrintMessage(streamError, "rowsift: " + notice + "\n");
    return status;
  } catch (const CFileException& e) {
    ReportError(progressLine, e.what());  // names its file already
  } catch (const CLineTooLongException& e) {
    ReportError(progressLine, e.what());
  } catch (const std::bad_alloc&) {
    ReportError(progressLine, info.m_strSource + ": out of memory");
  } catch (const std::exception& e) {
    // Exhausted resources (threads, address space, distinct lines) concern the run as a whole.
    ReportError(progressLine, info.m_strSource + ": " + e.what());
  }
  return exitFailed;
}
