#include "platform/File.h"

#include <cstring>

#include "platform/win32/WinApi.h"

namespace {

HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A synchronous handle reads or writes at the offset an OVERLAPPED gives and
// returns once done; other threads at other offsets are served in turn.
OVERLAPPED AtOffset(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

char LowerAtoZ(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualIgnoringAtoZ(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (LowerAtoZ(a[i]) != LowerAtoZ(b[i])) return false;
  }
  return true;
}

// The standard handle a name stands for (STD_INPUT_HANDLE, STD_OUTPUT_HANDLE
// or STD_ERROR_HANDLE), or 0. The console's names mean the standard handles,
// which are the console unless redirected: `type a.txt | rowsift CON b.txt`
// reads the pipe. `-` and the POSIX names serve scripts written for both
// systems.
DWORD StandardHandleOf(const std::string& name, bool writing) {
  if (name == "-" || EqualIgnoringAtoZ(name, "CON")) return writing ? STD_OUTPUT_HANDLE : STD_INPUT_HANDLE;
  for (const char* input : {"CONIN$", "/dev/stdin"}) {
    if (!writing && EqualIgnoringAtoZ(name, input)) return STD_INPUT_HANDLE;
  }
  for (const char* output : {"CONOUT$", "/dev/stdout"}) {
    if (writing && EqualIgnoringAtoZ(name, output)) return STD_OUTPUT_HANDLE;
  }
  if (writing && EqualIgnoringAtoZ(name, "/dev/stderr")) return STD_ERROR_HANDLE;
  return 0;
}

// The identity of a disk file; false for a console, pipe or device.
bool IdentityOf(HANDLE handle, FileIdentity* id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info)) return false;
  *id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return true;
}

// The identity of the file of that name. Only its attributes are read, which
// no sharing mode refuses.
bool IdentityOfNamed(const std::string& fileName, FileIdentity* id) {
  const HANDLE named = ::CreateFileW(WidenUtf8(fileName).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentityOf(named, id);
  ::CloseHandle(named);
  return known;
}

// A thread stuck in a read that cannot be cancelled (a Unix pipe under Wine)
// is given up after this many tries, a millisecond or more apart.
constexpr int kCancelTries = 200;

}  // namespace

bool FileNamesEqual(const std::string& a, const std::string& b) { return EqualIgnoringAtoZ(a, b.c_str()) && a != "-"; }

bool StandardStreamIdentity(StandardStream stream, FileIdentity* id) {
  const HANDLE handle = ::GetStdHandle(stream == streamOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && IdentityOf(handle, id);
}

void NoteFileOfRun(const std::string& fileName) {
  FileIdentity id;
  if (IdentityOfNamed(fileName, &id)) NoteFileOfRun(id);
}

CFileException::CFileException(const std::string& fileName, const std::string& action, int error, bool temporary)
    : std::runtime_error(fileName + ": " + action + " failed: " + SystemMessage(static_cast<DWORD>(error))),
      m_nError(error),
      m_strReason(SystemMessage(static_cast<DWORD>(error))),
      m_bTemporary(temporary) {}

CFile::~CFile() { ReleaseHandle(); }

bool CFile::Open(const std::string& fileName, unsigned flags, std::string* reason, const char* role) {
  ReleaseHandle();
  auto fail = [&](HANDLE handle, const std::string& why) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    if (reason) *reason = why;
    return false;
  };

  const bool writing = (flags & 3) == modeWrite;
  const bool exclusive = (flags & 0x70) == 0;  // no share bits
  HANDLE handle = INVALID_HANDLE_VALUE;
  const DWORD standard = StandardHandleOf(fileName, writing);
  if (standard) {
    // A handle of our own, closed with the file; the standard one stays.
    const HANDLE given = ::GetStdHandle(standard);
    if (given == INVALID_HANDLE_VALUE || given == nullptr) return fail(handle, SystemMessage(ERROR_INVALID_HANDLE));
    if (!::DuplicateHandle(::GetCurrentProcess(), given, ::GetCurrentProcess(), &handle, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
      return fail(INVALID_HANDLE_VALUE, SystemMessage(::GetLastError()));
    }
  } else {
    // The sharing modes keep a file another program writes from being a
    // source, and one it has open from being a target. The file is opened as
    // it is and cut below, once it is known to be none of the run's files.
    const DWORD access = writing ? GENERIC_WRITE : GENERIC_READ;
    const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD disposition = (flags & modeCreate) ? OPEN_ALWAYS : OPEN_EXISTING;
    handle = ::CreateFileW(WidenUtf8(fileName).c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      // Refused for one of the run's own files: said as on POSIX systems.
      FileIdentity id;
      const char* other =
          error == ERROR_SHARING_VIOLATION && IdentityOfNamed(fileName, &id) ? FindConflictingFile(id, true) : nullptr;
      return fail(handle, other ? std::string("is ") + other : SystemMessage(error));
    }
  }

  const DWORD type = ::GetFileType(handle);
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return fail(handle, SystemMessage(::GetLastError()));
  // Whatever the name, also a standard handle (`rowsift s.txt CON >> s.txt`),
  // an output is none of the run's files under another name.
  FileIdentity id;
  const bool registered = IdentityOf(handle, &id);
  if (registered) {
    NoteFileOfRun(id);
    if (const char* other = FindConflictingFile(id, exclusive)) return fail(handle, std::string("is ") + other);
  }
  const bool cut = !standard && (flags & modeCreate) && writing && type == FILE_TYPE_DISK;
  if (cut && !(flags & modeNoTruncate) && !::SetEndOfFile(handle)) return fail(handle, SystemMessage(::GetLastError()));
  // A standard handle that is a disk file may stand anywhere in it.
  LARGE_INTEGER start{};
  if (standard && type == FILE_TYPE_DISK && !::SetFilePointerEx(handle, LARGE_INTEGER{}, &start, FILE_CURRENT)) {
    return fail(handle, SystemMessage(::GetLastError()));
  }
  Attach(reinterpret_cast<intptr_t>(handle), fileName, type != FILE_TYPE_DISK);
  if (registered) Register(id, exclusive, role);
  m_bStandard = standard != 0;
  m_nOpenFlags = flags;
  m_role = role;
  m_bCutPending = cut && (flags & modeNoTruncate);
  m_nStartOffset = static_cast<uint64_t>(start.QuadPart);
  return true;
}

void CFile::Attach(intptr_t handle, const std::string& fileName, bool stream) {
  m_hFile = handle;
  m_bStream = stream;
  m_bEnded = false;
  m_bCancelled = false;
  m_bCutPending = false;
  m_bTemporary = false;
  m_bStandard = false;
  m_bRereadable = !stream;
  m_nStartOffset = 0;
  m_strFileName = fileName;
}

void CFile::Cut() {
  if (!m_bCutPending) return;
  m_bCutPending = false;
  SetLength(0);
}

void CFile::CreateTemporary(const std::string& dir) {
  ReleaseHandle();
  // Deleted when closed, by the system, however the process ends.
  static unsigned counter = 0;
  const std::wstring folder = WidenUtf8(dir);
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  for (int tries = 0; tries < 100 && handle == INVALID_HANDLE_VALUE; ++tries) {
    const std::wstring name =
        folder + L"\\rowsift-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp";
    handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    error = ::GetLastError();
    if (handle == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) throw CFileException(dir, "create", static_cast<int>(error), true);
  Attach(reinterpret_cast<intptr_t>(handle), dir, false);
  m_bTemporary = true;
}

void CFile::OpenAgain(const CFile& other) {
  ReleaseHandle();
  if (!other.CanReadAgain()) throw CFileException(other.m_strFileName, "open", ERROR_SEEK_ON_DEVICE);
  // A duplicate shares the file's position, as on POSIX systems.
  HANDLE handle = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), Handle(other.m_hFile), ::GetCurrentProcess(), &handle, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    throw CFileException(other.m_strFileName, "open", static_cast<int>(::GetLastError()));
  }
  Attach(reinterpret_cast<intptr_t>(handle), other.m_strFileName, false);
  if (other.m_bRegistered) Register(other.m_identity, false, other.m_role);
  m_nStartOffset = other.m_nStartOffset;
  SeekToStart();
}

void CFile::Seek(uint64_t offset) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(m_nStartOffset + offset);
  if (!::SetFilePointerEx(Handle(m_hFile), to, nullptr, FILE_BEGIN)) {
    throw CFileException(m_strFileName, "seek", static_cast<int>(::GetLastError()), m_bTemporary);
  }
  m_bEnded = false;
}

void CFile::SetLength(uint64_t length) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFilePointerEx(Handle(m_hFile), to, nullptr, FILE_BEGIN) || !::SetEndOfFile(Handle(m_hFile))) {
    throw CFileException(m_strFileName, "cut", static_cast<int>(::GetLastError()), m_bTemporary);
  }
}

uint32_t CFile::ReadAt(uint64_t offset, void* buffer, uint32_t count) const {
  auto* out = static_cast<char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    OVERLAPPED at = AtOffset(offset + total);
    DWORD n = 0;
    if (!::ReadFile(Handle(m_hFile), out + total, count - total, &n, &at)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      throw CFileException(m_strFileName, "read", static_cast<int>(error), m_bTemporary);
    }
    if (n == 0) break;
    total += n;
  }
  return total;
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
  auto* out = static_cast<char*>(buffer);
  uint32_t total = 0;
  // A disk file is read until the buffer is full or the file ends. A stream
  // is read while bytes are ready, so that what has arrived goes on at once.
  while (total < count && !m_bEnded) {
    if (m_bStream && !WaitForInput(total == 0)) break;
    DWORD n = 0;
    BOOL ok;
    if (m_bStream) {
      // The thread is known before the read may wait, so that CancelRead can
      // end the wait; a cancel that came first is seen here.
      if (m_hWake == kNoHandle || m_nWaitingThread != ::GetCurrentThreadId()) {
        if (m_hWake != kNoHandle) ::CloseHandle(Handle(m_hWake));
        HANDLE thread = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
        m_hWake = reinterpret_cast<intptr_t>(thread);
        m_nWaitingThread = ::GetCurrentThreadId();
      }
      m_bWaiting = true;
      if (m_bCancelled) {
        m_bWaiting = false;
        throw CFileException(m_strFileName, "read", ERROR_OPERATION_ABORTED, m_bTemporary);
      }
      ok = ::ReadFile(Handle(m_hFile), out + total, count - total, &n, nullptr);
      m_bWaiting = false;
    } else {
      ok = ::ReadFile(Handle(m_hFile), out + total, count - total, &n, nullptr);
    }
    if (!ok) {
      const DWORD error = ::GetLastError();
      // A pipe whose writer has gone, or a file read to its end.
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
        m_bEnded = true;
        break;
      }
      throw CFileException(m_strFileName, "read", static_cast<int>(m_bCancelled ? ERROR_OPERATION_ABORTED : error),
                           m_bTemporary);
    }
    if (n == 0) m_bEnded = true;
    total += n;
  }
  return total;
}

// True when the stream has bytes (or its end) for a read, or when that cannot
// be known and the read may wait. Without mayWait it answers at once; with it,
// it runs the hook before a read that may wait.
bool CFile::WaitForInput(bool mayWait) {
  if (m_bCancelled) throw CFileException(m_strFileName, "read", ERROR_OPERATION_ABORTED, m_bTemporary);
  DWORD available = 0;
  if (::PeekNamedPipe(Handle(m_hFile), nullptr, 0, nullptr, &available, nullptr)) {
    if (available > 0) return true;
  } else if (::GetLastError() == ERROR_BROKEN_PIPE) {
    return true;  // the end, which the read reports at once
  }
  // Nothing there yet, or no way to tell (a console; a Unix pipe under Wine).
  if (!mayWait) return false;
  if (m_beforeWait) m_beforeWait();
  return true;
}

void CFile::CancelRead() {
  if (!m_bStream) return;
  m_bCancelled = true;
  // A read under way is cancelled; one about to start sees the flag, or is
  // cancelled by a later try once it has started.
  for (int tries = 0; m_bWaiting && tries < kCancelTries; ++tries) {
    ::CancelSynchronousIo(Handle(m_hWake));
    ::Sleep(1);
  }
}

void CFile::Write(const void* buffer, uint32_t count) {
  const auto* in = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    DWORD n = 0;
    if (!::WriteFile(Handle(m_hFile), in + total, count - total, &n, nullptr)) {
      throw CFileException(m_strFileName, "write", static_cast<int>(::GetLastError()), m_bTemporary);
    }
    if (n == 0) throw CFileException(m_strFileName, "write", ERROR_DISK_FULL, m_bTemporary);
    total += n;
  }
}

void CFile::WriteAt(uint64_t offset, const void* buffer, uint32_t count) {
  const auto* in = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    OVERLAPPED at = AtOffset(offset + total);
    DWORD n = 0;
    if (!::WriteFile(Handle(m_hFile), in + total, count - total, &n, &at)) {
      throw CFileException(m_strFileName, "write", static_cast<int>(::GetLastError()), m_bTemporary);
    }
    if (n == 0) throw CFileException(m_strFileName, "write", ERROR_DISK_FULL, m_bTemporary);
    total += n;
  }
}

void CFile::Close() {
  if (m_hFile == kNoHandle) return;
  if (!ReleaseHandle()) {
    throw CFileException(m_strFileName, "close", static_cast<int>(::GetLastError()), m_bTemporary);
  }
}

bool CFile::IsTerminal() const {
  DWORD mode = 0;
  return m_hFile != kNoHandle && ::GetConsoleMode(Handle(m_hFile), &mode) != 0;
}

uint64_t CFile::GetLength() const {
  if (m_bStream) return 0;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(Handle(m_hFile), &size)) {
    throw CFileException(m_strFileName, "size query", static_cast<int>(::GetLastError()), m_bTemporary);
  }
  return static_cast<uint64_t>(size.QuadPart);
}

bool CFile::ReleaseHandle(bool keepRegistered) {
  if (m_bRegistered && !keepRegistered) UnregisterFile(m_identity, m_bExclusive);
  m_bRegistered = m_bRegistered && keepRegistered;
  m_bSuspended = false;
  if (m_hFile == kNoHandle) return true;
  if (m_hWake != kNoHandle) ::CloseHandle(Handle(m_hWake));
  m_hWake = kNoHandle;
  const BOOL closed = ::CloseHandle(Handle(m_hFile));
  m_hFile = kNoHandle;
  return closed != 0;
}
