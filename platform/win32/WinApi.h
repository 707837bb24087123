// What the Windows layer shares: <windows.h>, UTF-8 and UTF-16 names, and
// the system's messages.
#pragma once

#include <windows.h>

#include <string>

// UTF-8 (as the rest of the tool holds names and messages) to UTF-16 and
// back. Malformed UTF-8 becomes U+FFFD, which no file name holds.
std::wstring WidenUtf8(const std::string& text);
std::string NarrowToUtf8(const wchar_t* text, size_t length);

// The system's text for an error code, in UTF-8, without the line end.
std::string SystemMessage(DWORD error);
