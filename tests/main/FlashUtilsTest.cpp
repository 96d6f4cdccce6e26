#include "main/FlashUtils.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tools/swfwriter/SwfWriter.h"

namespace vorra::swf {
// Names the form in test names and messages.
void PrintTo(TSwfForm form, std::ostream* os) {
  *os << (form == TSwfForm::sfPlain ? "plain" : form == TSwfForm::sfZlib ? "zlib" : "lzma");
}
}  // namespace vorra::swf

namespace vorra {
namespace {

using swf::TBytes;
using swf::TSwfForm;
using swf::TSwfWriter;
using test::TTempDir;

TSwfWriter MovieWithBackground(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  TSwfWriter w(10, {0, 550 * 20, 0, 400 * 20}, 7);
  w.SetBackgroundColor(r, g, b);
  w.ShowFrame();
  return w;
}

class SwfFileTest : public ::testing::TestWithParam<TSwfForm> {
 protected:
  std::string Write(const TBytes& bytes, const std::string& name = "movie.swf") {
    const std::string path = dir_ / name;
    swf::WriteFile(path, bytes);
    return path;
  }
  TTempDir dir_;
};

TEST_P(SwfFileTest, ReadsRectangleFramesAndBackground) {
  const std::string path = Write(MovieWithBackground(0x33, 0x66, 0x99).Bytes(GetParam()));
  TSwfHeader h;
  ReadSwfHeader(path, h);
  EXPECT_EQ(h.FrameRect.Left, 0);
  EXPECT_EQ(h.FrameRect.Top, 0);
  EXPECT_EQ(h.FrameRect.Right, 550);
  EXPECT_EQ(h.FrameRect.Bottom, 400);
  EXPECT_EQ(h.FrameCount, 7);
  EXPECT_TRUE(h.HasBackground);
  EXPECT_EQ(h.Background, 0x996633);
  EXPECT_EQ(FlashColor(h.Background), 0x336699);
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(path, info), TSwfReadResult::rrMovie);
  EXPECT_EQ(CheckSwfBody(path, info), "");
}

TEST_P(SwfFileTest, AnotherFirstTagMeansNoBackground) {
  TSwfWriter w(10, {0, 2000, 0, 2000}, 1);
  w.FileAttributes(0x08);
  w.SetBackgroundColor(1, 2, 3);
  TSwfHeader h;
  h.HasBackground = true;  // the reader itself decides
  ReadSwfHeader(Write(w.Bytes(GetParam())), h);
  EXPECT_FALSE(h.HasBackground);
  EXPECT_EQ(h.FrameCount, 1);
}

TEST_P(SwfFileTest, LargeMovieHeaderAndWholeBody) {
  TSwfWriter w = MovieWithBackground(0xFF, 0xCC, 0x00);
  w.Padding(300 * 1024);
  const std::string path = Write(w.Bytes(GetParam()));
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(path, info), TSwfReadResult::rrMovie);
  EXPECT_EQ(info.Header.Background, 0x00CCFF);
  EXPECT_GT(info.FileLength, 300u * 1024);
  EXPECT_EQ(CheckSwfBody(path, info), "");
}

TEST_P(SwfFileTest, CutShortMovieIsReportedByTheBodyCheck) {
  TSwfWriter w = MovieWithBackground(1, 2, 3);
  w.Padding(64 * 1024);
  TBytes bytes = w.Bytes(GetParam());
  bytes.resize(bytes.size() / 2);
  const std::string path = Write(bytes);
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(path, info), TSwfReadResult::rrMovie);  // the header is still there
  EXPECT_EQ(info.Header.Background, 0x030201);
  EXPECT_NE(CheckSwfBody(path, info).find("cut short"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllForms, SwfFileTest,
                         ::testing::Values(TSwfForm::sfPlain, TSwfForm::sfZlib, TSwfForm::sfLzma),
                         [](const auto& info) {
                           return info.param == TSwfForm::sfPlain ? "Plain"
                                  : info.param == TSwfForm::sfZlib ? "Zlib"
                                                                   : "Lzma";
                         });

TEST(ReadSwfHeader, VersionIsNotExaminedAndRectangleIsSigned) {
  TTempDir dir;
  for (std::uint8_t version : {0, 1, 99, 255}) {
    TSwfWriter w(version, {-400, 12000, -20, 8000}, 65535);
    w.SetBackgroundColor(0, 0, 0);
    const std::string path = dir / "v.swf";
    swf::WriteFile(path, w.Bytes(TSwfForm::sfPlain));
    TSwfFileInfo info;
    ASSERT_EQ(ReadSwfFile(path, info), TSwfReadResult::rrMovie);
    EXPECT_EQ(info.Version, version);
    EXPECT_EQ(info.Header.FrameRect.Left, -20);
    EXPECT_EQ(info.Header.FrameRect.Top, -1);
    EXPECT_EQ(info.Header.FrameRect.Right, 600);
    EXPECT_EQ(info.Header.FrameRect.Bottom, 400);
    EXPECT_EQ(info.Header.FrameCount, 65535);
    EXPECT_TRUE(info.Header.HasBackground);
  }
}

TEST(ReadSwfHeader, WidestRectangleFieldsStillFindTheBackground) {
  TTempDir dir;
  TSwfWriter w(8, {0, 20, 0, 40}, 3);
  w.SetRectBits(31);  // 5 + 124 bits: the largest rectangle there can be
  w.SetBackgroundColor(0xAB, 0xCD, 0xEF);
  for (TSwfForm form : {TSwfForm::sfPlain, TSwfForm::sfZlib, TSwfForm::sfLzma}) {
    swf::WriteFile(dir / "w.swf", w.Bytes(form));
    TSwfHeader h;
    ReadSwfHeader(dir / "w.swf", h);
    EXPECT_EQ(h.FrameRect.Right, 1);
    EXPECT_EQ(h.FrameRect.Bottom, 2);
    EXPECT_EQ(h.FrameCount, 3);
    EXPECT_EQ(h.Background, 0xEFCDAB);
  }
}

TEST(ReadSwfHeader, LeavesTheRecordAloneForWhatIsNotAMovie) {
  TTempDir dir;
  test::WriteText(dir / "page.html", "<html>FWS</html>");
  test::WriteText(dir / "empty.swf", "");
  test::WriteText(dir / "two.swf", "FW");
  ASSERT_EQ(::mkfifo((dir / "pipe.swf").c_str(), 0600), 0);
  for (const char* name : {"page.html", "empty.swf", "two.swf", "missing.swf", "pipe.swf", ""}) {
    TSwfHeader h;
    h.FrameCount = 42;
    h.Background = 0x123456;
    ReadSwfHeader(name[0] ? dir / name : dir.Path().string(), h);  // "" names the folder itself
    EXPECT_EQ(h.FrameCount, 42) << name;
    EXPECT_EQ(h.Background, 0x123456) << name;
    EXPECT_FALSE(h.HasBackground) << name;
  }
}

TEST(ReadSwfHeader, MissingBytesOfAShortPlainMovieReadAsZero) {
  TTempDir dir;
  test::WriteText(dir / "short.swf", "FWS");
  TSwfHeader h;
  h.FrameCount = 9;
  h.HasBackground = true;
  ReadSwfHeader(dir / "short.swf", h);
  EXPECT_EQ(h.FrameCount, 0);
  EXPECT_EQ(h.FrameRect.Right, 0);
  EXPECT_FALSE(h.HasBackground);
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(dir / "short.swf", info), TSwfReadResult::rrMovie);
  EXPECT_EQ(CheckSwfBody(dir / "short.swf", info), "");  // declares 0 bytes: nothing is missing
}

TEST(ReadSwfHeader, CompressedMovieCutInsideItsFixedHeaderIsNotRecognised) {
  TTempDir dir;
  test::WriteText(dir / "c.swf", std::string("CWS\x0a\x10\x00", 6));
  test::WriteText(dir / "z.swf", std::string("ZWS\x0d\x10\x00\x00\x00\x05\x00\x00\x00\x5d", 14));
  for (const char* name : {"c.swf", "z.swf"}) {
    TSwfHeader h;
    h.FrameCount = 5;
    ReadSwfHeader(dir / name, h);
    EXPECT_EQ(h.FrameCount, 5);
    TSwfFileInfo info;
    EXPECT_EQ(ReadSwfFile(dir / name, info), TSwfReadResult::rrShortHeader) << name;
  }
}

TEST(ReadSwfHeader, DamagedCompressedDataRaisesTheLibraryMessage) {
  TTempDir dir;
  test::WriteText(dir / "bad.swf", std::string("CWS\x0a\x40\x00\x00\x00", 8) + "not zlib data at all, just text");
  TSwfHeader h;
  try {
    ReadSwfHeader(dir / "bad.swf", h);
    FAIL() << "no error";
  } catch (const ESwfError& e) {
    EXPECT_STREQ(e.what(), "data error");
  }
  // Nothing after the header: the one decompression call cannot move.
  test::WriteText(dir / "eight.swf", std::string("CWS\x0a\x40\x00\x00\x00", 8));
  EXPECT_THROW(ReadSwfHeader(dir / "eight.swf", h), ESwfError);
}

TEST(ReadSwfHeader, HostileLzmaPropertiesAreRefusedOrBounded) {
  TTempDir dir;
  TBytes movie = MovieWithBackground(9, 8, 7).Bytes(TSwfForm::sfLzma);
  // A 4 GiB dictionary: read without allocating it.
  TBytes huge = movie;
  huge[13] = huge[14] = huge[15] = huge[16] = 0xFF;
  swf::WriteFile(dir / "huge.swf", huge);
  TSwfHeader h;
  ReadSwfHeader(dir / "huge.swf", h);
  EXPECT_EQ(h.Background, 0x070809);
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(dir / "huge.swf", info), TSwfReadResult::rrMovie);
  EXPECT_EQ(CheckSwfBody(dir / "huge.swf", info), "");
  // lc/lp/pb beyond their ranges.
  TBytes bad = movie;
  bad[12] = 0xFF;
  swf::WriteFile(dir / "bad.swf", bad);
  EXPECT_THROW(ReadSwfHeader(dir / "bad.swf", h), ESwfError);
}

TEST(ReadSwfHeader, ReadsNoMoreThanTheStartOfACompressedMovie) {
  // Everything behind the first 264 bytes is destroyed: the header must still read.
  TTempDir dir;
  TSwfWriter w = MovieWithBackground(0x10, 0x20, 0x30);
  w.Padding(100000);
  TBytes bytes = w.Bytes(TSwfForm::sfZlib);
  for (std::size_t i = 264; i < bytes.size(); ++i) bytes[i] = 0xFF;
  swf::WriteFile(dir / "m.swf", bytes);
  TSwfHeader h;
  ReadSwfHeader(dir / "m.swf", h);
  EXPECT_EQ(h.Background, 0x302010);
  TSwfFileInfo info;
  ASSERT_EQ(ReadSwfFile(dir / "m.swf", info), TSwfReadResult::rrMovie);
  EXPECT_NE(CheckSwfBody(dir / "m.swf", info).find("damaged"), std::string::npos);
}

TEST(FlashColor, ExchangesRedAndBlue) {
  EXPECT_EQ(FlashColor(0x996633), 0x336699);
  EXPECT_EQ(FlashColor(0x000000FF), 0x00FF0000);
  EXPECT_EQ(FlashColor(0x0000FF00), 0x0000FF00);
  EXPECT_EQ(FlashColor(0x00FFFFFF), 0x00FFFFFF);
  EXPECT_EQ(FlashColor(-1), -1);  // the high byte stands where it stood
  EXPECT_EQ(FlashColor(0x01020304), 0x01040302);
}

TEST(ParseSwfPrefix, SignatureNeedsThreeExactBytes) {
  TSwfFileInfo info;
  const auto parse = [&](const std::string& s) {
    return ParseSwfPrefix(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), info);
  };
  EXPECT_EQ(parse("fws"), TSwfRecognition::srNotMovie);
  EXPECT_EQ(parse("FW"), TSwfRecognition::srNotMovie);
  EXPECT_EQ(parse("GIF89a"), TSwfRecognition::srNotMovie);
  EXPECT_EQ(parse("FWS"), TSwfRecognition::srMovie);
  EXPECT_EQ(parse("CWS"), TSwfRecognition::srShortHeader);
  EXPECT_EQ(parse("ZWS\x0d"), TSwfRecognition::srShortHeader);
}

}  // namespace
}  // namespace vorra
