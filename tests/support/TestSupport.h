// Helpers the tests share: a scratch folder that cleans up after itself, a
// scoped environment variable, and small file helpers.
#pragma once

#include <filesystem>
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

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Sorted names of the entries of a folder.
std::vector<std::string> ListNames(const std::filesystem::path& folder);

}  // namespace vorra::test
