#include "platform/html/HtmlNodes.h"

#include <strings.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "platform/win/Ascii.h"
#include "platform/win/Utf8.h"

namespace win::html {

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
  for (char& c : name) c = AsciiToUpper(c);
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
  auto append = [&](const GumboAttribute* a) {
    out.push_back(' ');
    out.append(a->name);
    out.append("=\"");
    AppendEscaped(out, a->value, std::strlen(a->value), true);
    out.push_back('"');
  };
  // IE writes a PARAM's name first, whatever the source order.
  const GumboAttribute* first =
      node->v.element.tag == GUMBO_TAG_PARAM ? gumbo_get_attribute(&attrs, "name") : nullptr;
  if (first) append(first);
  for (unsigned i = 0; i < attrs.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
    if (a != first) append(a);
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

std::string DecodeCharacterReferences(const std::string& text) {
  static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t amp = text.find('&', i);
    if (amp == std::string::npos) break;
    out.append(text, i, amp - i);
    i = amp + 1;
    const std::size_t semi = text.find(';', i);
    // Longer than any reference here: "#x10FFFF" has 8 characters.
    if (semi == std::string::npos || semi - i > 8 || semi == i) {
      out.push_back('&');
      continue;
    }
    const std::string_view name(text.data() + i, semi - i);
    char32_t cp = 0;
    bool known = false;
    if (name[0] == '#') {
      const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      const std::string_view digits = name.substr(hex ? 2 : 1);
      known = !digits.empty();
      for (char c : digits) {
        const int d = IsAsciiDigit(c) ? c - '0'
                      : hex && AsciiToLower(c) >= 'a' && AsciiToLower(c) <= 'f' ? AsciiToLower(c) - 'a' + 10
                                                                               : -1;
        if (d < 0) known = false;
        else cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
      }
      if (cp == 0 || cp > 0x10FFFF) cp = ReplacementChar;
    } else {
      for (const auto& [n, c] : kNamed)
        if (name == n) known = true, cp = c;
    }
    if (!known) {
      out.push_back('&');
      continue;
    }
    AppendUtf8(out, cp);
    i = semi + 1;
  }
  out.append(text, i, std::string::npos);
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

}  // namespace win::html
