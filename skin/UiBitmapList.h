// A skin's named bitmaps, and links to a rectangle of one of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "skin/UiBitmap.h"

namespace vorra {

// Owns its bitmaps, in the order they were added.
class TUiBitmapList : public TObject {
 public:
  TUiBitmapList() = default;
  ~TUiBitmapList() override = default;
  TUiBitmapList(const TUiBitmapList&) = delete;
  TUiBitmapList& operator=(const TUiBitmapList&) = delete;

  // Takes ownership; answers the index.
  int Add(TUiBitmap* Bitmap);
  int Count() const { return static_cast<int>(FItems.size()); }
  // Null out of range.
  TUiBitmap* Bitmaps(int Index) const;
  // The first bitmap of that name, letter case ignored; null when none.
  TUiBitmap* GetBitmapByName(const std::string& Name) const;
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TUiBitmap>> FItems;
};

// A rectangle of a skin bitmap, named as the skin names it. Links share the
// bitmap; the list owns it.
class TUiBitmapLink : public TPersistent {
 public:
  // Shares the bitmap and copies name and rectangle.
  void Assign(const TPersistent* Source) override;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  int Left() const { return FRect.Left; }
  void SetLeft(int v) { FRect.Left = v; }
  int Top() const { return FRect.Top; }
  void SetTop(int v) { FRect.Top = v; }
  int Right() const { return FRect.Right; }
  void SetRight(int v) { FRect.Right = v; }
  int Bottom() const { return FRect.Bottom; }
  void SetBottom(int v) { FRect.Bottom = v; }
  const TRect& Rect() const { return FRect; }
  void SetRect(const TRect& v) { FRect = v; }

  TUiBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TUiBitmap* v) { FBitmap = v; }
  // Looks the name up in the list (null when the list lacks it).
  void Resolve(const TUiBitmapList* List);
  // Refers to a bitmap and has a positive width and height.
  bool Usable() const { return FBitmap && FRect.Right > FRect.Left && FRect.Bottom > FRect.Top; }

 private:
  std::string FName;
  TRect FRect;
  TUiBitmap* FBitmap = nullptr;
};

}  // namespace vorra
