#include "platform/RunFiles.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace {

struct RegisteredFile {
  FileIdentity id;
  bool exclusive;
  const char* role;
};

// A run has a few files, and its temporary ones, which the deciding thread
// may create while another thread opens or closes a file.
std::mutex g_mutex;
std::vector<RegisteredFile> g_files;
std::atomic<bool> g_bStreamIsRunFile[3] = {};

}  // namespace

const char* FindConflictingFile(const FileIdentity& id, bool exclusive) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  for (const RegisteredFile& file : g_files) {
    if (file.id == id && (exclusive || file.exclusive)) return file.role;
  }
  return nullptr;
}

void RegisterFile(const FileIdentity& id, bool exclusive, const char* role) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  g_files.push_back({id, exclusive, role});
}

void UnregisterFile(const FileIdentity& id, bool exclusive) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_files.begin(); it != g_files.end(); ++it) {
    if (it->id == id && it->exclusive == exclusive) {
      g_files.erase(it);
      return;
    }
  }
}

void NoteFileOfRun(const FileIdentity& id) {
  for (StandardStream stream : {streamOutput, streamError}) {
    FileIdentity standard;
    if (StandardStreamIdentity(stream, &standard) && standard == id) g_bStreamIsRunFile[stream] = true;
  }
}

bool IsFileOfRun(StandardStream stream) { return g_bStreamIsRunFile[stream]; }
