#include "TestSystem.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::atomic<unsigned> g_nNames{0};

// A name no other test, run or process uses.
std::wstring UniqueName(const wchar_t* prefix) {
  return prefix + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++g_nNames) + L"-" +
         std::to_wstring(::GetTickCount64());
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

// One argument as CommandLineToArgvW and the C runtime split it back.
void AppendQuoted(const std::wstring& arg, std::wstring& line) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
    if (i == arg.size()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line += arg[i];
  }
  line += L'"';
}

// The test's own environment with env's variables added or replaced.
std::wstring EnvironmentBlock(const std::vector<std::string>& env) {
  std::vector<std::wstring> variables;
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* p = own; *p; p += wcslen(p) + 1) variables.emplace_back(p);
  ::FreeEnvironmentStringsW(own);
  for (const std::string& added : env) {
    const std::wstring wide = Widen(added);
    const std::wstring name = wide.substr(0, wide.find(L'=') + 1);
    std::erase_if(variables,
                  [&](const std::wstring& v) { return _wcsnicmp(v.c_str(), name.c_str(), name.size()) == 0; });
    variables.push_back(wide);
  }
  std::wstring block;
  for (const std::wstring& v : variables) block += v + L'\0';
  return block + L'\0';
}

HANDLE InheritableFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::filesystem::path MakeTempFolder() {
  for (;;) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / UniqueName(L"rowsift-test-");
    if (std::filesystem::create_directory(folder)) return folder;
  }
}

CPipeFeeder::CPipeFeeder(const std::filesystem::path& /*folder*/, std::vector<std::string> pieces, int pauseMs) {
  const std::wstring name = UniqueName(L"\\\\.\\pipe\\rowsift-test-");
  HANDLE pipe =
      ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "CreateNamedPipeW failed: " << ::GetLastError();
    return;
  }
  m_strName = Narrow(name);
  m_writer = std::thread([pipe, pauseMs, pieces = std::move(pieces)] {
    if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
      for (const std::string& bytes : pieces) {
        DWORD written = 0;
        if (!bytes.empty() && !::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
          break;
        if (pieces.size() > 1) ::Sleep(static_cast<DWORD>(pauseMs));
      }
      ::FlushFileBuffers(pipe);
    }
    ::CloseHandle(pipe);
  });
}

CPipeFeeder::~CPipeFeeder() {
  if (m_writer.joinable()) m_writer.join();
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& input,
                         const std::filesystem::path& folder, const std::filesystem::path& captures) {
  std::wstring line;
  AppendQuoted(Widen(program), line);
  for (const std::string& arg : args) {
    line += L' ';
    AppendQuoted(Widen(arg), line);
  }
  std::wstring environment = EnvironmentBlock(env);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inWrite = nullptr;
  const std::filesystem::path outPath = captures / "out", errPath = captures / "err";
  PROCESS_INFORMATION process{};
  // Wine now and then fails to start a program while the machine is busy
  // (errors 193 and 1359): a few more tries before the run counts as failed.
  for (int attempt = 1;; ++attempt) {
    HANDLE inRead = nullptr;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return {"", "CreatePipe failed", -1};
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    HANDLE out = InheritableFile(outPath), err = InheritableFile(errPath);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = out;
    startup.hStdError = err;
    // Detached: no console, as setsid leaves no controlling terminal.
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT,
                         environment.data(), folder.c_str(), &startup, &process);
    const DWORD error = ::GetLastError();
    ::CloseHandle(inRead);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (started) break;
    ::CloseHandle(inWrite);
    if (attempt == 5) return {"", "CreateProcessW failed: " + std::to_string(error), -1};
    ::Sleep(200);
  }
  if (!input.empty()) {
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr));
  }
  ::CloseHandle(inWrite);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return {ReadWhole(outPath), ReadWhole(errPath), static_cast<int>(status)};
}

std::string BuiltProgram(const std::string& path) {
  wchar_t self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path folder = std::filesystem::path(std::wstring(self, n)).parent_path();
  return Narrow((folder / std::filesystem::path(Widen(path)).filename()).wstring());
}

std::vector<std::pair<std::string, std::string>> StandardStreamNames() {
  return {{"/dev/stdin", "/dev/stdout"}, {"CON", "CONOUT$"}, {"conin$", "con"}};
}

bool CodePageEnvironment(const std::string& codePage, std::vector<std::string>* /*env*/) {
  const UINT system = ::GetACP();
  return codePage == (system == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(system));
}

std::string ConsoleLines(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}
