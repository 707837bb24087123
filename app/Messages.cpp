#include "app/Messages.h"

#include "platform/Console.h"
#include "platform/RunFiles.h"

std::optional<StandardStream> MessageStream(StandardStream preferred) {
  const StandardStream other = preferred == streamOutput ? streamError : streamOutput;
  if (!IsFileOfRun(preferred)) return preferred;
  if (!IsFileOfRun(other)) return other;
  return std::nullopt;
}

void PrintMessage(StandardStream preferred, const std::string& text) {
  if (const std::optional<StandardStream> stream = MessageStream(preferred)) WriteStandardText(*stream, text);
}
