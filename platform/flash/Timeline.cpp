#include "platform/flash/Timeline.h"

#include "platform/flash/SwfReader.h"
#include "platform/win/Ascii.h"

namespace flash {

std::optional<int> TTimeline::FrameOfLabel(const std::string& label) const {
  for (std::size_t i = 0; i < Frames.size(); ++i)
    if (!Frames[i].Label.empty() && win::AsciiEqualsIgnoreCase(Frames[i].Label, label)) return static_cast<int>(i);
  return std::nullopt;
}

namespace {

// PlaceObject2 and 3 share everything up to the clip depth; what follows
// (filters, blend mode, clip actions) does not change what is drawn here.
TPlaceOp ParsePlace23(std::span<const std::uint8_t> body, bool three) {
  TSwfReader r(body);
  TPlaceOp op;
  const std::uint8_t flags = r.U8();
  const std::uint8_t flags2 = three ? r.U8() : 0;
  op.Move = flags & 0x01;
  op.Depth = r.U16();
  const bool hasImage = flags2 & 0x10, hasClassName = flags2 & 0x08;
  if (three && (hasClassName || (hasImage && (flags & 0x02)))) r.String();
  if (flags & 0x02) op.Character = r.U16();
  if (flags & 0x04) op.Matrix = r.Matrix();
  if (flags & 0x08) op.Cxform = r.ColorTransform(true);
  if (flags & 0x10) op.Ratio = r.U16();
  if (flags & 0x20) op.Name = r.String();
  if (flags & 0x40) op.ClipDepth = r.U16();
  return op;
}

}  // namespace

bool TTimelineBuilder::Add(int code, std::span<const std::uint8_t> body) {
  const bool op = code == kTagPlaceObject || code == kTagPlaceObject2 || code == kTagPlaceObject3 ||
                  code == kTagRemoveObject || code == kTagRemoveObject2;
  if (op && --limits_.Ops < 0) return true;
  if (code == kTagShowFrame && --limits_.Frames < 0) return true;
  switch (code) {
    case kTagShowFrame:
      timeline_.Frames.push_back(std::move(pending_));
      pending_ = TFrame{};
      return true;
    case kTagPlaceObject: {
      TSwfReader r(body);
      TPlaceOp op;
      op.Character = r.U16();
      op.Depth = r.U16();
      op.Matrix = r.Matrix();
      if (!r.AtEnd()) op.Cxform = r.ColorTransform(false);
      op.Serial = ++serial_;
      pending_.Ops.push_back(std::move(op));
      return true;
    }
    case kTagPlaceObject2:
    case kTagPlaceObject3: {
      TPlaceOp op = ParsePlace23(body, code == kTagPlaceObject3);
      op.Serial = ++serial_;
      pending_.Ops.push_back(std::move(op));
      return true;
    }
    case kTagRemoveObject:
    case kTagRemoveObject2: {
      TSwfReader r(body);
      if (code == kTagRemoveObject) r.U16();
      TPlaceOp op;
      op.Remove = true;
      op.Depth = r.U16();
      pending_.Ops.push_back(std::move(op));
      return true;
    }
    case kTagFrameLabel: {
      TSwfReader r(body);
      pending_.Label = r.String();
      return true;
    }
    case kTagDoAction: {
      auto actions = ParseActions(body);
      if ((limits_.Actions -= static_cast<long>(actions.size())) < 0) return true;
      pending_.Actions.insert(pending_.Actions.end(), actions.begin(), actions.end());
      return true;
    }
    default: return false;
  }
}

TTimeline TTimelineBuilder::Finish() {
  if (timeline_.Frames.empty()) timeline_.Frames.push_back(std::move(pending_));
  pending_ = TFrame{};
  return std::move(timeline_);
}

std::vector<TAction> ParseActions(std::span<const std::uint8_t> body) {
  std::vector<TAction> out;
  TSwfReader r(body);
  // Honoured actions are a few per frame; a hostile block of millions stops early.
  while (!r.AtEnd() && out.size() < 4096) {
    const std::uint8_t code = r.U8();
    if (code == 0) break;
    std::span<const std::uint8_t> data;
    if (code >= 0x80) data = r.Bytes(r.U16());
    if (r.Overrun()) break;
    TSwfReader d(data);
    switch (code) {
      case 0x06: out.push_back({TActionKind::akPlay, 0, {}}); break;
      case 0x07: out.push_back({TActionKind::akStop, 0, {}}); break;
      case 0x04: out.push_back({TActionKind::akNextFrame, 0, {}}); break;
      case 0x05: out.push_back({TActionKind::akPrevFrame, 0, {}}); break;
      case 0x81: out.push_back({TActionKind::akGotoFrame, d.U16(), {}}); break;
      case 0x8C: out.push_back({TActionKind::akGotoLabel, 0, d.String()}); break;
      default: break;  // scripts are not run
    }
  }
  return out;
}

bool SkipFilterList(TSwfReader& r) {
  const unsigned count = r.U8();
  for (unsigned i = 0; i < count && !r.Overrun(); ++i) {
    switch (r.U8()) {
      case 0: r.Skip(23); break;  // drop shadow
      case 1: r.Skip(9); break;   // blur
      case 2: r.Skip(15); break;  // glow
      case 3: r.Skip(27); break;  // bevel
      case 4:
      case 7: {  // gradient glow, gradient bevel
        const std::size_t colours = r.U8();
        r.Skip(colours * 5 + 19);
        break;
      }
      case 5: {  // convolution
        const std::size_t x = r.U8(), y = r.U8();
        r.Skip(8 + 4 * x * y + 5);
        break;
      }
      case 6: r.Skip(80); break;  // colour matrix
      default: return false;
    }
  }
  return !r.Overrun();
}

}  // namespace flash
