// The dispatch objects that serve a parsed page late-bound by IE's member
// names: the document itself, its collections and its elements.
#include "platform/html/HtmlDocument.h"
#include "platform/html/FrameLoader.h"

#include <strings.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/html/DispatchBase.h"
#include "platform/win/Ascii.h"

namespace win::html {

// ---- Dispatch objects ----

namespace {

enum : DISPID {
  kDocAll = 1003,
  kDocBody = 1004,
  kDocTitle = 1012,
  kDocReadyState = 1018,
  kDocUrl = 1025,
  kDocCharset = 1032,
  kDocFrames = 1033,
  kDocParentWindow = 1034,
  kColLength = 1500,
  kColTags = 1501,
  kElTagName = 2001,
  kElInnerHtml = 2002,
  kElOuterHtml = 2003,
  kElInnerText = 2004,
  kElGetAttribute = 2005,
  kElAll = 2006,
  kElClassName = 2007,
  // Attribute names get identifiers from here up, one per name in the process.
  kFirstAttribute = 100000,
};

constexpr TDispMember kDocumentMembers[] = {{"all", kDocAll},       {"body", kDocBody},
                                            {"title", kDocTitle},   {"readyState", kDocReadyState},
                                            {"URL", kDocUrl},       {"charset", kDocCharset},
                                            {"frames", kDocFrames}, {"parentWindow", kDocParentWindow}};
constexpr TDispMember kCollectionMembers[] = {{"length", kColLength}, {"item", DISPID_VALUE}, {"tags", kColTags}};
constexpr TDispMember kElementMembers[] = {
    {"tagName", kElTagName},       {"innerHTML", kElInnerHtml}, {"outerHTML", kElOuterHtml},
    {"innerText", kElInnerText},   {"getAttribute", kElGetAttribute}, {"all", kElAll},
    {"className", kElClassName}};

// Attributes that IE reads as empty text when they are absent.
bool IsDefinedProperty(const std::string& lower) {
  for (const char* name : {"classid", "src", "id", "name", "type", "title", "width", "height", "href", "codebase",
                           "data", "value", "align", "alt"})
    if (lower == name) return true;
  return false;
}

// The process-wide attribute-name table; names come from program code, but a
// cap keeps a caller that makes up names from growing it without end.
class TAttributeNames {
 public:
  bool IdOf(const std::string& lower, DISPID& id) {
    std::lock_guard lock(mutex_);
    auto it = ids_.find(lower);
    if (it == ids_.end()) {
      if (names_.size() >= 65536) return false;
      it = ids_.emplace(lower, kFirstAttribute + static_cast<DISPID>(names_.size())).first;
      names_.push_back(lower);
    }
    id = it->second;
    return true;
  }
  bool NameOf(DISPID id, std::string& name) {
    std::lock_guard lock(mutex_);
    if (id < kFirstAttribute || static_cast<std::size_t>(id - kFirstAttribute) >= names_.size()) return false;
    name = names_[static_cast<std::size_t>(id - kFirstAttribute)];
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, DISPID> ids_;
  std::vector<std::string> names_;
};

TAttributeNames& AttributeNames() {
  static TAttributeNames names;
  return names;
}

class TCollection : public TDispatchBase {
 public:
  TCollection(TComPtr<THtmlDocument> doc, std::shared_ptr<const TNodeList> nodes)
      : doc_(std::move(doc)), nodes_(std::move(nodes)) {}

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return LookupDispNames(kCollectionMembers, std::size(kCollectionMembers), names, count, ids);
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT* argErr) override {
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kColLength:
        if (DispArgCount(params) != 0) return DISP_E_BADPARAMCOUNT;
        return SetResult(result, TVariant::Int(static_cast<LONG>(std::min<std::size_t>(nodes_->size(), 0x7FFFFFFF))));
      case DISPID_VALUE: return Item(params, result, argErr);
      case kColTags: {
        const VARIANT* arg = DispArg(params, 0);
        if (!arg || DispArgCount(params) != 1) return DISP_E_BADPARAMCOUNT;
        TVariant text;
        if (FAILED(VariantChangeType(&text, arg, 0, VT_BSTR))) {
          if (argErr) *argErr = 0;
          return DISP_E_TYPEMISMATCH;
        }
        const std::string want = BstrToUtf8(text.bstrVal);
        const GumboTag wantTag = gumbo_tagn_enum(want.data(), static_cast<unsigned>(want.size()));
        auto matches = std::make_shared<TNodeList>();
        for (const GumboNode* node : *nodes_) {
          const GumboTag tag = node->v.element.tag;
          if (wantTag != GUMBO_TAG_UNKNOWN ? tag == wantTag
                                           : tag == GUMBO_TAG_UNKNOWN &&
                                                 strcasecmp(TagNameOf(node).c_str(), want.c_str()) == 0)
            matches->push_back(node);
        }
        return SetResult(result, TVariant::Dispatch(doc_->MakeCollection(std::move(matches)).Get()));
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  // item(index) or item(id or name): the element, or VT_NULL.
  HRESULT Item(DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    const VARIANT* arg = DispArg(params, 0);
    if (!arg) return DISP_E_BADPARAMCOUNT;
    TVariant plain;
    VariantCopyInd(&plain, arg);
    if (plain.vt == VT_BSTR) {
      const std::string key = BstrToUtf8(plain.bstrVal);
      std::string value;
      for (const GumboNode* node : *nodes_)
        if ((AttributeOf(node, "id", value) && value == key) || (AttributeOf(node, "name", value) && value == key))
          return SetResult(result, TVariant::Dispatch(doc_->MakeElement(node).Get()));
      return SetResult(result, TVariant::Null());
    }
    TVariant index;
    if (FAILED(VariantChangeType(&index, &plain, 0, VT_I4))) {
      if (argErr) *argErr = 0;
      return DISP_E_TYPEMISMATCH;
    }
    if (index.lVal < 0 || static_cast<std::size_t>(index.lVal) >= nodes_->size())
      return SetResult(result, TVariant::Null());
    return SetResult(result, TVariant::Dispatch(doc_->MakeElement((*nodes_)[index.lVal]).Get()));
  }

  TComPtr<THtmlDocument> doc_;
  std::shared_ptr<const TNodeList> nodes_;
};

class TElement : public TDispatchBase {
 public:
  TElement(TComPtr<THtmlDocument> doc, const GumboNode* node) : doc_(std::move(doc)), node_(node) {}

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT hr = LookupDispNames(kElementMembers, std::size(kElementMembers), names, count, ids);
    if (hr != DISP_E_UNKNOWNNAME || count != 1 || !names || !names[0]) return hr;
    // Any other name is an attribute.
    std::u16string w(names[0]);
    const std::string lower = AsciiLowerCase(Utf16ToUtf8(w));
    if (lower.empty() || !AttributeNames().IdOf(lower, ids[0])) return DISP_E_UNKNOWNNAME;
    return S_OK;
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT* argErr) override {
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kElTagName: return SetResult(result, TVariant::Text(TagNameOf(node_)));
      case kElInnerHtml:
      case kElOuterHtml: {
        std::string html;
        if (id == kElInnerHtml) SerializeInner(node_, html);
        else SerializeOuter(node_, html);
        return SetResult(result, TVariant::Text(html));
      }
      case kElInnerText: return SetResult(result, TVariant::Text(InnerTextOf(node_)));
      case kElClassName: return Attribute("class", true, result);
      case kElAll: {
        auto nodes = std::make_shared<TNodeList>();
        CollectElements(node_, *nodes);
        return SetResult(result, TVariant::Dispatch(doc_->MakeCollection(std::move(nodes)).Get()));
      }
      case kElGetAttribute: {
        const VARIANT* arg = DispArg(params, 0);
        if (!arg) return DISP_E_BADPARAMCOUNT;
        TVariant name;
        if (FAILED(VariantChangeType(&name, arg, 0, VT_BSTR))) {
          if (argErr) *argErr = 0;
          return DISP_E_TYPEMISMATCH;
        }
        return Attribute(BstrToUtf8(name.bstrVal), false, result);
      }
      default: {
        std::string name;
        if (!AttributeNames().NameOf(id, name)) return DISP_E_MEMBERNOTFOUND;
        return Attribute(name, IsDefinedProperty(name), result);
      }
    }
  }

 private:
  HRESULT Attribute(const std::string& name, bool emptyWhenAbsent, VARIANT* result) {
    std::string value;
    if (AttributeOf(node_, name, value)) return SetResult(result, TVariant::Text(value));
    return SetResult(result, emptyWhenAbsent ? TVariant::Text("") : TVariant::Null());
  }

  TComPtr<THtmlDocument> doc_;
  const GumboNode* node_;
};

}  // namespace

TComPtr<IDispatch> THtmlDocument::MakeCollection(std::shared_ptr<const TNodeList> nodes) {
  return TComPtr<IDispatch>::Attach(new TCollection(TComPtr<THtmlDocument>(this), std::move(nodes)));
}

TComPtr<IDispatch> THtmlDocument::MakeElement(const GumboNode* node) {
  return TComPtr<IDispatch>::Attach(new TElement(TComPtr<THtmlDocument>(this), node));
}

HRESULT THtmlDocument::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT THtmlDocument::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT THtmlDocument::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return LookupDispNames(kDocumentMembers, std::size(kDocumentMembers), names, count, ids);
}

HRESULT THtmlDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              UINT* argErr) {
  if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case kDocAll: {
      TComPtr<IDispatch> all = MakeCollection(AllElements());
      // all(index) is item(index), as IE allows.
      if (DispArgCount(params) > 0) {
        TVariant v;
        const HRESULT hr = all->Invoke(DISPID_VALUE, IID_NULL, 0, flags, params, &v, nullptr, argErr);
        if (FAILED(hr)) return hr;
        return SetResult(result, std::move(v));
      }
      return SetResult(result, TVariant::Dispatch(all.Get()));
    }
    case kDocFrames: return SetResult(result, TVariant::Dispatch(MakeFrameCollection(*this).Get()));
    case kDocUrl: return SetResult(result, TVariant::Text(url_));
    case kDocCharset: return SetResult(result, TVariant::Text(charset_));
    case kDocParentWindow:
      if (!parentWindow_) return DISP_E_MEMBERNOTFOUND;
      return SetResult(result, TVariant::Dispatch(parentWindow_.Get()));
    case kDocReadyState: return SetResult(result, TVariant::Text("complete"));
    case kDocTitle:
      for (const GumboNode* node : *AllElements())
        if (node->v.element.tag == GUMBO_TAG_TITLE) return SetResult(result, TVariant::Text(InnerTextOf(node)));
      return SetResult(result, TVariant::Text(""));
    case kDocBody:
      for (const GumboNode* node : *AllElements())
        if (node->v.element.tag == GUMBO_TAG_BODY) return SetResult(result, TVariant::Dispatch(MakeElement(node).Get()));
      return SetResult(result, TVariant::Null());
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace win::html
