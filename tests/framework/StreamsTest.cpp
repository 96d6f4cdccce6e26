#include "framework/Streams.h"

#include <gtest/gtest.h>

#include "framework/Lists.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(TMemoryStream, ReadsStopAtTheEndAndShortReadsRaise) {
  TMemoryStream s;
  s.WriteBuffer("hello", 5);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(3);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
  s.SetPosition(3);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
  s.SetPosition(0);
  s.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  s.ReadBuffer(buf, 0);  // nothing asked, nothing missing
}

TEST(TMemoryStream, SeekBeyondTheEndReadsNothingAndWritingThereFillsTheGap) {
  TMemoryStream s;
  s.WriteBuffer("ab", 2);
  EXPECT_EQ(s.Seek(3, soFromEnd), 5);
  char c;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Size(), 2);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), 6), std::string("ab\0\0\0z", 6));
  EXPECT_EQ(s.Seek(-2, soFromCurrent), 4);
  EXPECT_EQ(s.Seek(-10, soFromBeginning), -10);
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  s.SetPosition(6);
  s.SetSize(1);
  EXPECT_EQ(s.Position(), 1);
  EXPECT_THROW(s.Seek(0, 7), EStreamError);
}

TEST(TFileStream, OpenErrorsNameTheFileAndTheReason) {
  test::TTempDir dir;
  test::TScopedEnv home("VORRA_HOME", dir.Folder());
  const std::string missing = dir / "missing.bin";
  const std::string msg = MessageOf<EFOpenError>([&] { TFileStream f(missing, fmOpenRead); });
  EXPECT_NE(msg.find("\"" + missing + "\""), std::string::npos) << msg;
  EXPECT_NE(msg.find("no such file"), std::string::npos) << msg;

  const std::string inMissingFolder = dir / "no/such/folder.bin";
  const std::string cmsg = MessageOf<EFCreateError>([&] { TFileStream f(inMissingFolder, fmCreate); });
  EXPECT_NE(cmsg.find("Cannot create file \"" + inMissingFolder + "\""), std::string::npos) << cmsg;
  EXPECT_NE(cmsg.find("no such folder"), std::string::npos) << cmsg;
  try {
    TFileStream f(inMissingFolder, fmCreate);
    ADD_FAILURE() << "created";
  } catch (const Exception& e) {
    EXPECT_EQ(e.ErrorCode(), win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND));  // the code goes with the text
  }

  // A folder opens for reading on this system; a file stream must not take it.
  const std::string fmsg = MessageOf<EFOpenError>([&] { TFileStream f(dir.Path().string(), fmOpenRead); });
  EXPECT_NE(fmsg.find(dir.Path().string()), std::string::npos) << fmsg;
  // Both are stream errors to a caller that does not care which.
  EXPECT_THROW(TFileStream(missing, fmOpenReadWrite | fmShareDenyNone), EStreamError);
}

TEST(TFileStream, CreateWriteReopenCopyAndTruncate) {
  test::TTempDir dir;
  test::TScopedEnv home("VORRA_HOME", dir.Folder());
  const std::string path = dir / "data.bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.Position(), 10);
  }
  {
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    // Reading-only: writes move nothing.
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
    f.SetPosition(4);
    TMemoryStream m;
    EXPECT_EQ(m.CopyFrom(&f, 3), 3);
    EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), 3), "456");
    EXPECT_THROW(m.CopyFrom(&f, 10), EReadError);
    // Count 0 takes the whole source from its start.
    TStringStream all;
    EXPECT_EQ(all.CopyFrom(&f, 0), 10);
    EXPECT_EQ(all.DataString(), "0123456789");
    EXPECT_EQ(f.Seek(5, soFromEnd), 15);
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0);
  }
  {
    TFileStream f(path, fmOpenReadWrite);
    f.Seek(0, soFromEnd);
    f.WriteBuffer("AB", 2);
    f.SetSize(4);
    EXPECT_EQ(f.Position(), 4);
  }
  EXPECT_EQ(test::ReadText(path), "0123");
  // fmCreate empties an existing file.
  { TFileStream f(path, fmCreate | fmShareExclusive); }
  EXPECT_EQ(test::ReadText(path), "");

  TMemoryStream m;
  m.WriteBuffer("saved", 5);
  m.SaveToFile(dir / "m.bin");
  TMemoryStream back;
  back.LoadFromFile(dir / "m.bin");
  EXPECT_EQ(back.Size(), 5);
  EXPECT_EQ(back.Position(), 0);
}

TEST(TStringStream, WritesOverwriteInPlaceAndKeepTheRest) {
  TStringStream s("hello world");
  EXPECT_EQ(s.ReadString(5), "hello");
  s.WriteString("_W");
  EXPECT_EQ(s.DataString(), "hello_World");
  s.Seek(-1, soFromEnd);
  s.WriteString("D!");
  EXPECT_EQ(s.DataString(), "hello_WorlD!");
  EXPECT_EQ(s.ReadString(4), "");
  s.SetPosition(0);
  EXPECT_EQ(s.ReadString(100), "hello_WorlD!");
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(s.DataString(), "he");
}

int CompareInts(void* a, void* b) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(a) - reinterpret_cast<std::intptr_t>(b));
}
void* P(std::intptr_t v) { return reinterpret_cast<void*>(v); }

TEST(TList, EditsIndexesAndErrors) {
  TList list;
  EXPECT_EQ(list.Add(P(3)), 0);
  list.Add(P(1));
  list.Add(P(2));
  list.Insert(0, P(9));
  EXPECT_EQ(list.IndexOf(P(1)), 2);
  EXPECT_EQ(list.Remove(P(9)), 0);
  EXPECT_EQ(list.Remove(P(9)), -1);
  list.Exchange(0, 2);
  EXPECT_EQ(list.First(), P(2));
  EXPECT_EQ(list.Last(), P(3));
  list.Add(P(1));
  list.Sort(CompareInts);
  EXPECT_EQ(list.Items(0), P(1));
  EXPECT_EQ(list.Items(1), P(1));
  EXPECT_EQ(list.Items(3), P(3));
  list.Move(3, 0);
  EXPECT_EQ(list[0], P(3));
  EXPECT_EQ(list.Extract(P(2)), P(2));
  EXPECT_EQ(list.Extract(P(2)), nullptr);
  EXPECT_EQ(list.Count(), 3);

  try {
    list.Items(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
  EXPECT_THROW(list.Insert(5, nullptr), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.SetCapacity(2), EListError);
  EXPECT_THROW(list.SetCount(-1), EListError);
  list.SetCount(5);
  EXPECT_EQ(list.Items(4), nullptr);
  EXPECT_GE(list.Capacity(), 5);
  list.Pack();
  EXPECT_EQ(list.Count(), 3);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

}  // namespace
}  // namespace vorra
