// Where the tool's messages go. Each prefers standard output or standard
// error, but a stream that is one of the run's files (`rowsift a.txt
// /dev/stdout >> a.txt`, `rowsift a.txt out.txt 2>> out.txt`) takes none, as
// the message would land in a file that is only read or among the lines
// written: the other stream takes it, and when both are the run's files it is
// dropped and only the exit status tells.
#pragma once

#include <optional>
#include <string>

#include "platform/StandardStream.h"

// The stream for a message that prefers `preferred`, or none.
std::optional<StandardStream> MessageStream(StandardStream preferred);

// Writes a message, which ends its own line, where MessageStream says.
void PrintMessage(StandardStream preferred, const std::string& text);
