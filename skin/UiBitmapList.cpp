#include "skin/UiBitmapList.h"

#include "framework/SysUtils.h"

namespace vorra {

int TUiBitmapList::Add(TUiBitmap* Bitmap) {
  FItems.emplace_back(Bitmap);
  return Count() - 1;
}

TUiBitmap* TUiBitmapList::Bitmaps(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FItems[static_cast<std::size_t>(Index)].get();
}

TUiBitmap* TUiBitmapList::GetBitmapByName(const std::string& Name) const {
  for (const auto& b : FItems)
    if (SameText(b->Name(), Name)) return b.get();
  return nullptr;
}

void TUiBitmapLink::Assign(const TPersistent* Source) {
  if (auto* l = dynamic_cast<const TUiBitmapLink*>(Source)) {
    FName = l->FName;
    FRect = l->FRect;
    FBitmap = l->FBitmap;
    return;
  }
  TPersistent::Assign(Source);
}

void TUiBitmapLink::Resolve(const TUiBitmapList* List) { FBitmap = List ? List->GetBitmapByName(FName) : nullptr; }

}  // namespace vorra
