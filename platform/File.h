// A thin stand-in for the framework's file class on POSIX: open by name, block
// read and write, length, close, and anonymous temporary files. A run seeks
// only to read a regular file a second time, so pipes serve as well as files.
// Failures after a successful open throw CFileException naming the file and
// the system's reason.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class CFileException : public std::runtime_error {
 public:
  // temporary: the file is one of the run's temporary files, named by its folder.
  CFileException(const std::string& fileName, const std::string& action, int error, bool temporary = false);
  int Error() const { return m_nError; }
  bool IsTemporary() const { return m_bTemporary; }

 private:
  int m_nError;
  bool m_bTemporary;
};

// Whether two names given for the source and the target are one name: exactly
// equal here, where names differing in letter case are different files; equal
// but for the case of A to Z on Windows.
bool FileNamesEqual(const std::string& a, const std::string& b);

// Whether standard output is the regular file of that name (`rowsift a.txt
// /dev/stdout >> a.txt`): a message written there would land in the file.
bool StandardOutputIsFile(const std::string& fileName);

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
  // this process, or when another run has it open (an advisory lock on a
  // regular file; the way exclusive sharing works on the original platform):
  // a target is never the source under another name, nor a file that another
  // run reads or writes. A regular file opened for writing is cut only once
  // that is settled.
  //
  // The names of the standard input and output (/dev/stdin, /dev/stdout and
  // their /dev/fd and /proc/self/fd forms) stand for the descriptors this
  // process was given, used as they are: at their offset, in their append
  // mode, never cut, so that `cmd >> log` and `{ read h; cmd; } < f` work.
  //
  // role names the file in the reason another open gives when it meets this
  // one ("is the source file"); a literal, as it is kept while the file is open.
  bool Open(const std::string& fileName, unsigned flags, std::string* reason = nullptr,
            const char* role = "the source file");
  // Cuts a file opened with modeCreate | modeNoTruncate as modeCreate alone
  // would have (nothing for a standard descriptor or a stream), so that all
  // the outputs of a run are checked before any is cut.
  void Cut();

  // Creates a file without a name in folder dir, for reading and writing:
  // nothing is left behind however the process ends. A failure throws
  // CFileException naming the folder, as do later ones.
  void CreateTemporary(const std::string& dir);
  // A second descriptor of the regular file other has open, for reading it
  // again from where other began; other must CanReadAgain(). The two share
  // one position: other is not to be read any more. Failures throw.
  bool CanReadAgain() const { return m_bRereadable; }
  void OpenAgain(const CFile& other);
  // Moves to where the file began when it was opened: its start, or the
  // position a standard descriptor had.
  void SeekToStart();
  void SetLength(uint64_t length);

  // Reads up to count bytes. A disk file fills the buffer and returns fewer
  // only at its end. A stream (pipe, FIFO, terminal, socket) returns what has
  // arrived, waiting only when nothing has: then the before-wait hook runs
  // first. A read of 0 bytes is the end of the input.
  virtual uint32_t Read(void* buffer, uint32_t count);
  // Writes all count bytes or throws.
  virtual void Write(const void* buffer, uint32_t count);
  virtual void Close();

  // The hook runs on the reading thread just before a read of a stream waits
  // for input that has not arrived; it may throw to abandon the read.
  void SetBeforeWait(std::function<void()> hook) { m_beforeWait = std::move(hook); }
  // May be called from another thread while the file is open: a read of a
  // stream that is waiting, and every later one, throws CFileException with
  // ECANCELED. A disk read never waits for long and is not interrupted.
  void CancelRead();

  uint64_t GetLength() const;

  bool IsOpen() const { return m_hFile >= 0; }
  // True for input that arrives over time, which a read may wait for.
  bool IsStream() const { return m_bStream; }
  bool IsTerminal() const;
  // A read has met the end of the input.
  bool ReachedEnd() const { return m_bEnded; }
  const std::string& GetFileName() const { return m_strFileName; }

 private:
  int ReleaseHandle();  // close(2)'s result
  bool WaitForInput(bool mayWait);

  void Attach(int fd, const std::string& fileName, bool stream, bool exclusive, uint64_t device, uint64_t inode,
              const char* role);

  int m_hFile = -1;
  int m_hWake = -1;  // signalled by CancelRead; only for a stream being read
  bool m_bStream = false;
  bool m_bEnded = false;
  bool m_bExclusive = false;
  bool m_bCutPending = false;
  bool m_bRereadable = false;
  bool m_bTemporary = false;
  uint64_t m_nStartOffset = 0;
  uint64_t m_nDevice = 0;
  uint64_t m_nInode = 0;
  std::string m_strFileName;
  std::function<void()> m_beforeWait;
};
