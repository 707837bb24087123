// The console: a wait for one key, and text in the console's code page.
#pragma once

#include <string>

// Waits for one key press on the terminal or console itself (/dev/tty,
// CONIN$; not standard input), without echo, line editing or signal keys; a
// cursor or function key counts as one key, a modifier key alone does not.
// Returns at once when standard output is not a terminal or console (what was
// printed went elsewhere: nobody knows a key is awaited), or there is none.
// The mode is restored after the key, and also when a signal (SIGTERM,
// SIGINT, SIGHUP) or a console event (closing the window) ends the process
// meanwhile.
void WaitForKey();

// Text to print on standard output or error. Names and system messages are
// held as the system gives them on POSIX systems, and printed unchanged; on
// Windows they are held in UTF-8 and printed in the console's output code
// page (the ANSI code page when there is no console).
std::string ConsoleText(const std::string& text);
