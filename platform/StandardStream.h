// The two standard streams the tool writes text to.
#pragma once

enum StandardStream : int {
  streamOutput = 1,
  streamError = 2,
};
