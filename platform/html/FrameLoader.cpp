#include "platform/html/FrameLoader.h"

#include <set>
#include <utility>
#include <vector>

#include "platform/win/Ascii.h"

namespace win::html {

namespace {

// Length of the "scheme:" in front of an address, 0 when there is none. One
// letter is no scheme (a drive), as in the browser.
std::size_t SchemeLength(const std::string& text) {
  if (text.empty() || !IsAsciiAlpha(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && (IsAsciiAlnum(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.')) ++i;
  return i >= 2 && i < text.size() && text[i] == ':' ? i + 1 : 0;
}

bool IsWebAddress(const std::string& address) {
  for (const char* scheme : {"http://", "https://", "ftp://"})
    if (AsciiStartsWithIgnoreCase(address, scheme)) return true;
  return false;
}

bool IsLocal(const std::string& address) {
  return AsciiStartsWithIgnoreCase(address, "file:") || SchemeLength(address) == 0;
}

// The address without its fragment: what "loaded once" compares.
std::string LoadKey(const std::string& address) { return address.substr(0, address.find('#')); }

// "." and ".." segments of a path removed; never climbs above its root.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  const bool rooted = !path.empty() && path[0] == '/';
  if (rooted) pos = 1;
  bool trailing = false;
  while (pos <= path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(pos, end - pos);
    trailing = segment == "." || segment == "..";
    if (segment == "..") {
      if (!out.empty()) out.pop_back();
    } else if (segment != ".") {
      out.push_back(segment);
    }
    pos = end + 1;
  }
  if (trailing) out.emplace_back();
  std::string result = rooted ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) result += (i ? "/" : "") + out[i];
  return result;
}

std::string AttributeText(IDispatch* element, const char* name, bool& present) {
  TVariant v;
  std::string text;
  present = SUCCEEDED(DispCallMethod(element, "getAttribute", {TVariant::Text(name)}, &v)) && v.vt == VT_BSTR;
  if (present) v.ToText(text);
  return text;
}

// Each element of a tag name, late-bound.
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
    if (TComPtr<IDispatch> element = item.ToDispatch()) {
      if (!each(element.Get())) return;
    }
  }
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
    if (!href.empty()) base = ResolveFrameAddress(href, base);
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
      const std::string address = ResolveFrameAddress(ref.Src, base);
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

HRESULT SetResult(VARIANT* result, TVariant value) {
  if (!result) return S_OK;
  VariantClear(result);
  *result = value;
  VariantInit(&value);
  return S_OK;
}

bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0; }

class TDispatchBase : public TComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
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

std::string ResolveFrameAddress(const std::string& src, const std::string& base) {
  // Blanks around and line breaks or tabs inside an attribute value are not part of it.
  std::string value;
  for (char c : AsciiTrim(src))
    if (c != '\t' && c != '\n' && c != '\r') value.push_back(c);
  if (SchemeLength(value) > 0) return value;

  // base = scheme ":" ["//" authority] path [?query] [#fragment]
  const std::size_t scheme = SchemeLength(base);
  std::size_t pathStart = scheme;
  if (base.compare(scheme, 2, "//") == 0 && scheme > 0) {
    pathStart = base.find_first_of("/?#", scheme + 2);
    if (pathStart == std::string::npos) pathStart = base.size();
  }
  const std::string origin = base.substr(0, pathStart);
  std::size_t pathEnd = base.find_first_of("?#", pathStart);
  if (pathEnd == std::string::npos) pathEnd = base.size();
  const std::string path = base.substr(pathStart, pathEnd - pathStart);

  if (value.rfind("//", 0) == 0) return scheme > 0 ? base.substr(0, scheme) + value : value;
  if (value.empty()) return base.substr(0, base.find('#'));
  if (value[0] == '#') return base.substr(0, base.find('#')) + value;
  if (value[0] == '?') return origin + path + value;

  std::size_t tail = value.find_first_of("?#");
  if (tail == std::string::npos) tail = value.size();
  std::string merged;
  if (value[0] == '/') {
    merged = value.substr(0, tail);
  } else {
    const std::size_t slash = path.rfind('/');
    merged = (slash == std::string::npos ? (origin.size() > scheme ? "/" : "") : path.substr(0, slash + 1)) +
             value.substr(0, tail);
  }
  return origin + RemoveDotSegments(merged) + value.substr(tail);
}

TComPtr<IDispatch> MakeFrameCollection(THtmlDocument& document) {
  return TComPtr<IDispatch>::Attach(new TFrameCollection(TComPtr<THtmlDocument>(&document)));
}

}  // namespace win::html
