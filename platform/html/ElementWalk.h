// Walking a document late-bound, through its IDispatch only, as a host does.
#pragma once

#include <string>
#include <type_traits>

#include "platform/com/Com.h"

namespace win::html {

// Each element of a tag name, in document order. each(IDispatch*) may return
// bool: false stops the walk.
template <class F>
void ForEachTag(IDispatch* document, const char* tag, F&& each) {
  TVariant all, tags, length;
  if (FAILED(DispGetProperty(document, "all", all))) return;
  TComPtr<IDispatch> allDisp = all.ToDispatch();
  if (!allDisp || FAILED(DispCallMethod(allDisp.Get(), "tags", {TVariant::Text(tag)}, &tags))) return;
  TComPtr<IDispatch> tagsDisp = tags.ToDispatch();
  LONG count = 0;
  if (!tagsDisp || FAILED(DispGetProperty(tagsDisp.Get(), "length", length)) || !length.ToInt(count)) return;
  for (LONG i = 0; i < count; ++i) {
    TVariant item;
    if (FAILED(DispCallMethod(tagsDisp.Get(), "item", {TVariant::Int(i)}, &item))) continue;
    TComPtr<IDispatch> element = item.ToDispatch();
    if (!element) continue;
    if constexpr (std::is_same_v<std::invoke_result_t<F&, IDispatch*>, bool>) {
      if (!each(element.Get())) return;
    } else {
      each(element.Get());
    }
  }
}

}  // namespace win::html
