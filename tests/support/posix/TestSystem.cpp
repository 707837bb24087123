#include "TestSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::filesystem::path MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rowsift-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

CPipeFeeder::CPipeFeeder(const std::filesystem::path& folder, std::vector<std::string> pieces, int pauseMs) {
  const std::string path = (folder / "source.fifo").string();
  ::unlink(path.c_str());
  if (::mkfifo(path.c_str(), 0600) != 0) {
    ADD_FAILURE() << "mkfifo failed";
    return;
  }
  m_strName = path;
  std::signal(SIGPIPE, SIG_IGN);
  m_writer = std::thread([path, pauseMs, pieces = std::move(pieces)] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    for (const std::string& bytes : pieces) {
      for (size_t done = 0; fd >= 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      if (pieces.size() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    if (fd >= 0) ::close(fd);
  });
}

CPipeFeeder::~CPipeFeeder() {
  if (m_writer.joinable()) m_writer.join();
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& input,
                         const std::filesystem::path& folder, const std::filesystem::path& captures) {
  std::vector<std::string> command{"setsid", "-w", program};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<std::string> environment = env;
  environment.push_back("PATH=/usr/bin:/bin");
  std::vector<char*> argv, envp;
  for (auto& s : command) argv.push_back(s.data());
  for (auto& s : environment) envp.push_back(s.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string out = (captures / "out").string(), err = (captures / "err").string();
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return {"", "", -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, "setsid", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  if (spawned == 0 && !input.empty()) {
    std::signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  }
  ::close(in[1]);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) return {"", "spawn failed", -1};
  return {ReadWhole(out), ReadWhole(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string BuiltProgram(const std::string& path) { return path; }

std::vector<std::pair<std::string, std::string>> StandardStreamNames() { return {{"/dev/stdin", "/dev/stdout"}}; }

bool CodePageEnvironment(const std::string& codePage, std::vector<std::string>* env) {
  env->push_back("LC_ALL=en_US." + codePage);
  return true;
}

std::string ConsoleLines(const std::string& text) { return text; }
