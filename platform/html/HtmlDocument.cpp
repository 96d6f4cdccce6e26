#include "platform/html/HtmlDocument.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace win::html {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string LowerAscii(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool InList(const std::string& name, std::initializer_list<const char*> list) {
  for (const char* s : list)
    if (name == s) return true;
  return false;
}

// Elements that never have content.
bool IsVoidTag(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_IMAGE:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_WBR:
    case GUMBO_TAG_MENUITEM: return true;
    default: return false;
  }
}

// Elements whose end tag may be left out: the parser closes them by itself,
// so they do not deepen the tree without bound.
bool IsClosedByParser(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_P:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_RB:
    case GUMBO_TAG_RT:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_RTC:
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY: return true;
    default: return false;
  }
}

// Elements whose content is text up to their own end tag.
bool IsRawTextTag(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_TITLE: return true;
    default: return false;
  }
}

// HTML elements that end foreign (SVG, MathML) content.
bool BreaksOutOfForeign(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_B:
    case GUMBO_TAG_BIG:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_CODE:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_EM:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_I:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_META:
    case GUMBO_TAG_NOBR:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_P:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_RUBY:
    case GUMBO_TAG_S:
    case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN:
    case GUMBO_TAG_STRONG:
    case GUMBO_TAG_STRIKE:
    case GUMBO_TAG_SUB:
    case GUMBO_TAG_SUP:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TT:
    case GUMBO_TAG_U:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_VAR:
    case GUMBO_TAG_FONT: return true;
    default: return false;
  }
}

// Case-insensitive search for "</name" from pos; npos when absent.
std::size_t FindEndTag(const std::string& text, std::size_t pos, const char* name, std::size_t length) {
  while ((pos = text.find("</", pos)) != std::string::npos) {
    if (pos + 2 + length <= text.size() && strncasecmp(text.c_str() + pos + 2, name, length) == 0) return pos;
    pos += 2;
  }
  return std::string::npos;
}

}  // namespace

bool LimitNesting(const std::string& text, std::string& out) {
  const std::size_t n = text.size();
  std::string result;
  bool changed = false;
  std::size_t copied = 0;  // text[copied, i) is still to be copied
  long depth = 0, dropped = 0, foreign = 0;
  std::size_t i = 0;
  auto drop = [&](std::size_t from, std::size_t to) {
    if (!changed) result.reserve(n);
    changed = true;
    result.append(text, copied, from - copied);
    copied = to;
  };
  while ((i = text.find('<', i)) != std::string::npos) {
    if (text.compare(i, 4, "<!--") == 0) {
      const std::size_t end = text.find("-->", i + 4);
      if (end == std::string::npos) break;
      i = end + 3;
      continue;
    }
    const bool closing = i + 1 < n && text[i + 1] == '/';
    const std::size_t nameAt = i + (closing ? 2 : 1);
    if (nameAt >= n || !IsAlpha(text[nameAt])) {
      ++i;
      continue;
    }
    std::size_t j = nameAt;
    while (j < n && !IsSpace(text[j]) && text[j] != '>' && text[j] != '/') ++j;
    const char* name = text.c_str() + nameAt;
    const std::size_t nameLength = j - nameAt;
    const GumboTag tag = gumbo_tagn_enum(name, static_cast<unsigned>(nameLength));
    const bool foreignRoot = tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH;
    // The end of the tag, quoted attribute values skipped.
    char quote = 0;
    while (j < n && (quote || text[j] != '>')) {
      if (quote) {
        if (text[j] == quote) quote = 0;
      } else if ((text[j] == '"' || text[j] == '\'') && j > 0 && (text[j - 1] == '=' || IsSpace(text[j - 1]))) {
        quote = text[j];
      }
      ++j;
    }
    if (j >= n) break;
    const std::size_t end = j + 1;
    const bool selfClosing = text[j - 1] == '/';
    if (closing) {
      if (foreignRoot) foreign = std::max(0L, foreign - 1);
      if (!IsVoidTag(tag) && !IsClosedByParser(tag)) {
        if (dropped > 0) {
          --dropped;
          drop(i, end);
        } else if (depth > 0) {
          --depth;
        }
      }
      i = end;
      continue;
    }
    if (foreign > 0 && BreaksOutOfForeign(tag)) foreign = 0;
    const bool neutral =
        IsVoidTag(tag) || IsClosedByParser(tag) || (foreign > 0 && selfClosing && !BreaksOutOfForeign(tag));
    if (!neutral) {
      if (depth >= kMaxNesting) {
        ++dropped;
        drop(i, end);
        i = end;
        continue;
      }
      ++depth;
      if (foreignRoot) ++foreign;
    }
    i = end;
    if (tag == GUMBO_TAG_PLAINTEXT) break;
    // (Inside SVG, a title or style is markup; treating it as text here only
    // skips tags, which can let the depth count fall short, never overflow
    // the parser: its raw text ends at the same end tag.)
    if (IsRawTextTag(tag)) {
      const std::size_t close = FindEndTag(text, i, name, nameLength);
      if (close == std::string::npos) break;
      i = close;
    }
  }
  if (!changed) return false;
  result.append(text, copied, std::string::npos);
  out = std::move(result);
  return true;
}

// ---- Nodes ----

std::string TagNameOf(const GumboNode* node) {
  if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return {};
  const GumboElement& e = node->v.element;
  std::string name;
  if (e.tag != GUMBO_TAG_UNKNOWN) {
    name = gumbo_normalized_tagname(e.tag);
  } else if (e.original_tag.data && e.original_tag.length > 0) {
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    name.assign(piece.data, piece.length);
  }
  for (char& c : name) c = Upper(c);
  return name;
}

namespace {

void AppendEscaped(std::string& out, const char* s, std::size_t n, bool attribute) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char* rep = nullptr;
    switch (s[i]) {
      case '&': rep = "&amp;"; break;
      case '"':
        if (attribute) rep = "&quot;";
        break;
      case '<':
        if (!attribute) rep = "&lt;";
        break;
      case '>':
        if (!attribute) rep = "&gt;";
        break;
      default: break;
    }
    if (!rep) continue;
    out.append(s + run, i - run);
    out.append(rep);
    run = i + 1;
  }
  out.append(s + run, n - run);
}

bool IsElement(const GumboNode* node) {
  return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

const GumboVector* ChildrenOf(const GumboNode* node) {
  if (IsElement(node)) return &node->v.element.children;
  if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
  return nullptr;
}

bool IsRawTextParent(const GumboNode* parent) {
  if (!parent || !IsElement(parent)) return false;
  switch (parent->v.element.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PLAINTEXT: return true;
    default: return false;
  }
}

bool IsVoidElement(const GumboNode* node) { return IsVoidTag(node->v.element.tag); }

void OpenTag(const GumboNode* node, const std::string& tag, std::string& out) {
  out.push_back('<');
  out.append(tag);
  const GumboVector& attrs = node->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
    out.push_back(' ');
    out.append(a->name);
    out.append("=\"");
    AppendEscaped(out, a->value, std::strlen(a->value), true);
    out.push_back('"');
  }
  out.push_back('>');
}

// Serialises the children of root, and root itself when outer.
void Serialize(const GumboNode* root, bool outer, std::string& out) {
  struct TFrame {
    const GumboNode* node;
    unsigned next;
    std::string tag;
  };
  std::vector<TFrame> stack;
  auto enter = [&](const GumboNode* node) {
    switch (node->type) {
      case GUMBO_NODE_DOCUMENT: stack.push_back({node, 0, {}}); break;
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        std::string tag = TagNameOf(node);
        OpenTag(node, tag, out);
        if (!IsVoidElement(node)) stack.push_back({node, 0, std::move(tag)});
        break;
      }
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE: {
        const char* t = node->v.text.text;
        if (IsRawTextParent(node->parent)) out.append(t);
        else AppendEscaped(out, t, std::strlen(t), false);
        break;
      }
      case GUMBO_NODE_CDATA:
        out.append("<![CDATA[");
        out.append(node->v.text.text);
        out.append("]]>");
        break;
      case GUMBO_NODE_COMMENT:
        out.append("<!--");
        out.append(node->v.text.text);
        out.append("-->");
        break;
    }
  };
  if (outer) enter(root);
  else if (ChildrenOf(root)) stack.push_back({root, 0, {}});
  while (!stack.empty()) {
    TFrame& top = stack.back();
    const GumboVector* children = ChildrenOf(top.node);
    if (top.next < children->length) {
      const auto* child = static_cast<const GumboNode*>(children->data[top.next++]);
      enter(child);  // may grow the stack: top is not used after this
      continue;
    }
    const bool closeTag = IsElement(top.node) && (outer || top.node != root);
    if (closeTag) {
      out.append("</");
      out.append(top.tag);
      out.push_back('>');
    }
    stack.pop_back();
  }
}

}  // namespace

void SerializeOuter(const GumboNode* node, std::string& out) { Serialize(node, true, out); }
void SerializeInner(const GumboNode* node, std::string& out) { Serialize(node, false, out); }

void CollectElements(const GumboNode* root, std::vector<const GumboNode*>& out) {
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  if (ChildrenOf(root)) stack.emplace_back(root, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const GumboVector* children = ChildrenOf(node);
    if (next >= children->length) {
      stack.pop_back();
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(children->data[next++]);
    if (IsElement(child)) {
      out.push_back(child);
      stack.emplace_back(child, 0);
    }
  }
}

std::string InnerTextOf(const GumboNode* root) {
  std::string out;
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  if (ChildrenOf(root)) stack.emplace_back(root, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const GumboVector* children = ChildrenOf(node);
    if (next >= children->length) {
      stack.pop_back();
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(children->data[next++]);
    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE || child->type == GUMBO_NODE_CDATA) {
      out.append(child->v.text.text);
    } else if (IsElement(child) && child->v.element.tag != GUMBO_TAG_SCRIPT &&
               child->v.element.tag != GUMBO_TAG_STYLE) {
      stack.emplace_back(child, 0);
    }
  }
  return out;
}

bool AttributeOf(const GumboNode* node, const std::string& name, std::string& value) {
  if (!IsElement(node)) return false;
  const GumboVector& attrs = node->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
    if (strcasecmp(a->name, name.c_str()) == 0) {
      value = a->value;
      return true;
    }
  }
  return false;
}

// ---- Dispatch objects ----

namespace {

enum : DISPID {
  kDocAll = 1003,
  kDocBody = 1004,
  kDocTitle = 1012,
  kDocReadyState = 1018,
  kDocUrl = 1025,
  kDocCharset = 1032,
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
                                            {"URL", kDocUrl},       {"charset", kDocCharset}};
constexpr TDispMember kCollectionMembers[] = {{"length", kColLength}, {"item", DISPID_VALUE}, {"tags", kColTags}};
constexpr TDispMember kElementMembers[] = {
    {"tagName", kElTagName},       {"innerHTML", kElInnerHtml}, {"outerHTML", kElOuterHtml},
    {"innerText", kElInnerText},   {"getAttribute", kElGetAttribute}, {"all", kElAll},
    {"className", kElClassName}};

// Attributes that IE reads as empty text when they are absent.
bool IsDefinedProperty(const std::string& lower) {
  return InList(lower, {"classid", "src", "id", "name", "type", "title", "width", "height", "href", "codebase",
                        "data", "value", "align", "alt"});
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

bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0; }

HRESULT SetResult(VARIANT* result, TVariant value) {
  if (!result) return S_OK;
  VariantClear(result);
  *result = value;
  VariantInit(&value);
  return S_OK;
}

// Common parts of the three dispatch objects.
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
    const std::string lower = LowerAscii(Utf16ToUtf8(w));
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

TComPtr<THtmlDocument> THtmlDocument::Parse(std::string utf8Text, std::string url, std::string charset) {
  auto doc = TComPtr<THtmlDocument>::Attach(new THtmlDocument());
  std::string limited;
  if (LimitNesting(utf8Text, limited)) {
    doc->flattened_ = true;
    utf8Text = std::move(limited);
  }
  // Gumbo points into the text: it stays with the document.
  doc->text_ = std::move(utf8Text);
  doc->url_ = std::move(url);
  doc->charset_ = std::move(charset);
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // parse errors are not reported; recording them costs time and memory
  doc->output_ = gumbo_parse_with_options(&options, doc->text_.data(), doc->text_.size());
  auto all = std::make_shared<TNodeList>();
  CollectElements(doc->output_->document, *all);
  doc->all_ = std::move(all);
  return doc;
}

THtmlDocument::~THtmlDocument() {
  if (output_) gumbo_destroy_output(&kGumboDefaultOptions, output_);
}

IUnknown* THtmlDocument::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
}

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
      TComPtr<IDispatch> all = MakeCollection(all_);
      // all(index) is item(index), as IE allows.
      if (DispArgCount(params) > 0) {
        TVariant v;
        const HRESULT hr = all->Invoke(DISPID_VALUE, IID_NULL, 0, flags, params, &v, nullptr, argErr);
        if (FAILED(hr)) return hr;
        return SetResult(result, std::move(v));
      }
      return SetResult(result, TVariant::Dispatch(all.Get()));
    }
    case kDocUrl: return SetResult(result, TVariant::Text(url_));
    case kDocCharset: return SetResult(result, TVariant::Text(charset_));
    case kDocReadyState: return SetResult(result, TVariant::Text("complete"));
    case kDocTitle:
      for (const GumboNode* node : *all_)
        if (node->v.element.tag == GUMBO_TAG_TITLE) return SetResult(result, TVariant::Text(InnerTextOf(node)));
      return SetResult(result, TVariant::Text(""));
    case kDocBody:
      for (const GumboNode* node : *all_)
        if (node->v.element.tag == GUMBO_TAG_BODY) return SetResult(result, TVariant::Dispatch(MakeElement(node).Get()));
      return SetResult(result, TVariant::Null());
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace win::html
