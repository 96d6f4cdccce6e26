// The movie player's model and drawing: containers, the tag loop, the
// display list, timelines with their actions, sprites, masks, colour
// transforms and the stage's scaling, on movies made here.
#include <gtest/gtest.h>

// Placements name only the fields they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "platform/flash/Player.h"
#include "platform/flash/SwfContainer.h"
#include "tests/platform/FlashTestMovies.h"

namespace vorra::test {
namespace {

using flash::TMoviePlayer;
using flash::TRgba;
using swf::TSwfForm;

constexpr TRgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255};
constexpr TRgba kGrey{0x33, 0x66, 0x99, 255};

// A 100x100 movie: char 1 red, 2 blue, 3 green, each 40x40 px at the corner.
TBytes Chars() {
  TBytes t = Rect(1, 0, 0, 800, 800, kRed);
  Append(t, Rect(2, 0, 0, 800, 800, kBlue));
  Append(t, Rect(3, 0, 0, 800, 800, kGreen));
  return t;
}

TEST(FlashContainer, ThreeFormsGiveOneMovieAndBadOnesStayBounded) {
  TBytes tags = Chars();
  Append(tags, Place({.Depth = 1, .Character = 1}));
  Append(tags, ShowFrame());
  Append(tags, ShowFrame());
  for (TSwfForm form : {TSwfForm::sfPlain, TSwfForm::sfZlib, TSwfForm::sfLzma}) {
    auto movie = Parse(Movie(100, 50, tags, form, kGrey, 2));
    ASSERT_TRUE(movie) << static_cast<int>(form);
    EXPECT_EQ(movie->FrameRect.XMax, 2000);
    EXPECT_EQ(movie->FrameRect.YMax, 1000);
    EXPECT_EQ(movie->FrameRate, 12.0);
    EXPECT_EQ(movie->Root.Frames.size(), 2u);
    EXPECT_TRUE(movie->Background && *movie->Background == kGrey);
    EXPECT_FALSE(movie->Truncated);
  }

  // A compressed stream cut in half keeps what came before the cut.
  TBytes cws = Movie(100, 50, tags, TSwfForm::sfZlib, kGrey, 2);
  cws.resize(cws.size() / 2 + 8);
  flash::TSwfFile file;
  ASSERT_TRUE(flash::DecodeSwfContainer(cws, file));
  EXPECT_TRUE(file.Truncated);
  EXPECT_GT(file.Body.size(), 0u);

  // A declared length of 4 GB unpacks no further than the cap.
  TBytes huge = Movie(100, 50, tags, TSwfForm::sfZlib);
  huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
  ASSERT_TRUE(flash::DecodeSwfContainer(huge, file, nullptr, 64));
  EXPECT_EQ(file.Body.size(), 64u);

  std::string why;
  const TBytes text{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0};
  EXPECT_FALSE(flash::DecodeSwfContainer(text, file, &why));
  EXPECT_NE(why.find("not a Flash movie"), std::string::npos);
}

TEST(FlashMovie, TagCutShortEndsTheMovieWithWhatCameBefore) {
  TBytes tags = Chars();
  Append(tags, Place({.Depth = 1, .Character = 1}));
  Append(tags, ShowFrame());
  TBytes file = Movie(100, 100, tags);
  file.resize(file.size() - 2);                   // drop the End tag
  Append(file, {0x3F, 0x03, 0xFF, 0xFF, 0, 0, 1});  // a long tag claiming 64 KB
  file[4] = static_cast<std::uint8_t>(file.size());
  file[5] = static_cast<std::uint8_t>(file.size() >> 8);
  auto movie = Parse(file);
  ASSERT_TRUE(movie);
  EXPECT_TRUE(movie->Truncated);
  TMoviePlayer player(movie);
  EXPECT_EQ(player.FrameCount(), 1);
  EXPECT_EQ(TFrame(player, 100, 100).At(10, 10), 0xFF0000u);
}

TEST(FlashDisplayList, PlaceMoveReplaceRemoveInDepthOrder) {
  TBytes tags = Chars();
  Append(tags, Place({.Depth = 2, .Character = 2, .Matrix = MatrixBytes(1, 1, 400, 400)}));
  Append(tags, Place({.Depth = 1, .Character = 1}));
  Append(tags, ShowFrame());
  // Move the blue one; the red stays.
  Append(tags, Place({.Depth = 2, .Move = true, .Matrix = MatrixBytes(1, 1, 1200, 1200)}));
  Append(tags, ShowFrame());
  // Replace the red by green, keeping its place: the tag gives no matrix.
  Append(tags, Place({.Depth = 1, .Move = true, .Matrix = MatrixBytes(1, 1, 0, 0)}));
  Append(tags, Place({.Depth = 1, .Character = 3, .Move = true}));
  Append(tags, ShowFrame());
  Append(tags, Remove(2));
  Append(tags, ShowFrame());
  TMoviePlayer player(Parse(Movie(100, 100, tags, TSwfForm::sfPlain, std::nullopt, 4)));

  {
    TFrame f(player, 100, 100);
    EXPECT_EQ(f.At(30, 30), 0x0000FFu);  // overlap: depth 2 above depth 1
    EXPECT_EQ(f.At(5, 5), 0xFF0000u);
    EXPECT_EQ(f.At(95, 95), 0xFFFFFFu);  // no background tag: white
  }
  player.Tick();
  {
    TFrame f(player, 100, 100);
    EXPECT_EQ(f.At(30, 30), 0xFF0000u);
    EXPECT_EQ(f.At(70, 70), 0x0000FFu);
  }
  player.Tick();
  EXPECT_EQ(TFrame(player, 100, 100).At(5, 5), 0x00FF00u);
  EXPECT_EQ(player.Movie()->Root.Frames.size(), 4u);
  player.Tick();
  {
    TFrame f(player, 100, 100);
    EXPECT_EQ(f.At(70, 70), 0xFFFFFFu);
    EXPECT_EQ(f.At(5, 5), 0x00FF00u);
  }
}

// Frame 1 red, 2 green, 3 blue (each replacing the last) with a stop on 3.
TBytes ThreeFrames(const TBytes& frame3Actions) {
  TBytes tags = Chars();
  Append(tags, Place({.Depth = 1, .Character = 1}));
  Append(tags, ShowFrame());
  Append(tags, Place({.Depth = 1, .Character = 3, .Move = true}));
  Append(tags, Label("green"));
  Append(tags, ShowFrame());
  Append(tags, Place({.Depth = 1, .Character = 2, .Move = true}));
  Append(tags, Actions(frame3Actions));
  Append(tags, ShowFrame());
  return tags;
}

TEST(FlashTimeline, StopGotoLabelsAndLooping) {
  TMoviePlayer player(Parse(Movie(100, 100, ThreeFrames({0x07}))));
  player.Tick();
  player.Tick();
  EXPECT_EQ(player.CurrentFrame(), 2);
  EXPECT_FALSE(player.Playing());
  player.Tick();
  EXPECT_EQ(player.CurrentFrame(), 2);
  EXPECT_EQ(TFrame(player, 100, 100).At(5, 5), 0x0000FFu);
  // Back: the list is rebuilt as frame 1 had it.
  player.GotoFrame(0);
  EXPECT_EQ(TFrame(player, 100, 100).At(5, 5), 0xFF0000u);
  EXPECT_EQ(player.Movie()->Root.FrameOfLabel("GREEN"), 1);

  // Frame 3 goes to the label and plays on from there.
  TMoviePlayer labels(Parse(Movie(100, 100, ThreeFrames(GotoLabel("green")))));
  labels.Tick();
  labels.Tick();
  EXPECT_EQ(labels.CurrentFrame(), 1);
  EXPECT_EQ(TFrame(labels, 100, 100).At(5, 5), 0x00FF00u);

  // Without actions: looping wraps to the first frame, no loop stops on the last.
  TMoviePlayer loop(Parse(Movie(100, 100, ThreeFrames({0x06}))));
  for (int i = 0; i < 3; ++i) loop.Tick();
  EXPECT_EQ(loop.CurrentFrame(), 0);
  EXPECT_EQ(TFrame(loop, 100, 100).At(5, 5), 0xFF0000u);
  TMoviePlayer once(Parse(Movie(100, 100, ThreeFrames({0x06}))));
  once.Loop = false;
  for (int i = 0; i < 5; ++i) once.Tick();
  EXPECT_EQ(once.CurrentFrame(), 2);
  EXPECT_FALSE(once.Playing());

  // gotoFrame back and forth between two frames ends in bounded work.
  TBytes pingPong = Chars();
  Append(pingPong, Actions(GotoFrame(1)));
  Append(pingPong, ShowFrame());
  Append(pingPong, Actions(GotoFrame(0)));
  Append(pingPong, ShowFrame());
  TMoviePlayer pp(Parse(Movie(100, 100, pingPong)));
  pp.Tick();
  EXPECT_LT(pp.Context().Work, 100);
}

TEST(FlashSprites, NestedSpritesAdvanceAndSelfPlacementIsBounded) {
  // Sprite 10: red, green, blue frames; sprite 11 holds 10; the root holds 11.
  TBytes inner;
  Append(inner, Place({.Depth = 1, .Character = 1}));
  Append(inner, ShowFrame());
  Append(inner, Place({.Depth = 1, .Character = 3, .Move = true}));
  Append(inner, ShowFrame());
  Append(inner, Place({.Depth = 1, .Character = 2, .Move = true}));
  Append(inner, ShowFrame());
  TBytes outer;
  Append(outer, Place({.Depth = 1, .Character = 10, .Matrix = MatrixBytes(1, 1, 200, 200)}));
  Append(outer, ShowFrame());
  TBytes tags = Chars();
  Append(tags, Sprite(10, 3, inner));
  Append(tags, Sprite(11, 1, outer));
  Append(tags, Place({.Depth = 1, .Character = 11, .Matrix = MatrixBytes(2, 2, 0, 0)}));
  Append(tags, ShowFrame());
  TMoviePlayer player(Parse(Movie(100, 100, tags)));
  // Matrices compose: 10 px offset inside, doubled outside.
  EXPECT_EQ(TFrame(player, 100, 100).At(25, 25), 0xFF0000u);
  EXPECT_EQ(TFrame(player, 100, 100).At(15, 15), 0xFFFFFFu);
  player.Tick();
  EXPECT_EQ(TFrame(player, 100, 100).At(25, 25), 0x00FF00u);
  player.Tick();
  EXPECT_EQ(TFrame(player, 100, 100).At(25, 25), 0x0000FFu);

  // A sprite that places itself twice would double at every level.
  TBytes self;
  Append(self, Place({.Depth = 1, .Character = 20}));
  Append(self, Place({.Depth = 2, .Character = 20, .Matrix = MatrixBytes(1, 1, 20, 0)}));
  Append(self, Place({.Depth = 3, .Character = 1}));
  Append(self, ShowFrame());
  Append(self, ShowFrame());
  TBytes hostile = Chars();
  Append(hostile, Sprite(20, 2, self));
  Append(hostile, Place({.Depth = 1, .Character = 20}));
  Append(hostile, ShowFrame());
  TMoviePlayer bomb(Parse(Movie(100, 100, hostile)));
  EXPECT_LE(bomb.Context().LiveInstances, bomb.Context().MaxInstances);
  bomb.Tick();
  EXPECT_EQ(TFrame(bomb, 100, 100).At(5, 5), 0xFF0000u);
}

TEST(FlashDrawing, ClipMaskColourTransformButtonAndStage) {
  // Depth 1 masks depths 2..3 to the red square's 40x40; depth 4 is not masked.
  TBytes tags = Chars();
  Append(tags, Rect(4, 0, 0, 2000, 2000, kBlue));
  Append(tags, Place({.Depth = 1, .Character = 1, .ClipDepth = 3}));
  Append(tags, Place({.Depth = 2, .Character = 4}));
  Append(tags, Place({.Depth = 4, .Character = 3, .Matrix = MatrixBytes(1, 1, 1200, 1200)}));
  // Red through a transform: no red, green added, half alpha.
  Append(tags, Place({.Depth = 5, .Character = 1, .Matrix = MatrixBytes(1, 1, 0, 1200),
                      .Cxform = CxformBytes({0, 256, 256, 128}, {0, 255, 0, 0})}));
  Append(tags, ShowFrame());
  TMoviePlayer player(Parse(Movie(100, 100, tags, TSwfForm::sfPlain, TRgba{0, 0, 0, 255})));
  TFrame f(player, 100, 100);
  EXPECT_EQ(f.At(20, 20), 0x0000FFu);  // blue inside the mask
  EXPECT_EQ(f.At(50, 20), 0x000000u);  // blue hidden outside it: background
  EXPECT_EQ(f.At(80, 80), 0x00FF00u);  // above the clip depth: drawn whole
  const std::uint32_t half = f.At(20, 80);
  EXPECT_EQ(half >> 16, 0u);
  EXPECT_NEAR(static_cast<int>((half >> 8) & 0xFF), 128, 2);

  // ShowAll: a 100x50 stage in a 100x100 surface sits in the middle.
  TBytes wide = Chars();
  Append(wide, Rect(5, 0, 0, 2000, 1000, kRed));
  Append(wide, Place({.Depth = 1, .Character = 5}));
  Append(wide, ShowFrame());
  TMoviePlayer stage(Parse(Movie(100, 50, wide, TSwfForm::sfPlain, kGrey)));
  TFrame s(stage, 100, 100);
  EXPECT_EQ(s.At(50, 10), 0x336699u);
  EXPECT_EQ(s.At(50, 50), 0xFF0000u);
  EXPECT_EQ(s.At(50, 90), 0x336699u);
  // A colour given by the host wins over the movie's own.
  flash::TStageOptions o;
  o.Background = TRgba{0, 255, 0, 255};
  EXPECT_EQ(TFrame(stage, 100, 100, o).At(50, 10), 0x00FF00u);
  // No movie at all: the background only.
  EXPECT_EQ(TFrame(TMoviePlayer(nullptr), 10, 10, o).At(5, 5), 0x00FF00u);

  // A button shows the records of its up state only.
  TBytes button;
  Put16(button, 30);
  button.insert(button.end(), {0x01, 1, 0, 1, 0});  // up: char 1 at depth 1
  Append(button, MatrixBytes(1, 1, 0, 0));
  button.insert(button.end(), {0x02, 2, 0, 2, 0});  // over: char 2 at depth 2
  Append(button, MatrixBytes(1, 1, 0, 0));
  button.push_back(0);
  button.push_back(0);  // no actions
  TBytes withButton = Chars();
  Append(withButton, TagBytes(7, button));
  Append(withButton, Place({.Depth = 1, .Character = 30}));
  Append(withButton, ShowFrame());
  EXPECT_EQ(TFrame(TMoviePlayer(Parse(Movie(100, 100, withButton))), 100, 100).At(5, 5), 0xFF0000u);
}

}  // namespace
}  // namespace vorra::test
