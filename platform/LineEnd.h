// The line end of the system's own text files.
#pragma once

// A source that shows no line end in its first block is written with it.
#if defined(_WIN32)
inline constexpr bool kSystemLineEndIsCrLf = true;
#else
inline constexpr bool kSystemLineEndIsCrLf = false;
#endif
