// Streams of bytes: the abstract TStream with its raising Buffer calls, a
// stream in memory, one on a file and one over a text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/SysUtils.h"

namespace vorra {

// Seek origins, as numbers and as the enumeration.
inline constexpr int soFromBeginning = 0;
inline constexpr int soFromCurrent = 1;
inline constexpr int soFromEnd = 2;
enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  // Answer how many bytes moved; fewer than Count is no error here.
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  // Answers the new position. Positions beyond the end are allowed: reads
  // there give nothing, writes there extend the stream.
  virtual std::int64_t Seek(std::int64_t Offset, int Origin) = 0;

  // EReadError / EWriteError unless all Count bytes move.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source
  // from its start. Answers the bytes copied; a short source raises EReadError.
  std::int64_t CopyFrom(TStream* Source, std::int64_t Count);

  std::int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soFromBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t NewSize);
};

// A stream over bytes held in memory (a vector or a string of bytes).
template <class TBytes>
class TBufferStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  // Overwrites from the position and extends; what follows the written
  // bytes stays.
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, int Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  // A position past the new end moves to the end.
  void SetSize(std::int64_t NewSize) override;

 protected:
  TBytes data_;
  std::int64_t position_ = 0;
};

class TMemoryStream : public TBufferStream<std::vector<unsigned char>> {
 public:
  void Clear();
  void* Memory() { return data_.data(); }
  const void* Memory() const { return data_.data(); }
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
};

// File modes: one open mode, or'ed with one share mode. Share modes are
// accepted but not enforced: POSIX has no mandatory sharing.
inline constexpr unsigned fmCreate = 0xFF00;
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareCompat = 0x0000;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyRead = 0x0030;
inline constexpr unsigned fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
 public:
  // fmCreate makes the file or empties it (EFCreateError when it cannot);
  // the other modes open an existing file (EFOpenError). The message names
  // the file and the system's reason. Folders are refused.
  TFileStream(const std::string& FileName, unsigned Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, int Origin) override;
  void SetSize(std::int64_t NewSize) override;
  const std::string& FileName() const { return name_; }
  int Handle() const { return fd_; }

 private:
  std::string name_;
  int fd_ = -1;
};

// A stream over a text; DataString is the whole text.
class TStringStream : public TBufferStream<std::string> {
 public:
  explicit TStringStream(std::string AString = {}) { data_ = std::move(AString); }

  // Up to Count bytes from the position.
  std::string ReadString(std::int64_t Count);
  void WriteString(const std::string& AString) { Write(AString.data(), static_cast<std::int64_t>(AString.size())); }
  const std::string& DataString() const { return data_; }
};

}  // namespace vorra
