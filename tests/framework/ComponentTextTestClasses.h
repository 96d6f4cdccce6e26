// A small class hierarchy that publishes every property kind, for the
// component text tests and fuzz target: children stored in an "Objects"
// binary property as skin objects store theirs, and a box class whose
// children are nested "object" blocks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/ComponentText.h"
#include "framework/Graphics.h"
#include "framework/Published.h"

namespace vorra::texttest {

enum TShape { shNone, shRound, shSquare };
enum TFlag { flA, flB, flC };
using TFlags = TSet<TFlag>;

class TItem : public TComponent {
 public:
  explicit TItem(TComponent* AOwner) : TComponent(AOwner) {}

  int Count() const { return FCount; }
  void SetCount(int v) { FCount = v; }
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  TShape Shape() const { return FShape; }
  void SetShape(TShape v) { FShape = v; }
  TFlags Flags() const { return FFlags; }
  void SetFlags(TFlags v) { FFlags = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TFont* Font() const { return FFont.get(); }

  // The owned TItem children as object records.
  std::string ObjectsData() const {
    std::vector<TObjectRecord> records;
    for (int i = 0; i < ComponentCount(); ++i)
      if (auto* c = dynamic_cast<TItem*>(Components(i)))
        records.push_back({c->Published().ClassName, WriteComponentText(*c, c->Published())});
    return EncodeObjectRecords(records);
  }
  void SetObjectsData(const std::string& bytes);

  virtual const TPublishedTable& Published() const { return Table(); }
  static const TPublishedTable& Table() {
    static const TPublishedTable table =
        TPublish<TItem>("TItem")
            .Integer("Count", &TItem::Count, &TItem::SetCount, 0)
            .Float("Ratio", &TItem::Ratio, &TItem::SetRatio)
            .String("Caption", &TItem::Caption, &TItem::SetCaption)
            .Boolean("Visible", &TItem::Visible, &TItem::SetVisible, true)
            .Enum("Shape", &TItem::Shape, &TItem::SetShape, {"shNone", "shRound", "shSquare"}, shNone)
            .Set("Flags", &TItem::Flags, &TItem::SetFlags, {"flA", "flB", "flC"}, TFlags{})
            .Color("Color", &TItem::Color, &TItem::SetColor, clWhite)
            .Object("Font", &TItem::Font, TFontTable())
            .Binary("Objects", &TItem::ObjectsData, &TItem::SetObjectsData)
            .Done();
    return table;
  }

  std::vector<std::string> Skipped;  // classes of "Objects" records not made

 private:
  int FCount = 0;
  double FRatio = 0;
  std::string FCaption;
  bool FVisible = true;
  TShape FShape = shNone;
  TFlags FFlags;
  TColor FColor = clWhite;
  std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
};

class TBigItem : public TItem {
 public:
  using TItem::TItem;
  int Extra() const { return FExtra; }
  void SetExtra(int v) { FExtra = v; }

  const TPublishedTable& Published() const override {
    static const TPublishedTable table =
        TPublish<TBigItem>("TBigItem", TItem::Table()).Integer("Extra", &TBigItem::Extra, &TBigItem::SetExtra).Done();
    return table;
  }

 private:
  int FExtra = 0;
};

inline void TItem::SetObjectsData(const std::string& bytes) {
  for (const TObjectRecord& r : DecodeObjectRecords(bytes)) {
    TItem* child = r.ClassName == "TItem" ? new TItem(this) : r.ClassName == "TBigItem" ? new TBigItem(this) : nullptr;
    if (!child) {
      Skipped.push_back(r.ClassName);
      continue;
    }
    ReadComponentText(r.Text, *child, child->Published());
  }
}

// Children as nested blocks.
class TBox : public TComponent {
 public:
  explicit TBox(TComponent* AOwner) : TComponent(AOwner) {}
  int Tag2() const { return FTag2; }
  void SetTag2(int v) { FTag2 = v; }

  static const TPublishedTable& Table() {
    static const TPublishedTable table =
        TPublish<TBox>("TBox")
            .Integer("Tag2", &TBox::Tag2, &TBox::SetTag2, 0)
            .Nested(
                [](const TBox& b) {
                  std::vector<TChildRef> refs;
                  for (int i = 0; i < b.ComponentCount(); ++i) refs.push_back({b.Components(i), &Table()});
                  return refs;
                },
                [](TBox& parent, const std::string& cls) {
                  return cls == "TBox" ? TChildRef{new TBox(&parent), &Table()} : TChildRef{};
                })
            .Done();
    return table;
  }

 private:
  int FTag2 = 0;
};

}  // namespace vorra::texttest
