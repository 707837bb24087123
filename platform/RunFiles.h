// What both systems' file layers keep about the files of a run, by identity
// rather than by name: which are open, so that an output is never an input or
// the other output under another name (a hard link, `./a.txt`, a standard
// stream redirected to it), and which of them the standard streams are, so
// that no message lands in one.
#pragma once

#include <cstdint>
#include <string>

#include "platform/StandardStream.h"

// A file as the system knows it, whatever its name: the device and inode on
// POSIX systems, the volume serial number and file index on Windows.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Whether a standard stream is a file of the run: its source, target, an
// exclusion list or the duplicates file (found by identity when the file was
// opened, even if it was then refused), or a file given to NoteFileOfRun. A
// message written there would land among the lines, or change a file that is
// only read. Only files that hold data count: a terminal or a pipe takes
// messages whatever else it serves for.
bool IsFileOfRun(StandardStream stream);
// Counts the file of that name as one of the run's without opening it: a
// source refused because the target has the same name.
void NoteFileOfRun(const std::string& fileName);

// What the file layers use. Only files whose bytes a write would replace are registered: a terminal,
// pipe or null device may serve as source and target at once. A file that
// readers have open may be read again; one a writer (exclusive) has open may
// not be opened again, and a writer may open none that is registered.
//
// The role of the registered file an open of id would meet ("the source
// file"), or nullptr.
const char* FindConflictingFile(const FileIdentity& id, bool exclusive);
void RegisterFile(const FileIdentity& id, bool exclusive, const char* role);
void UnregisterFile(const FileIdentity& id, bool exclusive);

// Remembers which standard streams are the file id.
void NoteFileOfRun(const FileIdentity& id);

// The identity of a standard stream that is a file holding data; false for a
// terminal, pipe or device, or a closed stream. Each system's file layer has one.
bool StandardStreamIdentity(StandardStream stream, FileIdentity* id);
