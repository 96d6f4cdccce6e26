#include "platform/html/HtmlTree.h"

#include <strings.h>

#include <cstring>

#include "platform/win/Ascii.h"

namespace win::html {

namespace {

char* CopyText(THtmlDocument& doc, const std::string& text) {
  auto* copy = static_cast<char*>(doc.TreeAllocate(text.size() + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  return copy;
}

// Room for one more entry; gumbo's vectors grow through the same arena.
bool Reserve(THtmlDocument& doc, GumboVector& v, unsigned want) {
  if (want <= v.capacity) return true;
  unsigned capacity = v.capacity ? v.capacity : 4;
  while (capacity < want) capacity *= 2;
  auto* data = static_cast<void**>(doc.TreeAllocate(sizeof(void*) * capacity));
  if (!data) return false;
  if (v.length) std::memcpy(data, v.data, sizeof(void*) * v.length);
  // The old block stays in the arena until the document goes: cheaper than
  // tracking which allocator made it, and bounded by the doubling.
  v.data = data;
  v.capacity = capacity;
  return true;
}

void Renumber(GumboVector& children, unsigned from) {
  for (unsigned i = from; i < children.length; ++i)
    static_cast<GumboNode*>(children.data[i])->index_within_parent = i;
}

// The tag whose rules parse markup put into node.
GumboTag FragmentContext(const GumboNode* node) {
  if (!IsElementNode(node)) return GUMBO_TAG_BODY;
  switch (node->v.element.tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_UNKNOWN: return GUMBO_TAG_BODY;
    default: return node->v.element.tag;
  }
}

}  // namespace

bool IsElementNode(const GumboNode* node) {
  return node && (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE);
}

GumboVector* ChildVector(GumboNode* node) {
  if (IsElementNode(node)) return &node->v.element.children;
  if (node && node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
  return nullptr;
}

GumboNode* NewElement(THtmlDocument& doc, const std::string& tagName) {
  std::string lower = AsciiLowerCase(tagName);
  if (lower.empty()) return nullptr;
  auto* node = static_cast<GumboNode*>(doc.TreeAllocate(sizeof(GumboNode)));
  if (!node) return nullptr;
  std::memset(node, 0, sizeof *node);
  node->type = GUMBO_NODE_ELEMENT;
  node->parse_flags = GUMBO_INSERTION_BY_PARSER;
  GumboElement& e = node->v.element;
  e.tag = gumbo_tagn_enum(lower.data(), static_cast<unsigned>(lower.size()));
  e.tag_namespace = GUMBO_NAMESPACE_HTML;
  // Unknown tags are named by their source text, as the parser leaves them.
  const std::string source = "<" + lower + ">";
  char* text = CopyText(doc, source);
  if (!text) return nullptr;
  e.original_tag = {text, source.size()};
  return node;
}

GumboNode* NewText(THtmlDocument& doc, const std::string& text) {
  auto* node = static_cast<GumboNode*>(doc.TreeAllocate(sizeof(GumboNode)));
  if (!node) return nullptr;
  std::memset(node, 0, sizeof *node);
  node->type = GUMBO_NODE_TEXT;
  node->v.text.text = CopyText(doc, text);
  return node->v.text.text ? node : nullptr;
}

bool SetAttribute(THtmlDocument& doc, GumboNode* element, const std::string& name, const std::string& value) {
  if (!IsElementNode(element) || name.empty()) return false;
  char* copy = CopyText(doc, value);
  if (!copy) return false;
  GumboVector& attrs = element->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    auto* a = static_cast<GumboAttribute*>(attrs.data[i]);
    if (strcasecmp(a->name, name.c_str()) == 0) {
      a->value = copy;
      doc.TreeChanged();
      return true;
    }
  }
  auto* a = static_cast<GumboAttribute*>(doc.TreeAllocate(sizeof(GumboAttribute)));
  char* lowerName = CopyText(doc, AsciiLowerCase(name));
  if (!a || !lowerName || !Reserve(doc, attrs, attrs.length + 1)) return false;
  std::memset(a, 0, sizeof *a);
  a->attr_namespace = GUMBO_ATTR_NAMESPACE_NONE;
  a->name = lowerName;
  a->value = copy;
  attrs.data[attrs.length++] = a;
  doc.TreeChanged();
  return true;
}

void RemoveAttribute(GumboNode* element, const std::string& name) {
  if (!IsElementNode(element)) return;
  GumboVector& attrs = element->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    if (strcasecmp(static_cast<GumboAttribute*>(attrs.data[i])->name, name.c_str()) != 0) continue;
    std::memmove(&attrs.data[i], &attrs.data[i + 1], sizeof(void*) * (attrs.length - i - 1));
    --attrs.length;
    return;
  }
}

bool IsInclusiveAncestor(const GumboNode* ancestor, const GumboNode* node) {
  for (; node; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

void Detach(THtmlDocument& doc, GumboNode* node) {
  GumboNode* parent = node->parent;
  if (!parent) return;
  GumboVector* children = ChildVector(parent);
  const unsigned i = static_cast<unsigned>(node->index_within_parent);
  if (children && i < children->length && children->data[i] == node) {
    std::memmove(&children->data[i], &children->data[i + 1], sizeof(void*) * (children->length - i - 1));
    --children->length;
    Renumber(*children, i);
  }
  node->parent = nullptr;
  node->index_within_parent = 0;
  doc.TreeChanged();
}

bool InsertChild(THtmlDocument& doc, GumboNode* parent, GumboNode* child, std::size_t index) {
  GumboVector* children = ChildVector(parent);
  if (!children || !child || child->type == GUMBO_NODE_DOCUMENT || IsInclusiveAncestor(child, parent)) return false;
  if (child->parent == parent && static_cast<std::size_t>(child->index_within_parent) < index) --index;
  Detach(doc, child);
  if (!Reserve(doc, *children, children->length + 1)) return false;
  const unsigned at = index > children->length ? children->length : static_cast<unsigned>(index);
  std::memmove(&children->data[at + 1], &children->data[at], sizeof(void*) * (children->length - at));
  children->data[at] = child;
  ++children->length;
  child->parent = parent;
  Renumber(*children, at);
  doc.TreeChanged();
  return true;
}

bool InsertMarkup(THtmlDocument& doc, GumboNode* parent, std::size_t index, const std::string& markup,
                  std::vector<GumboNode*>* inserted) {
  std::vector<GumboNode*> nodes;
  if (!doc.ParseFragment(markup, FragmentContext(parent), nodes)) return false;
  for (GumboNode* node : nodes) {
    if (!InsertChild(doc, parent, node, index++)) return false;
    if (inserted) inserted->push_back(node);
  }
  return true;
}

bool SetInnerHtml(THtmlDocument& doc, GumboNode* node, const std::string& markup) {
  GumboVector* children = ChildVector(node);
  if (!children) return false;
  std::vector<GumboNode*> nodes;
  if (!doc.ParseFragment(markup, FragmentContext(node), nodes)) return false;
  while (children->length) Detach(doc, static_cast<GumboNode*>(children->data[children->length - 1]));
  for (GumboNode* child : nodes)
    if (!InsertChild(doc, node, child, children->length)) return false;
  return true;
}

bool SetOuterHtml(THtmlDocument& doc, GumboNode* node, const std::string& markup, std::vector<GumboNode*>* inserted) {
  GumboNode* parent = node->parent;
  if (!parent || parent->type == GUMBO_NODE_DOCUMENT) return false;
  const std::size_t index = static_cast<std::size_t>(node->index_within_parent);
  if (!InsertMarkup(doc, parent, index + 1, markup, inserted)) return false;
  Detach(doc, node);
  return true;
}

bool SetText(THtmlDocument& doc, GumboNode* node, const std::string& text) {
  if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_COMMENT ||
      node->type == GUMBO_NODE_CDATA) {
    const char* copy = CopyText(doc, text);
    if (!copy) return false;
    node->v.text.text = copy;
    return true;
  }
  GumboVector* children = ChildVector(node);
  if (!children) return false;
  GumboNode* textNode = text.empty() ? nullptr : NewText(doc, text);
  if (!text.empty() && !textNode) return false;
  while (children->length) Detach(doc, static_cast<GumboNode*>(children->data[children->length - 1]));
  return !textNode || InsertChild(doc, node, textNode, 0);
}

}  // namespace win::html
