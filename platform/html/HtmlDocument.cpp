#include "platform/html/HtmlDocument.h"

#include <strings.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
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

namespace {

// An element that the nesting bound counts as open.
struct TOpenTag {
  GumboTag tag;
  const char* name;  // into the text, for tags gumbo does not know
  std::size_t length;
};

bool SameTag(const TOpenTag& a, GumboTag tag, const char* name, std::size_t length) {
  if (a.tag != tag) return false;
  return tag != GUMBO_TAG_UNKNOWN || (a.length == length && strncasecmp(a.name, name, length) == 0);
}

bool IsHeading(GumboTag t) {
  return t == GUMBO_TAG_H1 || t == GUMBO_TAG_H2 || t == GUMBO_TAG_H3 || t == GUMBO_TAG_H4 || t == GUMBO_TAG_H5 ||
         t == GUMBO_TAG_H6;
}

// Start tags that end an open P, as the tree builder closes it.
bool ClosesP(GumboTag t) {
  switch (t) {
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_P:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT: return true;
    default: return IsHeading(t);
  }
}

// Elements at which a search for an implicitly closed element stops.
bool IsScopeBoundary(GumboTag t) {
  switch (t) {
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_APPLET:
    case GUMBO_TAG_MARQUEE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_SVG:
    case GUMBO_TAG_MATH: return true;
    default: return false;
  }
}

// The elements that the start tag t closes by itself: the nearest open one
// for which `closes` holds, searched down to a boundary; npos when none.
template <class F>
std::size_t FindImplicitlyClosed(const std::vector<TOpenTag>& open, F closes, bool (*boundary)(GumboTag)) {
  for (std::size_t k = open.size(); k-- > 0;) {
    if (closes(open[k].tag)) return k;
    if (boundary(open[k].tag)) break;
  }
  return std::string::npos;
}

bool ListBoundary(GumboTag t) { return IsScopeBoundary(t) || t == GUMBO_TAG_UL || t == GUMBO_TAG_OL; }
bool DlBoundary(GumboTag t) { return IsScopeBoundary(t) || t == GUMBO_TAG_DL; }
bool RowBoundary(GumboTag t) { return t == GUMBO_TAG_TABLE || t == GUMBO_TAG_HTML || t == GUMBO_TAG_TEMPLATE; }
bool ButtonBoundary(GumboTag t) { return IsScopeBoundary(t) || t == GUMBO_TAG_BUTTON; }

// Where the open elements are cut back to before the start tag t is pushed
// (open.size() when nothing closes).
std::size_t CutBeforeStart(const std::vector<TOpenTag>& open, GumboTag t) {
  std::size_t k = std::string::npos;
  switch (t) {
    case GUMBO_TAG_LI:
      k = FindImplicitlyClosed(open, [](GumboTag o) { return o == GUMBO_TAG_LI; }, ListBoundary);
      break;
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
      k = FindImplicitlyClosed(open, [](GumboTag o) { return o == GUMBO_TAG_DT || o == GUMBO_TAG_DD; }, DlBoundary);
      break;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      k = FindImplicitlyClosed(
          open, [](GumboTag o) { return o == GUMBO_TAG_TD || o == GUMBO_TAG_TH || o == GUMBO_TAG_TR; }, RowBoundary);
      if (k != std::string::npos && open[k].tag == GUMBO_TAG_TR) k = std::string::npos;  // a cell in its row
      break;
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
      k = FindImplicitlyClosed(
          open,
          [t](GumboTag o) {
            return o == GUMBO_TAG_TD || o == GUMBO_TAG_TH || o == GUMBO_TAG_TR ||
                   (t != GUMBO_TAG_TR && (o == GUMBO_TAG_TBODY || o == GUMBO_TAG_THEAD || o == GUMBO_TAG_TFOOT));
          },
          RowBoundary);
      // Cut down to the first of them: search on for the outermost in this table.
      if (k != std::string::npos)
        while (k > 0 && (open[k - 1].tag == GUMBO_TAG_TR || open[k - 1].tag == GUMBO_TAG_TD ||
                         open[k - 1].tag == GUMBO_TAG_TH ||
                         (t != GUMBO_TAG_TR && (open[k - 1].tag == GUMBO_TAG_TBODY ||
                                                open[k - 1].tag == GUMBO_TAG_THEAD || open[k - 1].tag == GUMBO_TAG_TFOOT))))
          --k;
      break;
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP:
      if (!open.empty() && (open.back().tag == GUMBO_TAG_OPTION ||
                            (t == GUMBO_TAG_OPTGROUP && open.back().tag == GUMBO_TAG_OPTGROUP)))
        k = open.size() - 1;
      break;
    case GUMBO_TAG_A:
    case GUMBO_TAG_NOBR:
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_FORM:
      k = FindImplicitlyClosed(open, [t](GumboTag o) { return o == t; }, IsScopeBoundary);
      break;
    default: break;
  }
  if (ClosesP(t)) {
    const std::size_t p = FindImplicitlyClosed(open, [](GumboTag o) { return o == GUMBO_TAG_P; }, ButtonBoundary);
    if (p != std::string::npos && (k == std::string::npos || p < k)) k = p;
  }
  if (IsHeading(t) && !open.empty() && IsHeading(open.back().tag)) k = std::min(k, open.size() - 1);
  return k == std::string::npos ? open.size() : k;
}

// The end of a tag whose name ends at j, as the tokenizer reads attributes:
// quotes only delimit a value that follows "=". Sets selfClosing for "/>".
std::size_t TagEnd(const std::string& text, std::size_t j, bool& selfClosing) {
  enum { kBeforeName, kName, kAfterName, kBeforeValue, kUnquoted } state = kBeforeName;
  const std::size_t n = text.size();
  bool slash = false;
  while (j < n) {
    const char c = text[j];
    if (c == '>' && state != kBeforeValue) {
      selfClosing = slash;
      return j;
    }
    slash = false;
    switch (state) {
      case kBeforeName:
        if (c == '/') slash = true;
        else if (!IsSpace(c)) state = kName;
        break;
      case kName:
        if (IsSpace(c)) state = kAfterName;
        else if (c == '/') state = kBeforeName, slash = true;
        else if (c == '=') state = kBeforeValue;
        break;
      case kAfterName:
        if (c == '/') state = kBeforeName, slash = true;
        else if (c == '=') state = kBeforeValue;
        else if (!IsSpace(c)) state = kName;
        break;
      case kBeforeValue:
        if (c == '>') {  // a missing value ends the tag too
          selfClosing = false;
          return j;
        }
        if (c == '"' || c == '\'') {
          const std::size_t close = text.find(c, j + 1);
          if (close == std::string::npos) return std::string::npos;
          j = close;
          state = kBeforeName;
        } else if (!IsSpace(c)) {
          state = kUnquoted;
        }
        break;
      case kUnquoted:
        if (IsSpace(c)) state = kBeforeName;
        break;
    }
    ++j;
  }
  return std::string::npos;
}

}  // namespace

bool LimitNesting(const std::string& text, std::string& out) {
  const std::size_t n = text.size();
  std::string result;
  bool changed = false;
  std::size_t copied = 0;  // text[copied, i) is still to be copied
  std::vector<TOpenTag> open, dropped;
  // Index of the outermost open SVG or MATH element; npos outside foreign content.
  std::size_t foreignAt = std::string::npos;
  auto cut = [&](std::size_t k) {
    if (k >= open.size()) return;
    open.resize(k);
    if (foreignAt != std::string::npos && foreignAt >= k) foreignAt = std::string::npos;
  };
  std::size_t i = 0;
  auto drop = [&](std::size_t from, std::size_t to) {
    if (!changed) result.reserve(n);
    changed = true;
    result.append(text, copied, from - copied);
    copied = to;
  };
  while ((i = text.find('<', i)) != std::string::npos) {
    if (text.compare(i, 4, "<!--") == 0) {
      // "<!-->" and "<!--->" are whole comments; a comment also ends at "--!>".
      if (text.compare(i + 4, 1, ">") == 0 || text.compare(i + 4, 2, "->") == 0) {
        i += 4;
        continue;
      }
      const std::size_t a = text.find("-->", i + 4), b = text.find("--!>", i + 4);
      if (a == std::string::npos && b == std::string::npos) break;
      i = a < b ? a + 3 : b + 4;
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
    bool selfClosing = false;
    j = TagEnd(text, j, selfClosing);
    if (j == std::string::npos) break;
    const std::size_t end = j + 1;
    if (closing) {
      if (!dropped.empty() && SameTag(dropped.back(), tag, name, nameLength)) {
        dropped.pop_back();
        drop(i, end);
      } else {
        // Closes the nearest open element of its name; a stray end tag closes nothing.
        for (std::size_t k = open.size(); k-- > 0;)
          if (SameTag(open[k], tag, name, nameLength)) {
            cut(k);
            break;
          }
      }
      i = end;
      continue;
    }
    // The parser leaves foreign content at these: its elements are closed.
    if (foreignAt != std::string::npos && BreaksOutOfForeign(tag)) cut(foreignAt);
    const bool foreign = foreignAt != std::string::npos;
    const bool pushes = !IsVoidTag(tag) && tag != GUMBO_TAG_HTML && tag != GUMBO_TAG_HEAD &&
                        tag != GUMBO_TAG_BODY && !(foreign && selfClosing);
    if (pushes) {
      if (!foreign) cut(CutBeforeStart(open, tag));
      if (open.size() >= static_cast<std::size_t>(kMaxNesting)) {
        dropped.push_back({tag, name, nameLength});
        drop(i, end);
        i = end;
        continue;
      }
      if ((tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH) && foreignAt == std::string::npos) foreignAt = open.size();
      open.push_back({tag, name, nameLength});
    }
    i = end;
    if (foreignAt != std::string::npos) continue;  // inside SVG and MathML even <title> and <style> hold markup
    if (tag == GUMBO_TAG_PLAINTEXT) break;
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

namespace {

// Visits the descendants of root in document order without recursion (pages
// nest deep); visit answers whether to go into the node's children, which
// only elements have.
template <class TVisit>
void WalkDescendants(const GumboNode* root, TVisit visit) {
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  if (ChildrenOf(root)) stack.emplace_back(root, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const GumboVector* children = ChildrenOf(node);
    if (!children || next >= children->length) {
      stack.pop_back();
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(children->data[next++]);
    if (visit(child)) stack.emplace_back(child, 0);
  }
}

}  // namespace

void CollectElements(const GumboNode* root, std::vector<const GumboNode*>& out) {
  WalkDescendants(root, [&](const GumboNode* child) {
    if (!IsElement(child)) return false;
    out.push_back(child);
    return true;
  });
}

std::string InnerTextOf(const GumboNode* root) {
  std::string out;
  WalkDescendants(root, [&](const GumboNode* child) {
    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE || child->type == GUMBO_NODE_CDATA) {
      out.append(child->v.text.text);
      return false;
    }
    return IsElement(child) && child->v.element.tag != GUMBO_TAG_SCRIPT && child->v.element.tag != GUMBO_TAG_STYLE;
  });
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

std::size_t ParseMemoryBudget(std::size_t textBytes) {
  return kParseMemoryBase + kParseMemoryPerByte * textBytes;
}

// The parser's allocations, linked so that an abandoned parse can be freed
// whole, and counted against the budget.
struct THtmlDocument::TArena {
  struct alignas(std::max_align_t) THeader {
    THeader* prev;
    THeader* next;
    std::size_t size;
  };
  THeader head{&head, &head, 0};
  std::size_t live = 0, budget = 0;
  std::jmp_buf abandon;

  static void* Allocate(void* user, std::size_t size) {
    auto* a = static_cast<TArena*>(user);
    if (a->live + size > a->budget) std::longjmp(a->abandon, 1);
    auto* h = static_cast<THeader*>(std::malloc(sizeof(THeader) + size));
    if (!h) std::longjmp(a->abandon, 1);
    h->size = size;
    h->next = a->head.next;
    h->prev = &a->head;
    a->head.next->prev = h;
    a->head.next = h;
    a->live += size;
    return h + 1;
  }
  static void Free(void* user, void* p) {
    if (!p) return;
    auto* a = static_cast<TArena*>(user);
    THeader* h = static_cast<THeader*>(p) - 1;
    h->prev->next = h->next;
    h->next->prev = h->prev;
    a->live -= h->size;
    std::free(h);
  }
  void FreeAll() {
    for (THeader* h = head.next; h != &head;) {
      THeader* next = h->next;
      std::free(h);
      h = next;
    }
    head.next = head.prev = &head;
    live = 0;
  }
  GumboOptions Options() {
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &TArena::Allocate;
    options.deallocator = &TArena::Free;
    options.userdata = this;
    options.max_errors = 0;  // parse errors are not reported; recording them costs time and memory
    return options;
  }
};

namespace {

// Only trivial objects live in this frame: the budget leaves it by longjmp.
GumboOutput* GuardedParse(std::jmp_buf& abandon, const GumboOptions* options, const char* text, std::size_t size) {
  if (setjmp(abandon) != 0) return nullptr;
  return gumbo_parse_with_options(options, text, size);
}

const char kTooComplexPage[] =
    "<html><head><title>The page cannot be displayed</title></head><body>"
    "<h1>The page cannot be displayed</h1><p id=\"error\">The page is too complex to display.</p></body></html>";

}  // namespace

bool THtmlDocument::ParseText(std::size_t budget) {
  arena_->budget = budget;
  const GumboOptions options = arena_->Options();
  output_ = GuardedParse(arena_->abandon, &options, text_.data(), text_.size());
  if (output_) return true;
  arena_->FreeAll();
  return false;
}

TComPtr<THtmlDocument> THtmlDocument::Parse(std::string utf8Text, std::string url, std::string charset) {
  const std::size_t budget = ParseMemoryBudget(utf8Text.size());
  return ParseWithBudget(std::move(utf8Text), std::move(url), std::move(charset), budget);
}

TComPtr<THtmlDocument> THtmlDocument::ParseWithBudget(std::string utf8Text, std::string url, std::string charset,
                                                      std::size_t budget) {
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
  doc->arena_ = std::make_unique<TArena>();
  if (!doc->ParseText(budget)) {
    doc->tooComplex_ = true;
    doc->text_ = kTooComplexPage;
    if (!doc->ParseText(ParseMemoryBudget(doc->text_.size()))) std::abort();  // a fixed small page always fits
  }
  auto all = std::make_shared<TNodeList>();
  CollectElements(doc->output_->document, *all);
  doc->all_ = std::move(all);
  return doc;
}

THtmlDocument::~THtmlDocument() {
  if (output_) {
    const GumboOptions options = arena_->Options();
    gumbo_destroy_output(&options, output_);
  }
  if (arena_) arena_->FreeAll();
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
