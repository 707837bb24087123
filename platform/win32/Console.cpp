#include "platform/Console.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/WinApi.h"

namespace {

// The console's input and its mode before the wait, for the event handler.
HANDLE g_input = INVALID_HANDLE_VALUE;
DWORD g_savedMode = 0;

// Closing the window, a logoff or a shutdown ends the process: the console
// gets its mode back first.
BOOL WINAPI RestoreOnEvent(DWORD /*event*/) {
  if (g_input != INVALID_HANDLE_VALUE) ::SetConsoleMode(g_input, g_savedMode);
  return FALSE;
}

// A key that ends the wait: any key press but a modifier pressed alone.
bool EndsWait(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
  switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_LWIN:
    case VK_RWIN:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return false;
    default:
      return true;
  }
}

}  // namespace

void WaitForKey() {
  // With the text sent elsewhere nobody knows a key is awaited.
  DWORD outputMode = 0;
  if (!::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &outputMode)) return;
  // The console itself, whatever the standard input is.
  HANDLE input = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return;  // no console: nobody to wait for
  DWORD saved = 0;
  if (!::GetConsoleMode(input, &saved)) {
    ::CloseHandle(input);
    return;
  }
  std::fflush(stdout);
  g_input = input;
  g_savedMode = saved;
  ::SetConsoleCtrlHandler(RestoreOnEvent, TRUE);
  // No echo, no line editing, and Ctrl+C is a key like any other.
  ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT));
  INPUT_RECORD record{};
  DWORD read = 0;
  while (::ReadConsoleInputA(input, &record, 1, &read) && (read == 0 || !EndsWait(record))) {
  }
  ::SetConsoleMode(input, saved);
  ::SetConsoleCtrlHandler(RestoreOnEvent, FALSE);
  g_input = INVALID_HANDLE_VALUE;
  ::CloseHandle(input);
}

void WriteStandardText(StandardStream stream, const std::string& text) {
  std::FILE* file = stream == streamOutput ? stdout : stderr;
  std::fflush(stdout);
  const HANDLE handle = ::GetStdHandle(stream == streamOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode)) {
    // The console's own characters: a name shows as it is, whatever the
    // console's code page. Lines end in CR LF, as the C runtime writes them.
    std::wstring wide;
    for (wchar_t c : WidenUtf8(text)) {
      if (c == L'\n') wide += L'\r';
      wide += c;
    }
    for (size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 16384));
      if (!::WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) return;
      done += written;
    }
    return;
  }
  UINT codePage = ::GetConsoleOutputCP();
  if (codePage == 0) codePage = ::GetACP();
  std::string bytes = text;
  if (codePage != CP_UTF8 && !text.empty()) {
    const std::wstring wide = WidenUtf8(text);
    const int n =
        ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    bytes.assign(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, nullptr);
  }
  std::fputs(bytes.c_str(), file);
  std::fflush(file);
}
