// The whole run, in this process, on arbitrary sources, against a plain model
// of the tool.
//
// Input: switches, offset, source.
//   switches bits 0-3  /r, /b, /e, /c
//   switches bit 4     distinct filler lines before the source, so that the
//                      target's 60000-byte buffer fills about where the
//                      source's own lines begin (the offset byte moves it)
//   switches bit 5     the source (and the filler) is UTF-16 LE with a mark
//   switches bit 6     a progress callback is passed, and checked
//   switches bit 7     memory for 1 + 97 * offset bytes, so that the index
//                      runs short at once or after some lines and the rest
//                      is set aside on disk; and a duplicates file
//
// The model reads the source's lines with CTextFile, trims and drops blanks as
// the switches say (TrimLine), keeps a line when its compared text is new (the
// folded copy unless /c; in UTF-8, from the code page or the source's own
// encoding, ICU's u_strFoldCase of each character: the secret fingerprints
// collide by chance only, about once in 2^80 pairs), and
// ends every kept line with the terminator of the source's style. The target must be exactly that, the duplicates file
// the other lines offered, and the run must end with status 0.
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "app/DedupCommandLineInfo.h"
#include "app/DedupPass.h"
#include "app/DedupRun.h"
#include "dedup/CaseFolder.h"
#include "fuzz/FuzzSupport.h"
#include "textfile/TextFile.h"

namespace {

const char* const kTerminators[] = {"\r\n", "\n\r", "\n", "\r"};

std::string ToUtf16Le(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    out += c;
    out += '\0';
  }
  return out;
}

struct Outputs {
  std::string target;
  std::string duplicates;
};

Outputs Model(const std::string& sourcePath, uint32_t options) {
  CTextFile source(encAutoDetect);
  FUZZ_CHECK(source.Open(sourcePath, CFile::modeRead | CFile::shareDenyNone));
  const bool caseSensitive = (options & optCaseSensitive) != 0;
  const bool removeBlank = (options & optRemoveBlank) != 0;
  std::set<std::string> kept;
  Outputs out;
  while (char* line = source.ReadLine()) {
    int32_t length = source.GetLineLength();
    if (length == 0 && removeBlank) continue;
    length = TrimLine(&line, length, options);
    if (length == 0 && removeBlank) continue;
    std::string text(line, static_cast<size_t>(length));
    std::string fingerprinted = text;
    if (!caseSensitive) {
      const Encoding encoding = source.m_nEncoding;
      if (CCodePage::System().GetKind() == CCodePage::Kind::Utf8 || encoding == encUtf8) {
        fingerprinted = fuzz::ReferenceFoldUtf8(text);
      } else {
        const CCaseFolder& folder = CCaseFolder::ForSource(IsUtf16(encoding) ? CCaseFolder::SourceText::FromUtf16
                                                                             : CCaseFolder::SourceText::CodePage);
        fingerprinted.resize(folder.FoldRoom(text.size()));
        fingerprinted.resize(folder.Fold(text.data(), text.size(), fingerprinted.data()));
      }
    }
    const bool isNew = kept.insert(fingerprinted).second;
    std::string& to = isNew ? out.target : out.duplicates;
    to += text;
    to += kTerminators[source.m_nEolStyle & 3];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t switches = data[0];
  const uint8_t offset = data[1];
  uint32_t options = 0;
  if (switches & 1) options |= optRemoveBlank;
  if (switches & 2) options |= optTrimLeading;
  if (switches & 4) options |= optTrimTrailing;
  if (switches & 8) options |= optCaseSensitive;
  const bool utf16 = (switches & 32) != 0;

  // Lines of 100 bytes with their LF; 600 of them fill the buffer exactly.
  static const std::string filler = [] {
    std::string lines;
    char line[128];
    for (int i = 0; i < 624; ++i) {
      std::snprintf(line, sizeof line, "filler %05d%88s\n", i, "");
      lines += line;
    }
    return lines;
  }();
  static const std::string filler16 = ToUtf16Le(filler);
  const size_t fillerBytes = (switches & 16) ? static_cast<size_t>(560 + offset % 64) * 100 : 0;
  const std::string body(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string source;
  if (utf16) {
    source = "\xFF\xFE" + filler16.substr(0, 2 * fillerBytes) + ToUtf16Le(body);
  } else {
    source = filler.substr(0, fillerBytes) + body;
  }

  const std::string sourcePath = fuzz::ScratchDir() + "/run-source";
  const std::string targetPath = fuzz::ScratchDir() + "/run-target";
  const std::string duplicatesPath = fuzz::ScratchDir() + "/run-duplicates";
  fuzz::WriteFile(sourcePath, source);

  CDedupCommandLineInfo info;
  info.m_strSource = sourcePath;
  info.m_strTarget = targetPath;
  info.m_nNames = 2;
  info.m_nOptions = options;
  const bool bounded = (switches & 128) != 0;
  if (bounded) {
    info.m_nMemory = 1 + 97 * uint64_t{offset};
    info.m_strTempDir = fuzz::ScratchDir();
    info.m_strDuplicates = duplicatesPath;
  }

  RunProgress last{};
  ProgressCallback progress;
  if (switches & 64) {
    progress = [&](const RunProgress& now) {
      // Each phase reads from the start; none comes back.
      FUZZ_CHECK(now.phase >= last.phase && now.bytesRead <= source.size());
      FUZZ_CHECK(now.phase != last.phase || now.bytesRead >= last.bytesRead);
      FUZZ_CHECK(now.linesKept >= last.linesKept && now.linesDropped >= last.linesDropped);
      last = now;
    };
  }
  const int status = RunDedup(info, progress);
  FUZZ_CHECK(status == exitDone, "status " + std::to_string(status));

  const std::string target = fuzz::ReadFile(targetPath);
  const Outputs expected = Model(sourcePath, options);
  FUZZ_CHECK(target == expected.target, "target " + fuzz::Show(target) + "\nexpected " + fuzz::Show(expected.target));
  if (bounded) {
    const std::string duplicates = fuzz::ReadFile(duplicatesPath);
    FUZZ_CHECK(duplicates == expected.duplicates,
               "duplicates " + fuzz::Show(duplicates) + "\nexpected " + fuzz::Show(expected.duplicates));
  }
  FUZZ_CHECK(fuzz::ReadFile(sourcePath) == source, "the source changed");
  return 0;
}
