#include "tests/support/TestSupport.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vorra::test {

TTempDir::TTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vorra-test-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TScopedEnv::TScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) ::setenv(name, value->c_str(), 1);
  else ::unsetenv(name);
}

TScopedEnv::~TScopedEnv() {
  if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
  else ::unsetenv(name_.c_str());
}

TChildren::TChildren(int count, const TBody& body) {
  for (int index = 0; index < count; ++index) {
    int gate[2];
    if (::pipe(gate) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      ::close(gate[1]);
      for (int earlier : gates_) ::close(earlier);
      std::string payload;
      char buf[256];
      for (ssize_t n; (n = ::read(gate[0], buf, sizeof buf)) > 0;) payload.append(buf, static_cast<std::size_t>(n));
      int failures = 1;
      try {
        failures = body(index, payload);
      } catch (...) {
      }
      ::_exit(failures < 0 ? 1 : failures > 99 ? 99 : failures);
    }
    ::close(gate[0]);
    pids_.push_back(pid);
    gates_.push_back(gate[1]);
  }
}

TChildren::~TChildren() {
  for (int gate : gates_) ::close(gate);
  for (pid_t pid : pids_) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

void TChildren::Release(const std::string& payload) {
  for (int gate : gates_)
    for (std::size_t done = 0; done < payload.size();) {
      const ssize_t n = ::write(gate, payload.data() + done, payload.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  // The closes, one right after the other, are what start the children.
  for (int gate : gates_) ::close(gate);
  gates_.clear();
}

std::vector<int> TChildren::Wait() {
  Release();  // children that were never released start now, with nothing
  std::vector<int> codes;
  for (pid_t pid : pids_) {
    int status = 0;
    const bool exited = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    codes.push_back(exited ? WEXITSTATUS(status) : -1);
  }
  pids_.clear();
  return codes;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  WriteText(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<std::string> ListNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vorra::test
