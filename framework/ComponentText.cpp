#include "framework/ComponentText.h"

#include <algorithm>
#include <cstdint>

namespace vorra {

namespace {

constexpr std::int64_t kReadPiece = 65536;

std::int32_t ReadInt32(TStream& Stream) {
  unsigned char b[4];
  Stream.ReadBuffer(b, 4);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                                   static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

void WriteInt32(TStream& Stream, std::int32_t Value) {
  const auto v = static_cast<std::uint32_t>(Value);
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  Stream.WriteBuffer(b, 4);
}

}  // namespace

std::string ReadLengthString(TStream& Stream) {
  const std::int32_t length = ReadInt32(Stream);
  if (length < 0) throw EReadError("Negative string length " + IntToStr(length));
  std::string s;
  // Grows only as the bytes arrive: a hostile length meets the end of the
  // stream long before memory runs out.
  while (static_cast<std::int64_t>(s.size()) < length) {
    const std::int64_t piece = std::min<std::int64_t>(kReadPiece, length - static_cast<std::int64_t>(s.size()));
    const std::size_t at = s.size();
    s.resize(at + static_cast<std::size_t>(piece));
    Stream.ReadBuffer(s.data() + at, piece);
  }
  return s;
}

void WriteLengthString(TStream& Stream, const std::string& Value) {
  if (Value.size() > static_cast<std::size_t>(INT32_MAX)) throw EWriteError("String too long to store");
  WriteInt32(Stream, static_cast<std::int32_t>(Value.size()));
  Stream.WriteBuffer(Value.data(), static_cast<std::int64_t>(Value.size()));
}

TObjectRecord ReadObjectRecord(TStream& Stream) {
  TObjectRecord r;
  r.ClassName = ReadLengthString(Stream);
  r.Text = ReadLengthString(Stream);
  return r;
}

void WriteObjectRecord(TStream& Stream, const TObjectRecord& Record) {
  WriteLengthString(Stream, Record.ClassName);
  WriteLengthString(Stream, Record.Text);
}

std::string EncodeObjectRecords(const std::vector<TObjectRecord>& Records) {
  TStringStream s;
  WriteInt32(s, static_cast<std::int32_t>(Records.size()));
  for (const TObjectRecord& r : Records) WriteObjectRecord(s, r);
  return s.DataString();
}

std::vector<TObjectRecord> DecodeObjectRecords(const std::string& Bytes) {
  TStringStream s(Bytes);
  const std::int32_t count = ReadInt32(s);
  // Every record takes at least its two lengths.
  if (count < 0 || static_cast<std::int64_t>(count) * 8 > s.Size() - s.Position())
    throw EReadError("Invalid object count " + IntToStr(count));
  std::vector<TObjectRecord> records;
  records.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) records.push_back(ReadObjectRecord(s));
  if (s.Position() != s.Size()) throw EReadError("Bytes left over after the objects");
  return records;
}

}  // namespace vorra
