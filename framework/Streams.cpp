#include "framework/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/win/ErrorText.h"

namespace vorra {

namespace {

[[noreturn]] void FileError(const char* what, const std::string& name, int error) {
  const win::HRESULT code = win::HResultFromErrno(error);
  throw EStreamError(Format("%s \"%s\": %s", what, name.c_str(), win::ErrorText(code).c_str()), code);
}

}  // namespace

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream* Source, std::int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const std::int64_t total = Count;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, 0xF000)));
  while (Count > 0) {
    const std::int64_t n = std::min<std::int64_t>(Count, static_cast<std::int64_t>(buffer.size()));
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    Count -= n;
  }
  return total;
}

std::int64_t TStream::Size() {
  const std::int64_t pos = Seek(0, soFromCurrent);
  const std::int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {}

namespace {

std::int64_t NewPosition(std::int64_t current, std::int64_t size, std::int64_t offset, int origin) {
  switch (origin) {
    case soFromBeginning: return offset;
    case soFromCurrent: return current + offset;
    case soFromEnd: return size + offset;
    default: throw EStreamError("Invalid stream operation");
  }
}

// Bytes that can move between [pos, pos+count) and a store of `size`.
std::int64_t Available(std::int64_t pos, std::int64_t size, std::int64_t count) {
  if (pos < 0 || count <= 0 || pos >= size) return 0;
  return std::min(count, size - pos);
}

}  // namespace

template <class TBytes>
std::int64_t TBufferStream<TBytes>::Read(void* Buffer, std::int64_t Count) {
  const std::int64_t n = Available(position_, Size(), Count);
  if (n > 0) std::memcpy(Buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

template <class TBytes>
std::int64_t TBufferStream<TBytes>::Write(const void* Buffer, std::int64_t Count) {
  if (position_ < 0 || Count <= 0) return 0;
  const std::int64_t end = position_ + Count;
  if (end > Size()) data_.resize(static_cast<std::size_t>(end));
  std::memcpy(data_.data() + position_, Buffer, static_cast<std::size_t>(Count));
  position_ = end;
  return Count;
}

template <class TBytes>
std::int64_t TBufferStream<TBytes>::Seek(std::int64_t Offset, int Origin) {
  position_ = NewPosition(position_, Size(), Offset, Origin);
  return position_;
}

template <class TBytes>
void TBufferStream<TBytes>::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream operation");
  data_.resize(static_cast<std::size_t>(NewSize));
  if (position_ > NewSize) position_ = NewSize;
}

template class TBufferStream<std::vector<unsigned char>>;
template class TBufferStream<std::string>;

// --- TMemoryStream

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  const std::int64_t size = Stream->Size();
  SetSize(size);
  if (size > 0) Stream->ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) {
  if (!data_.empty()) Stream->WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(&file);
}

// --- TFileStream

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : name_(FileName) {
  const bool create = (Mode & fmCreate) == fmCreate;
  int flags = O_CLOEXEC;
  if (create) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (Mode & 3) {
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: flags |= O_RDONLY; break;
    }
  }
  fd_ = ::open(FileName.c_str(), flags, 0666);
  int error = errno;
  if (fd_ >= 0) {
    // A folder opens for reading here; no file stream can use it.
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      error = EISDIR;
    }
  }
  if (fd_ < 0) {
    const win::HRESULT code = win::HResultFromErrno(error, create);
    const std::string why = win::ErrorText(code);
    if (create) throw EFCreateError(Format("Cannot create file \"%s\": %s", FileName.c_str(), why.c_str()), code);
    throw EFOpenError(Format("Cannot open file \"%s\": %s", FileName.c_str(), why.c_str()), code);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  auto* p = static_cast<unsigned char*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::read(fd_, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  const auto* p = static_cast<const unsigned char*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, int Origin) {
  int whence = SEEK_SET;
  if (Origin == soFromCurrent) whence = SEEK_CUR;
  else if (Origin == soFromEnd) whence = SEEK_END;
  else if (Origin != soFromBeginning) throw EStreamError("Invalid stream operation");
  const off_t pos = ::lseek(fd_, static_cast<off_t>(Offset), whence);
  if (pos < 0) FileError("Cannot seek in", name_, errno);
  return pos;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (::ftruncate(fd_, static_cast<off_t>(NewSize)) != 0)
    FileError("Cannot set the size of", name_, errno);
  // The position stays unless it lay past the new end.
  if (Position() > NewSize) SetPosition(NewSize);
}

// --- TStringStream

std::string TStringStream::ReadString(std::int64_t Count) {
  const std::int64_t n = Available(position_, Size(), Count);
  std::string out = n > 0 ? data_.substr(static_cast<std::size_t>(position_), static_cast<std::size_t>(n)) : std::string();
  position_ += n;
  return out;
}

}  // namespace vorra
