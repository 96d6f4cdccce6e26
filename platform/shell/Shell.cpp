#include "platform/shell/Shell.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "platform/win/ErrorText.h"

namespace win {

namespace fs = std::filesystem;

namespace {

inline constexpr int DE_DESTSUBTREE = 0x75;

class TUnattendedUI final : public IShellOperationUI {
 public:
  TShellAnswer Ask(HWND, TShellQuestion, const std::string&, std::size_t) override { return TShellAnswer::No; }
  void ShowError(HWND, const std::string& text) override { std::cerr << "vorra: " << text << '\n'; }
  bool ShowProgress(HWND, std::size_t, std::size_t, const std::string&) override { return true; }
};

TUnattendedUI g_unattended;
std::atomic<IShellOperationUI*> g_ui{nullptr};

std::vector<std::string> SplitList(LPCSTR list) {
  std::vector<std::string> items;
  if (!list) return items;
  for (const char* p = list; *p; p += std::strlen(p) + 1) items.emplace_back(p);
  return items;
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// The Win32 code of a file-system failure, where it has one users can read.
int CodeOf(const std::error_code& ec) {
  const DWORD error = ErrnoToWin32Error(ec.value());
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_DISK_FULL: return static_cast<int>(error);
    default: return DE_UNKNOWN_ERROR;
  }
}

bool IsRealDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(p, ec));
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

struct TItem {
  fs::path path;
  bool fromWildcard;
};

class TOperation {
 public:
  TOperation(SHFILEOPSTRUCTA& op, IShellOperationUI& ui) : op_(op), ui_(ui) {}

  int Run() {
    const std::vector<std::string> sources = SplitList(op_.pFrom);
    if (sources.empty()) return Fail(DE_INVALIDFILES, "No source files were given.");
    std::vector<TItem> items;
    if (const int rc = Expand(sources, items)) return rc;
    int rc;
    switch (op_.wFunc) {
      case FO_DELETE: rc = Delete(items); break;
      case FO_COPY: rc = Copy(items); break;
      default: return Fail(DE_INVALIDFILES, "This file operation is not supported.");
    }
    if (!Has(FOF_SILENT)) ui_.EndProgress(op_.hwnd);
    return rc;
  }

 private:
  bool Has(FILEOP_FLAGS f) const { return (op_.fFlags & f) != 0; }

  int Fail(int code, const std::string& text) {
    if (!Has(FOF_NOERRORUI)) ui_.ShowError(op_.hwnd, text);
    return code;
  }

  int Fail(const std::string& what, const fs::path& p, const std::error_code& ec) {
    return Fail(CodeOf(ec), "Cannot " + what + " '" + p.string() + "': " + Win32ErrorText(ErrnoToWin32Error(ec.value())));
  }

  int Cancelled() {
    op_.fAnyOperationsAborted = TRUE;
    return static_cast<int>(ERROR_CANCELLED);
  }

  bool Progress(std::size_t done, std::size_t total, const fs::path& item) {
    if (Has(FOF_SILENT)) return true;
    return ui_.ShowProgress(op_.hwnd, done, total, Has(FOF_SIMPLEPROGRESS) ? std::string() : item.string());
  }

  // Wildcards may stand in the last component only; they never match "." or "..".
  int Expand(const std::vector<std::string>& sources, std::vector<TItem>& items) {
    for (const std::string& s : sources) {
      const fs::path p(s);
      const std::string pattern = p.filename().string();
      if (!HasWildcard(pattern)) {
        if (HasWildcard(s)) return Fail(DE_INVALIDFILES, "Invalid file name '" + s + "'.");
        if (!Exists(p))
          return Fail(static_cast<int>(ERROR_FILE_NOT_FOUND), "Cannot find '" + s + "'.");
        items.push_back({p, false});
        continue;
      }
      const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
      if (HasWildcard(dir.string())) return Fail(DE_INVALIDFILES, "Invalid file name '" + s + "'.");
      if (!IsRealDirectory(dir))
        return Fail(static_cast<int>(ERROR_PATH_NOT_FOUND), "Cannot find the folder '" + dir.string() + "'.");
      std::error_code ec;
      std::vector<fs::path> found;
      for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (MatchesWildcard(it->path().filename().string(), pattern)) found.push_back(it->path());
      if (ec) return Fail("read", dir, ec);
      std::sort(found.begin(), found.end());
      for (auto& f : found) items.push_back({std::move(f), true});
    }
    return 0;
  }

  int Delete(const std::vector<TItem>& items) {
    if (items.empty()) return 0;
    if (!Has(FOF_NOCONFIRMATION)) {
      const TShellAnswer a = ui_.Ask(op_.hwnd, TShellQuestion::DeleteItems, items.front().path.string(), items.size());
      if (a != TShellAnswer::Yes && a != TShellAnswer::YesToAll) return Cancelled();
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      const TItem& item = items[i];
      if (!Progress(i, items.size(), item.path)) return Cancelled();
      std::error_code ec;
      if (IsRealDirectory(item.path)) {
        if (item.fromWildcard && Has(FOF_FILESONLY)) continue;
        fs::remove_all(item.path, ec);  // removes links inside, never what they point at
      } else {
        fs::remove(item.path, ec);
      }
      if (ec) return Fail("delete", item.path, ec);
    }
    return 0;
  }

  int EnsureFolder(const fs::path& folder) {
    if (folder.empty() || IsRealDirectory(folder)) return 0;
    if (Exists(folder)) return Fail(DE_INVALIDFILES, "'" + folder.string() + "' is not a folder.");
    if (!Has(FOF_NOCONFIRMMKDIR)) {
      const TShellAnswer a = ui_.Ask(op_.hwnd, TShellQuestion::CreateFolder, folder.string(), 1);
      if (a != TShellAnswer::Yes && a != TShellAnswer::YesToAll) return Cancelled();
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    return ec ? Fail("create the folder", folder, ec) : 0;
  }

  int Copy(const std::vector<TItem>& items) {
    const std::vector<std::string> dests = SplitList(op_.pTo);
    if (dests.empty()) return Fail(DE_INVALIDFILES, "No destination was given.");
    const bool anyWildcard = std::any_of(items.begin(), items.end(), [](const TItem& i) { return i.fromWildcard; });
    const bool pairwise = Has(FOF_MULTIDESTFILES) && !anyWildcard && dests.size() == items.size();
    const fs::path dest(dests.front());
    const bool intoFolder = !pairwise && (items.size() > 1 || anyWildcard || IsRealDirectory(dest));
    if (intoFolder) {
      if (const int rc = EnsureFolder(dest)) return rc;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      const fs::path& src = items[i].path;
      if (!Progress(i, items.size(), src)) return Cancelled();
      fs::path target = pairwise ? fs::path(dests[i]) : intoFolder ? dest / src.filename() : dest;
      if (!intoFolder) {
        if (const int rc = EnsureFolder(target.parent_path())) return rc;
      }
      if (const int rc = CopyItem(src, target)) return rc;
    }
    return 0;
  }

  int CopyItem(const fs::path& src, const fs::path& target) {
    std::error_code ec;
    if (Exists(target) && fs::equivalent(src, target, ec))
      return Fail(DE_SAMEFILE, "Cannot copy '" + src.string() + "': the source and the destination are the same file.");
    if (IsRealDirectory(src)) return CopyFolder(src, target);
    if (IsRealDirectory(target))
      return Fail(DE_INVALIDFILES, "Cannot replace the folder '" + target.string() + "' with a file.");
    if (Exists(target) && !Has(FOF_NOCONFIRMATION) && !yesToAll_) {
      switch (ui_.Ask(op_.hwnd, TShellQuestion::ReplaceFile, target.string(), 1)) {
        case TShellAnswer::Yes: break;
        case TShellAnswer::YesToAll: yesToAll_ = true; break;
        case TShellAnswer::No: return 0;
        case TShellAnswer::Cancel: return Cancelled();
      }
    }
    return CopyFileReplacing(src, target);
  }

  int CopyFolder(const fs::path& src, const fs::path& target) {
    std::error_code ec;
    const fs::path from = fs::weakly_canonical(src, ec);
    const fs::path to = fs::weakly_canonical(target, ec);
    const auto rel = to.lexically_relative(from);
    if (!rel.empty() && *rel.begin() != "..")
      return Fail(DE_DESTSUBTREE, "Cannot copy '" + src.string() + "' into itself.");
    if (!IsRealDirectory(target)) {
      fs::create_directory(target, ec);
      if (ec) return Fail("create the folder", target, ec);
    }
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(src, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    if (ec) return Fail("read", src, ec);
    std::sort(entries.begin(), entries.end());
    for (const fs::path& e : entries)
      if (const int rc = CopyItem(e, target / e.filename())) return rc;
    return 0;
  }

  // Through a temporary file beside the target: a failed copy never leaves a
  // partial file, and never spoils the file it was to replace.
  int CopyFileReplacing(const fs::path& src, const fs::path& target) {
    std::string tmpl = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty()) tmpl = "." + target.filename().string() + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return Fail("copy to", target, std::error_code(errno, std::generic_category()));
    ::close(fd);
    const fs::path tmp(tmpl);
    std::error_code ec;
    fs::copy_file(src, tmp, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(tmp, target, ec);
    if (ec) {
      std::error_code ignored;
      fs::remove(tmp, ignored);
      return Fail("copy '" + src.string() + "' to", target, ec);
    }
    return 0;
  }

  SHFILEOPSTRUCTA& op_;
  IShellOperationUI& ui_;
  bool yesToAll_ = false;
};

}  // namespace

IShellOperationUI* SetShellOperationUI(IShellOperationUI* ui) { return g_ui.exchange(ui); }

bool MatchesWildcard(const std::string& name, const std::string& pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Iterative match with one backtrack point: linear in practice, no recursion.
  std::size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int SHFileOperationA(SHFILEOPSTRUCTA* op) {
  if (!op) return DE_INVALIDFILES;
  op->fAnyOperationsAborted = FALSE;
  IShellOperationUI* ui = g_ui.load();
  TOperation operation(*op, ui ? *ui : g_unattended);
  return operation.Run();
}

}  // namespace win
