// Helpers the tests share: a scratch folder that cleans up after itself, a
// scoped environment variable, and small file helpers.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorra::test {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The folder with a trailing "/", as the program's folder texts are.
  std::string Folder() const { return path_.string() + '/'; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::optional<std::string>& value);
  ~TScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Processes forked from a test that start together: each runs body(index,
// payload) once Release hands every one of them the payload, and exits with
// its failure count (0: all went well). Fork before starting threads: a
// child of a threaded process may inherit a lock it can never take.
class TChildren {
 public:
  using TBody = std::function<int(int index, const std::string& payload)>;
  TChildren(int count, const TBody& body);  // throws when it cannot fork
  ~TChildren();                             // ends and reaps children still running
  TChildren(const TChildren&) = delete;
  TChildren& operator=(const TChildren&) = delete;

  void Release(const std::string& payload = {});
  // Exit codes in child order; -1 for a child that did not exit by itself.
  std::vector<int> Wait();

 private:
  std::vector<pid_t> pids_;
  std::vector<int> gates_;  // write ends, one a child
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Sorted names of the entries of a folder.
std::vector<std::string> ListNames(const std::filesystem::path& folder);

}  // namespace vorra::test
