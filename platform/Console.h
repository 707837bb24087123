// The console: a wait for one key, and messages that show every character.
#pragma once

#include <string>

#include "platform/StandardStream.h"

// Waits for one key press on the terminal or console itself (/dev/tty,
// CONIN$; not standard input), without echo, line editing or signal keys; a
// cursor or function key counts as one key, a modifier key alone does not.
// Returns at once when standard output is not a terminal or console (what was
// printed went elsewhere: nobody knows a key is awaited), or there is none.
// The mode is restored after the key, and also when a signal (SIGTERM,
// SIGINT, SIGHUP) or a console event (closing the window) ends the process
// meanwhile.
void WaitForKey();

// Writes text (a message, which may hold names and the system's reasons) on
// standard output or error, after whatever standard output holds. Names and
// reasons are held as the system gives them on POSIX systems, and written
// unchanged; on Windows they are held in UTF-8 and written to a console in
// UTF-16, so that every character shows whatever the console's code page, and
// elsewhere (a file, a pipe) in the console's output code page, or the ANSI
// code page when there is no console.
void WriteStandardText(StandardStream stream, const std::string& text);
