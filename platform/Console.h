// The console: a wait for one key on the controlling terminal.
#pragma once

// Waits for one key press on /dev/tty, without echo, line editing or signal
// keys; a cursor or function key counts as one key. Returns at once when the
// process has no controlling terminal. The terminal's mode is restored after
// the key, and also when SIGTERM, SIGINT or SIGHUP ends the process meanwhile.
void WaitForKey();
