// A thin stand-in for the framework's file class: open by name, block read
// and write, length, close, and anonymous temporary files; over POSIX
// descriptors or Windows handles. A run seeks only to read a regular file a
// second time, so pipes serve as well as files. Failures after a successful
// open throw CFileException naming the file and the system's reason.
//
// File names are bytes on POSIX systems; on Windows they are UTF-8, turned
// into the UTF-16 names the system takes, so that any name opens.
#pragma once

#if defined(_WIN32)
#include <atomic>
#else
#include <cerrno>
#endif
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/RunFiles.h"

// The system's code for an input/output error, for a failure the system did
// not report itself (a temporary file that reads back short).
#if defined(_WIN32)
inline constexpr int kIoError = 1117;  // ERROR_IO_DEVICE
#else
inline constexpr int kIoError = EIO;
#endif

class CFileException : public std::runtime_error {
 public:
  // error: errno, or on Windows the code of GetLastError(). temporary: the
  // file is one of the run's temporary files, named by its folder.
  CFileException(const std::string& fileName, const std::string& action, int error, bool temporary = false);
  int Error() const { return m_nError; }
  // The system's text for the error.
  const std::string& Reason() const { return m_strReason; }
  bool IsTemporary() const { return m_bTemporary; }

 private:
  int m_nError;
  std::string m_strReason;
  bool m_bTemporary;
};

// Whether two names given for the source and the target are one name: exactly
// equal on POSIX systems, where names differing in letter case are different
// files; equal but for the case of A to Z on Windows, whose file systems
// ignore case. `-` is two streams, the standard input and output.
bool FileNamesEqual(const std::string& a, const std::string& b);
#if defined(_WIN32)
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

class CFile {
 public:
  // Open flags, as the framework defines them.
  static constexpr unsigned modeRead = 0x0000;
  static constexpr unsigned modeWrite = 0x0001;
  static constexpr unsigned shareDenyNone = 0x0040;
  static constexpr unsigned modeCreate = 0x1000;
  static constexpr unsigned modeNoTruncate = 0x2000;  // with modeCreate: cut later, by Cut()

  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  // Closes a file that is still open, ignoring errors.
  virtual ~CFile();

  // Opens by name. Answers false and leaves the object without a file on
  // failure; *reason then holds the system's explanation.
  //
  // An open with no share bits fails when the same file is already open in
  // this process (or suspended), or when another run has it open: a target
  // is never the source under another name, nor a file that another run
  // reads or writes. A regular file opened for writing is cut only once that
  // is settled. Both systems compare the identities of the files; other runs
  // are kept off by sharing modes on Windows, by advisory locks elsewhere.
  //
  // The names of the standard streams stand for the handles this process was
  // given, used as they are: at their offset, in their append mode, never
  // cut, so that `cmd >> log` and `{ read h; cmd; } < f` work. `-` is the
  // standard input for reading and the standard output for writing. On POSIX
  // systems /dev/stdin, /dev/stdout and /dev/stderr, and /dev/fd/N and
  // /proc/self/fd/N, name the descriptors the process was given (not those it
  // opened itself); on Windows CON, CONIN$ or /dev/stdin name the input, and
  // CON, CONOUT$, /dev/stdout or /dev/stderr an output, whatever the
  // standard handles are (console, pipe or file).
  //
  // role names the file in the reason another open gives when it meets this
  // one ("is the source file"); a literal, as it is kept while the file is
  // open or suspended.
  bool Open(const std::string& fileName, unsigned flags, std::string* reason = nullptr,
            const char* role = "the source file");
  // Cuts a file opened with modeCreate | modeNoTruncate as modeCreate alone
  // would have (nothing for a standard handle or a stream), so that all the
  // outputs of a run are checked before any is cut.
  void Cut();

  // Lets go of the handle of a file opened by name for reading, which still
  // counts as open for the checks of later opens, so that a run may check
  // more files up front than a process may hold open and read them one at a
  // time. A file that could not be opened again as it is (a standard handle,
  // a stream) stays open. Resume opens it again by name, checked as any open;
  // false, with the reason, when that fails.
  void Suspend();
  bool Resume(std::string* reason);

  // Creates a file without a name (on Windows, one deleted when closed) in
  // folder dir, for reading and writing: nothing is left behind however the
  // process ends. A failure throws CFileException naming the folder, as do
  // later ones.
  void CreateTemporary(const std::string& dir);
  // A second handle of the regular file other has open, for reading it again
  // from where other began; other must CanReadAgain(). The two share one
  // position: other is not to be read any more. Failures throw.
  bool CanReadAgain() const { return m_bRereadable; }
  void OpenAgain(const CFile& other);
  // Moves to offset bytes past where the file began when it was opened: its
  // start, or the position a standard handle had.
  void Seek(uint64_t offset);
  void SeekToStart() { Seek(0); }
  void SetLength(uint64_t length);

  // Reads up to count bytes. A disk file fills the buffer and returns fewer
  // only at its end. A stream (pipe, FIFO, terminal, socket) returns what has
  // arrived, waiting only when nothing has: then the before-wait hook runs
  // first. A read of 0 bytes is the end of the input.
  virtual uint32_t Read(void* buffer, uint32_t count);
  // Writes all count bytes or throws.
  virtual void Write(const void* buffer, uint32_t count);
  virtual void Close();

  // Reads up to count bytes at offset of a regular file, without moving the
  // position Read uses; fewer only at the file's end. Threads may call it at
  // the same time (pread; ReadFile at an offset).
  uint32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) const;
  // Writes all count bytes at offset of a regular file, without moving the
  // position Write uses, or throws; threads may read it at other offsets
  // meanwhile (pwrite; WriteFile at an offset).
  void WriteAt(uint64_t offset, const void* buffer, uint32_t count);
  // Where the file began when it was opened: 0, or the offset a standard
  // handle had.
  uint64_t StartOffset() const { return m_nStartOffset; }

  // The hook runs on the reading thread just before a read of a stream waits
  // for input that has not arrived; it may throw to abandon the read.
  void SetBeforeWait(std::function<void()> hook) { m_beforeWait = std::move(hook); }
  // May be called from another thread while the file is open: a read of a
  // stream that is waiting, and every later one, throws CFileException (the
  // system's "cancelled"). A disk read never waits for long and is not
  // interrupted.
  void CancelRead();

  uint64_t GetLength() const;

  bool IsOpen() const { return m_hFile != kNoHandle; }
  // True for input that arrives over time, which a read may wait for.
  bool IsStream() const { return m_bStream; }
  bool IsTerminal() const;
  // A read has met the end of the input.
  bool ReachedEnd() const { return m_bEnded; }
  const std::string& GetFileName() const { return m_strFileName; }

 private:
  // False when the system's close failed. A suspended file keeps its entry
  // in the registry.
  bool ReleaseHandle(bool keepRegistered = false);
  bool WaitForInput(bool mayWait);

  // A descriptor on POSIX systems, a HANDLE on Windows; kNoHandle when closed.
  using SystemHandle = intptr_t;
  static constexpr SystemHandle kNoHandle = -1;

  SystemHandle m_hFile = kNoHandle;
  bool m_bStream = false;
  bool m_bEnded = false;
  bool m_bCutPending = false;
  bool m_bRereadable = false;
  bool m_bTemporary = false;
  bool m_bStandard = false;  // a standard handle's duplicate
  bool m_bSuspended = false;
  unsigned m_nOpenFlags = 0;
  uint64_t m_nStartOffset = 0;
  std::string m_strFileName;
  // The registry's entry for the file, when it holds data.
  bool m_bRegistered = false;
  bool m_bExclusive = false;
  FileIdentity m_identity;
  const char* m_role = "";
  void Register(const FileIdentity& id, bool exclusive, const char* role);
  friend class CFileMapping;  // maps the file's bytes by its handle
#if defined(_WIN32)
  void Attach(intptr_t handle, const std::string& fileName, bool stream);

  // The thread of a read that may wait, for CancelSynchronousIo; CancelRead
  // was called; that read is under way.
  SystemHandle m_hWake = kNoHandle;
  uint32_t m_nWaitingThread = 0;
  std::atomic<bool> m_bCancelled{false};
  std::atomic<bool> m_bWaiting{false};
#else
  void Attach(int fd, const std::string& fileName, bool stream);

  // An eventfd that CancelRead signals, only for a stream being read.
  SystemHandle m_hWake = kNoHandle;
#endif
  std::function<void()> m_beforeWait;
};
