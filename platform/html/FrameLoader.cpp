#include "platform/html/FrameLoader.h"

#include <set>
#include <utility>
#include <vector>

#include "platform/html/DispatchBase.h"
#include "platform/html/ElementWalk.h"
#include "platform/html/PageAddress.h"
#include "platform/win/Ascii.h"

namespace win::html {

namespace {

bool IsWebAddress(const std::string& address) {
  for (const char* scheme : {"http://", "https://", "ftp://"})
    if (AsciiStartsWithIgnoreCase(address, scheme)) return true;
  return false;
}

bool IsLocal(const std::string& address) {
  return AsciiStartsWithIgnoreCase(address, "file:") || AddressSchemeLength(address) == 0;
}

// The address without its fragment: what "loaded once" compares.
std::string LoadKey(const std::string& address) { return address.substr(0, address.find('#')); }

std::string AttributeText(IDispatch* element, const char* name, bool& present) {
  TVariant v;
  std::string text;
  present = SUCCEEDED(DispCallMethod(element, "getAttribute", {TVariant::Text(name)}, &v)) && v.vt == VT_BSTR;
  if (present) v.ToText(text);
  return text;
}

struct TFrameRef {
  std::string Src, Name;
};

// The page's frame elements with a src, and the address they resolve against.
std::vector<TFrameRef> FrameElements(THtmlDocument& page, std::string& base) {
  IDispatch* document = &page;
  base = page.Url();
  ForEachTag(document, "BASE", [&](IDispatch* element) {
    bool present = false;
    const std::string href(AsciiTrim(AttributeText(element, "href", present)));
    if (!present) return true;
    if (!href.empty()) base = ResolvePageAddress(base, href);
    return false;
  });
  std::vector<TFrameRef> refs;
  for (const char* tag : {"FRAME", "IFRAME"}) {
    ForEachTag(document, tag, [&](IDispatch* element) {
      bool present = false;
      std::string src = AttributeText(element, "src", present);
      if (present && !AsciiTrim(src).empty()) refs.push_back({std::move(src), AttributeText(element, "name", present)});
      return true;
    });
  }
  return refs;
}

class TFrameLoading {
 public:
  TFrameLoading(const TFramePageLoader& load, const TFrameLimits& limits, const std::function<bool()>& stopped)
      : load_(load), limits_(limits), stopped_(stopped) {}

  int Run(THtmlDocument& page) {
    visited_.insert(LoadKey(page.Url()));
    Into(page, 1);
    return kept_;
  }

 private:
  bool Stopped() const { return fetched_ >= limits_.MaxFrames || (stopped_ && stopped_()); }

  void Into(THtmlDocument& page, int depth) {
    if (depth > limits_.MaxDepth) return;
    std::string base;
    for (const TFrameRef& ref : FrameElements(page, base)) {
      if (Stopped()) return;
      const std::string address = ResolvePageAddress(base, ref.Src);
      if (!IsWebAddress(address) && !(IsLocal(page.Url()) && IsLocal(address))) continue;
      if (!visited_.insert(LoadKey(address)).second) continue;
      ++fetched_;
      TComPtr<THtmlDocument> frame = load_(address);
      if (!frame) continue;
      // A redirect to a page already loaded shows nothing new.
      const std::string landed = LoadKey(frame->Url());
      if (landed != LoadKey(address) && !visited_.insert(landed).second) continue;
      page.Frames().push_back({ref.Name, frame});
      ++kept_;
      Into(*frame, depth + 1);
    }
  }

  const TFramePageLoader& load_;
  const TFrameLimits& limits_;
  const std::function<bool()>& stopped_;
  std::set<std::string> visited_;
  int fetched_ = 0;
  int kept_ = 0;
};

// ---- Dispatch: the frames collection and its windows ----

enum : DISPID {
  kWinDocument = 3001,
  kWinLocation = 3002,
  kWinName = 3003,
  kWinFrames = 3004,
  kFramesLength = 3101,
};

class TFrameWindowDispatch : public TDispatchBase {
 public:
  TFrameWindowDispatch(std::string name, TComPtr<THtmlDocument> document)
      : name_(std::move(name)), document_(std::move(document)) {}

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {
        {"document", kWinDocument}, {"location", kWinLocation}, {"name", kWinName}, {"frames", kWinFrames}};
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kWinDocument: return SetResult(result, TVariant::Dispatch(document_.Get()));
      case kWinLocation: return SetResult(result, TVariant::Text(document_->Url()));
      case kWinName: return SetResult(result, TVariant::Text(name_));
      case kWinFrames: return SetResult(result, TVariant::Dispatch(MakeFrameCollection(*document_).Get()));
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::string name_;
  TComPtr<THtmlDocument> document_;
};

class TFrameCollection : public TDispatchBase {
 public:
  explicit TFrameCollection(TComPtr<THtmlDocument> document) : document_(std::move(document)) {}

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {{"length", kFramesLength}, {"item", DISPID_VALUE}};
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT* argErr) override {
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    const auto& frames = document_->Frames();
    if (id == kFramesLength) return SetResult(result, TVariant::Int(static_cast<LONG>(frames.size())));
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    const VARIANT* arg = DispArg(params, 0);
    if (!arg) return DISP_E_BADPARAMCOUNT;
    TVariant plain;
    VariantCopyInd(&plain, arg);
    if (plain.vt == VT_BSTR) {
      const std::string name = BstrToUtf8(plain.bstrVal);
      for (const auto& frame : frames)
        if (frame.Name == name) return SetResult(result, Window(frame));
      return SetResult(result, TVariant::Null());
    }
    TVariant index;
    if (FAILED(VariantChangeType(&index, &plain, 0, VT_I4))) {
      if (argErr) *argErr = 0;
      return DISP_E_TYPEMISMATCH;
    }
    if (index.lVal < 0 || static_cast<std::size_t>(index.lVal) >= frames.size())
      return SetResult(result, TVariant::Null());
    return SetResult(result, Window(frames[static_cast<std::size_t>(index.lVal)]));
  }

 private:
  static TVariant Window(const THtmlDocument::TFrameWindow& frame) {
    auto window = TComPtr<IDispatch>::Attach(new TFrameWindowDispatch(frame.Name, frame.Document));
    return TVariant::Dispatch(window.Get());
  }

  TComPtr<THtmlDocument> document_;
};

}  // namespace

int LoadFrames(THtmlDocument& page, const TFramePageLoader& load, const TFrameLimits& limits,
               const std::function<bool()>& stopped) {
  return TFrameLoading(load, limits, stopped).Run(page);
}

TComPtr<IDispatch> MakeFrameCollection(THtmlDocument& document) {
  return TComPtr<IDispatch>::Attach(new TFrameCollection(TComPtr<THtmlDocument>(&document)));
}

}  // namespace win::html
