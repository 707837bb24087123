// What the tests need of the system, on POSIX systems and Windows alike:
// private folders, a pipe that feeds a reader in pieces, and the tool run as
// a user runs it.
#pragma once

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

// A new, empty folder of its own under the system's temporary folder.
std::filesystem::path MakeTempFolder();

// A pipe that a reader opens by name (a FIFO; on Windows a named pipe) and a
// thread that writes the pieces into it, pausing for pauseMs after each when
// there are several, so that the reader catches up. The destructor waits for
// the thread.
class CPipeFeeder {
 public:
  CPipeFeeder(const std::filesystem::path& folder, std::vector<std::string> pieces, int pauseMs = 30);
  ~CPipeFeeder();
  CPipeFeeder(const CPipeFeeder&) = delete;
  CPipeFeeder& operator=(const CPipeFeeder&) = delete;

  // The name to open; empty when the pipe could not be made.
  const std::string& Name() const { return m_strName; }

 private:
  std::string m_strName;
  std::thread m_writer;
};

struct ProcessResult {
  std::string out, err;  // standard output and error, as written
  int status;            // the exit status, or -1 when the program did not end normally
};

// Runs program with args in folder, as a user runs it from a script: without
// a terminal or console (setsid -w; a detached process), input arriving on a
// pipe, standard output and error caught in files in captures. env is the
// environment besides PATH on POSIX systems; on Windows it is added to the
// test's own.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& input,
                         const std::filesystem::path& folder, const std::filesystem::path& captures);

// A program built beside the test program, by its path or its file name.
std::string BuiltProgram(const std::string& path);

// Names the tool takes for its standard input and output, as pairs of a
// source and a target: /dev/stdin and /dev/stdout, and on Windows also the
// console's names (CON, CONIN$, CONOUT$).
std::vector<std::pair<std::string, std::string>> StandardStreamNames();

// The environment that makes a run of the tool use the code page named as
// ICU and Windows both know it ("CP1252", "UTF-8"): a locale variable on
// POSIX systems. On Windows the code page is the system's, fixed for the test
// run: false when it is another one.
bool CodePageEnvironment(const std::string& codePage, std::vector<std::string>* env);

// Text as the tool's messages reach a file from standard output or error: on
// Windows the C runtime writes every line feed as CR LF.
std::string ConsoleLines(const std::string& text);
