// The component text format: one component and its published properties as
// the class library's streaming writes them ("object Name: TClass", one
// "Name = value" line per property, "end"), read and written through the
// class's TPublishedTable. Also the object records (class name and text)
// that skin bodies and "Objects" properties store children in.
//
// Reading a skin object record:
//   TObjectRecord rec = ReadObjectRecord(stream);
//   (look rec.ClassName up; unknown: skip, the record is consumed)
//   ReadComponentText(rec.Text, *obj, obj->Published());
// Writing one:
//   WriteObjectRecord(stream, {"TSeBitmapObject", WriteComponentText(*obj, obj->Published())});
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Published.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"

namespace vorra {

// Nesting of objects, lists and collections, counted across the reads that
// binary properties start inside each other.
inline constexpr int MaxComponentTextDepth = 64;

// A text that cannot be read; the message starts with "Line N: " when the
// place is known.
class EComponentTextError : public EReadError {
 public:
  EComponentTextError(const std::string& Msg, int Line) : EReadError(Msg), FLine(Line) {}
  int Line() const { return FLine; }

 private:
  int FLine;
};

// What the text holds, before any object is involved.
enum class TTextValueType { tvInteger, tvFloat, tvString, tvIdent, tvSet, tvList, tvCollection, tvBinary };

struct TTextProperty;

struct TTextValue {
  TTextValueType Type = TTextValueType::tvInteger;
  std::int64_t Integer = 0;
  double Float = 0;
  std::string Text;                    // string bytes, identifier (True, False, clRed...), binary bytes
  std::vector<std::string> Elements;   // set
  std::vector<TTextValue> Items;       // list
  std::vector<std::vector<TTextProperty>> Collection;  // one property list per item
};

struct TTextProperty {
  std::string Name;  // may be dotted: Font.Name
  TTextValue Value;
  int Line = 0;
};

struct TTextObject {
  std::string Name;  // empty for an unnamed component
  std::string ClassName;
  std::vector<TTextProperty> Properties;
  std::vector<TTextObject> Children;  // nested "object ... end" blocks
  int Line = 0;
};

// Raises EComponentTextError. Accepts CR LF, LF or CR line ends, $hex
// integers, and any blanks between tokens.
TTextObject ParseComponentText(const std::string& Text);
// Lines end in CR LF. Strings over 64 bytes go on their own lines in
// pieces of 64 joined with +; binary data 32 bytes a line. Raises
// EWriteError for a name that is no identifier or a float that is no number.
std::string PrintComponentText(const TTextObject& Object);

// Object <-> text through its table. The writer leaves out properties equal
// to their defaults and writes binary properties after all others, then the
// nested objects of Table.Children.
TTextObject ComponentToText(const TPersistent& Object, const TPublishedTable& Table);
std::string WriteComponentText(const TPersistent& Object, const TPublishedTable& Table);

// A nested block whose class the parent could not make; the reader skips it.
struct TSkippedObject {
  std::string ClassName;
  int Line = 0;
};

// Sets Object (named from the text when it is a component) from a text of
// Table.ClassName. An unknown property, a value of the wrong kind, an
// unknown class in the header or too deep nesting raise
// EComponentTextError; nested blocks of unknown classes are skipped and
// listed in Skipped when given.
void ReadComponentText(const std::string& Text, TPersistent& Object, const TPublishedTable& Table,
                       std::vector<TSkippedObject>* Skipped = nullptr);
void TextToComponent(const TTextObject& Text, TPersistent& Object, const TPublishedTable& Table,
                     std::vector<TSkippedObject>* Skipped = nullptr);

// One object record: class name, then the object in the text form, both as
// a 32-bit little-endian length and that many bytes.
struct TObjectRecord {
  std::string ClassName;
  std::string Text;
};

// EReadError on a short stream or a negative length; reads in pieces, so a
// length larger than the stream holds costs no more memory than the stream.
std::string ReadLengthString(TStream& Stream);
void WriteLengthString(TStream& Stream, const std::string& Value);
TObjectRecord ReadObjectRecord(TStream& Stream);
void WriteObjectRecord(TStream& Stream, const TObjectRecord& Record);

// The bytes of an "Objects" property: a 32-bit count and that many records.
// Decoding raises EReadError on a negative or impossible count, a short
// record or bytes left over.
std::string EncodeObjectRecords(const std::vector<TObjectRecord>& Records);
std::vector<TObjectRecord> DecodeObjectRecords(const std::string& Bytes);

}  // namespace vorra
