#include "platform/flash/SwfMovie.h"

#include "platform/flash/Sprite.h"
#include "platform/flash/SwfReader.h"

namespace flash {

namespace {

constexpr int kTagSetBackgroundColor = 9;
constexpr int kTagJpegTables = 8;
constexpr int kTagDefineButton = 7;
constexpr int kTagDefineButton2 = 34;
constexpr int kTagDefineSprite = 39;

struct TTag {
  int Code = 0;
  std::span<const std::uint8_t> Body;
};

// The next tag, or false at the end or when its header or body is cut short.
bool NextTag(TSwfReader& r, TTag& tag, bool& cut) {
  if (r.Remaining() < 2) {
    cut = r.Remaining() != 0;
    return false;
  }
  const std::uint16_t head = r.U16();
  tag.Code = head >> 6;
  std::size_t length = head & 0x3F;
  if (length == 0x3F) {
    if (r.Remaining() < 4) {
      cut = true;
      return false;
    }
    length = r.U32();
  }
  if (length > r.Remaining()) {
    cut = true;
    return false;
  }
  tag.Body = r.Bytes(length);
  return true;
}

TTimeline ParseSpriteTimeline(std::span<const std::uint8_t> tags, TTimelineLimits& limits, bool& cut) {
  TSwfReader r(tags);
  TTimelineBuilder builder(limits);
  TTag tag;
  while (NextTag(r, tag, cut) && tag.Code != kTagEnd) builder.Add(tag.Code, tag.Body);
  return builder.Finish();
}

}  // namespace

const TCharacter* TMovie::Find(std::uint16_t id) const {
  auto it = characters_.find(id);
  return it == characters_.end() ? nullptr : it->second.get();
}

void TMovie::Define(std::uint16_t id, std::shared_ptr<TCharacter> character) {
  if (character) characters_[id] = std::move(character);
}

std::shared_ptr<TMovie> TMovie::Parse(const TSwfFile& file, const TDefineFunction& define) {
  auto movie = std::make_shared<TMovie>();
  movie->Version = file.Version;
  movie->Truncated = file.Truncated;
  TSwfReader r(file.Body);
  movie->FrameRect = r.Rect();
  const std::uint16_t rate = r.U16();
  movie->FrameRate = (rate >> 8) + (rate & 0xFF) / 256.0;
  movie->DeclaredFrameCount = r.U16();

  TParseContext ctx;
  ctx.Version = file.Version;
  ctx.Dictionary = movie.get();
  TTimelineLimits limits;
  TTimelineBuilder root(limits);
  TTag tag;
  bool cut = false;
  while (NextTag(r, tag, cut) && tag.Code != kTagEnd) {
    ++movie->TagCount;
    if (root.Add(tag.Code, tag.Body)) continue;
    switch (tag.Code) {
      case kTagSetBackgroundColor:
        if (!movie->Background && tag.Body.size() >= 3) {
          TSwfReader b(tag.Body);
          movie->Background = b.Rgb();
        }
        break;
      case kTagJpegTables: ctx.JpegTables.assign(tag.Body.begin(), tag.Body.end()); break;
      case kTagDefineSprite:
        if (tag.Body.size() >= 4) {
          TTimeline t = ParseSpriteTimeline(tag.Body.subspan(4), limits, cut);
          movie->Define(DefinitionId(tag.Body), std::make_shared<TSprite>(std::move(t), movie.get()));
        }
        break;
      case kTagDefineButton:
      case kTagDefineButton2:
        if (tag.Body.size() >= 2) movie->Define(DefinitionId(tag.Body), ParseButton(tag.Code, tag.Body, movie.get()));
        break;
      default:
        if (tag.Body.size() >= 2)
          movie->Define(DefinitionId(tag.Body), define ? define(tag.Code, tag.Body, ctx) : ParseDrawable(tag.Code, tag.Body, ctx));
        break;
    }
  }
  movie->Root = root.Finish();
  movie->Truncated = movie->Truncated || cut;
  return movie;
}

std::shared_ptr<TMovie> LoadMovieBytes(std::span<const std::uint8_t> bytes, std::string* why,
                                       const TDefineFunction& define) {
  TSwfFile file;
  if (!DecodeSwfContainer(bytes, file, why)) return nullptr;
  return TMovie::Parse(file, define);
}

std::shared_ptr<TMovie> LoadMovieFile(const std::string& path, std::string* why, const TDefineFunction& define) {
  TSwfFile file;
  if (!ReadSwfContainerFile(path, file, why)) return nullptr;
  return TMovie::Parse(file, define);
}

}  // namespace flash
