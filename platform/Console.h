// The console: a wait for one key on the controlling terminal.
#pragma once

// Waits for one key press on /dev/tty, without echo, line editing or signal
// keys; a cursor or function key counts as one key. Returns at once when the
// process has no controlling terminal.
void WaitForKey();
