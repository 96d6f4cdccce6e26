// The DOM primitives the bootstrap script builds its node objects on. Nodes
// cross as duktape pointers, which scripts cannot make up: every pointer a
// primitive receives is one it gave out, and nodes live as long as the
// document.
#include <strings.h>

#include "platform/html/HtmlTree.h"
#include "platform/html/ScriptContext.h"
#include "platform/net/Download.h"
#include "platform/win/Ascii.h"

namespace win::html {

namespace {

GumboNode* NodeArg(duk_context* ctx, duk_idx_t i) {
  auto* node = static_cast<GumboNode*>(duk_get_pointer(ctx, i));
  if (!node) (void)duk_type_error(ctx, "not a node");
  return node;
}

std::string TextArg(duk_context* ctx, duk_idx_t i) {
  duk_size_t n = 0;
  const char* s = duk_to_lstring(ctx, i, &n);
  return std::string(s, n);
}

void PushNodeOrNull(duk_context* ctx, const GumboNode* node) {
  if (node) duk_push_pointer(ctx, const_cast<GumboNode*>(node));
  else duk_push_null(ctx);
}

void PushNodes(duk_context* ctx, const std::vector<const GumboNode*>& nodes) {
  duk_push_array(ctx);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    duk_push_pointer(ctx, const_cast<GumboNode*>(nodes[i]));
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
}

void PushText(duk_context* ctx, const std::string& s) { duk_push_lstring(ctx, s.data(), s.size()); }

void OutOfMemory(duk_context* ctx) { (void)duk_range_error(ctx, "out of memory for the document"); }

// Scripts in markup set through innerHTML and outerHTML never run.
void MarkScriptsDone(TScriptContext& sc, const GumboNode* root) {
  if (IsElementNode(root) && root->v.element.tag == GUMBO_TAG_SCRIPT) sc.Done.insert(root);
  TNodeList all;
  CollectElements(root, all);
  for (const GumboNode* n : all)
    if (n->v.element.tag == GUMBO_TAG_SCRIPT) sc.Done.insert(n);
}

duk_ret_t Root(duk_context* ctx) {
  PushNodeOrNull(ctx, ContextOf(ctx).Doc->Root());
  return 1;
}

// 1 element, 3 text, 8 comment, 9 document (DOM node types).
duk_ret_t Kind(duk_context* ctx) {
  const GumboNode* node = NodeArg(ctx, 0);
  int kind = 3;
  switch (node->type) {
    case GUMBO_NODE_DOCUMENT: kind = 9; break;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE: kind = 1; break;
    case GUMBO_NODE_COMMENT: kind = 8; break;
    default: break;
  }
  duk_push_int(ctx, kind);
  return 1;
}

duk_ret_t Tag(duk_context* ctx) {
  PushText(ctx, TagNameOf(NodeArg(ctx, 0)));
  return 1;
}

duk_ret_t Parent(duk_context* ctx) {
  PushNodeOrNull(ctx, NodeArg(ctx, 0)->parent);
  return 1;
}

duk_ret_t Children(duk_context* ctx) {
  GumboVector* children = ChildVector(NodeArg(ctx, 0));
  duk_push_array(ctx);
  for (unsigned i = 0; children && i < children->length; ++i) {
    duk_push_pointer(ctx, children->data[i]);
    duk_put_prop_index(ctx, -2, i);
  }
  return 1;
}

// The sibling at offset (+1 next, -1 previous), or null.
duk_ret_t Sibling(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  const long offset = duk_to_int(ctx, 1);
  GumboVector* siblings = node->parent ? ChildVector(node->parent) : nullptr;
  const long at = static_cast<long>(node->index_within_parent) + offset;
  if (!siblings || at < 0 || at >= static_cast<long>(siblings->length)) duk_push_null(ctx);
  else duk_push_pointer(ctx, siblings->data[at]);
  return 1;
}

duk_ret_t Attr(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  const std::string name = TextArg(ctx, 1);
  std::string value;
  if (AttributeOf(node, name, value)) PushText(ctx, value);
  else duk_push_null(ctx);
  return 1;
}

duk_ret_t SetAttr(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  const std::string name = TextArg(ctx, 1), value = TextArg(ctx, 2);
  if (IsElementNode(node) && !SetAttribute(*ContextOf(ctx).Doc, node, name, value)) OutOfMemory(ctx);
  return 0;
}

duk_ret_t RemoveAttr(duk_context* ctx) {
  RemoveAttribute(NodeArg(ctx, 0), TextArg(ctx, 1));
  ContextOf(ctx).Doc->TreeChanged();
  return 0;
}

duk_ret_t AttrNames(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  duk_push_array(ctx);
  if (!IsElementNode(node)) return 1;
  const GumboVector& attrs = node->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    duk_push_string(ctx, static_cast<const GumboAttribute*>(attrs.data[i])->name);
    duk_put_prop_index(ctx, -2, i);
  }
  return 1;
}

// A text node's text; an element's text content.
duk_ret_t Text(duk_context* ctx) {
  const GumboNode* node = NodeArg(ctx, 0);
  if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE || node->type == GUMBO_NODE_DOCUMENT)
    PushText(ctx, InnerTextOf(node));
  else
    duk_push_string(ctx, node->v.text.text ? node->v.text.text : "");
  return 1;
}

duk_ret_t SetTextContent(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  if (!SetText(*ContextOf(ctx).Doc, node, TextArg(ctx, 1))) OutOfMemory(ctx);
  return 0;
}

duk_ret_t Markup(duk_context* ctx) {
  const GumboNode* node = NodeArg(ctx, 0);
  std::string out;
  if (duk_to_boolean(ctx, 1)) SerializeOuter(node, out);
  else SerializeInner(node, out);
  PushText(ctx, out);
  return 1;
}

duk_ret_t SetMarkup(duk_context* ctx) {
  GumboNode* node = NodeArg(ctx, 0);
  const std::string markup = TextArg(ctx, 1);
  const bool outer = duk_to_boolean(ctx, 2);
  TScriptContext& sc = ContextOf(ctx);
  if (outer) {
    std::vector<GumboNode*> inserted;
    // A node without parent has no place for markup, as in browsers.
    if (!node->parent) return 0;
    if (!SetOuterHtml(*sc.Doc, node, markup, &inserted)) OutOfMemory(ctx);
    for (const GumboNode* n : inserted) MarkScriptsDone(sc, n);
    return 0;
  }
  if (!ChildVector(node)) return 0;
  if (!SetInnerHtml(*sc.Doc, node, markup)) OutOfMemory(ctx);
  MarkScriptsDone(sc, node);
  return 0;
}

duk_ret_t Create(duk_context* ctx) {
  TScriptContext& sc = ContextOf(ctx);
  const std::string tag = TextArg(ctx, 0);
  // IE took markup here too: createElement("<embed src=...>").
  if (!tag.empty() && tag[0] == '<') {
    std::vector<GumboNode*> nodes;
    if (!sc.Doc->ParseFragment(tag, GUMBO_TAG_BODY, nodes)) OutOfMemory(ctx);
    for (GumboNode* n : nodes)
      if (IsElementNode(n)) {
        MarkScriptsDone(sc, n);
        duk_push_pointer(ctx, n);
        return 1;
      }
    return duk_error(ctx, DUK_ERR_ERROR, "invalid element");
  }
  for (char c : tag)
    if (!(IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == ':' || c == '.'))
      return duk_error(ctx, DUK_ERR_ERROR, "invalid character in tag name");
  GumboNode* node = NewElement(*sc.Doc, tag);
  if (!node) {
    if (tag.empty()) return duk_error(ctx, DUK_ERR_ERROR, "invalid tag name");
    OutOfMemory(ctx);
  }
  if (node->v.element.tag == GUMBO_TAG_SCRIPT) sc.Dynamic.insert(node);
  duk_push_pointer(ctx, node);
  return 1;
}

duk_ret_t CreateText(duk_context* ctx) {
  GumboNode* node = NewText(*ContextOf(ctx).Doc, TextArg(ctx, 0));
  if (!node) OutOfMemory(ctx);
  duk_push_pointer(ctx, node);
  return 1;
}

// Scripts made by createElement run when they reach the document.
void RunInsertedScripts(TScriptContext& sc, GumboNode* child) {
  if (sc.Dynamic.empty() || !child) return;
  const GumboNode* root = child;
  while (root->parent) root = root->parent;
  if (root != sc.Doc->Root()) return;
  std::vector<GumboNode*> scripts;
  if (IsElementNode(child) && child->v.element.tag == GUMBO_TAG_SCRIPT) scripts.push_back(child);
  TNodeList all;
  CollectElements(child, all);
  for (const GumboNode* n : all)
    if (n->v.element.tag == GUMBO_TAG_SCRIPT) scripts.push_back(const_cast<GumboNode*>(n));
  for (GumboNode* s : scripts)
    if (sc.Dynamic.erase(s)) RunScriptElement(sc, s);
}

// insert(parent, child, before): before is a child of parent or null (end).
duk_ret_t Insert(duk_context* ctx) {
  GumboNode* parent = NodeArg(ctx, 0);
  GumboNode* child = NodeArg(ctx, 1);
  auto* before = static_cast<GumboNode*>(duk_get_pointer(ctx, 2));
  GumboVector* children = ChildVector(parent);
  if (!children) return duk_error(ctx, DUK_ERR_ERROR, "HierarchyRequestError");
  std::size_t index = children->length;
  if (before) {
    if (before->parent != parent) return duk_error(ctx, DUK_ERR_ERROR, "NotFoundError");
    index = static_cast<std::size_t>(before->index_within_parent);
  }
  if (child == before) return 0;
  TScriptContext& sc = ContextOf(ctx);
  if (IsInclusiveAncestor(child, parent) || child->type == GUMBO_NODE_DOCUMENT)
    return duk_error(ctx, DUK_ERR_ERROR, "HierarchyRequestError");
  if (!InsertChild(*sc.Doc, parent, child, index)) OutOfMemory(ctx);
  RunInsertedScripts(sc, child);
  return 0;
}

duk_ret_t DetachNode(duk_context* ctx) {
  Detach(*ContextOf(ctx).Doc, NodeArg(ctx, 0));
  return 0;
}

// Elements under node ("*": all) by tag name.
duk_ret_t ByTag(duk_context* ctx) {
  const GumboNode* node = NodeArg(ctx, 0);
  const std::string want = TextArg(ctx, 1);
  TNodeList all, out;
  CollectElements(node, all);
  for (const GumboNode* n : all)
    if (want == "*" || strcasecmp(TagNameOf(n).c_str(), want.c_str()) == 0) out.push_back(n);
  PushNodes(ctx, out);
  return 1;
}

bool IsConnected(const GumboNode* node, const GumboNode* root) {
  while (node->parent) node = node->parent;
  return node == root;
}

// The first element whose attribute (id) equals the value, or all (name).
duk_ret_t ByAttr(duk_context* ctx) {
  const std::string name = TextArg(ctx, 0), want = TextArg(ctx, 1);
  const bool first = duk_to_boolean(ctx, 2);
  std::string value;
  TNodeList out;
  TScriptContext& sc = ContextOf(ctx);
  const bool byId = first && name == "id";
  // Pages look up the same ids again and again while the tree changes; a
  // remembered element still carrying the id in the document is taken as is.
  if (byId) {
    const auto it = sc.Ids.find(want);
    if (it != sc.Ids.end() && AttributeOf(it->second, "id", value) && value == want &&
        IsConnected(it->second, sc.Doc->Root())) {
      duk_push_pointer(ctx, const_cast<GumboNode*>(it->second));
      return 1;
    }
    sc.Ids.clear();
    const GumboNode* found = nullptr;
    for (const GumboNode* n : *sc.Doc->AllElements()) {
      if (!AttributeOf(n, "id", value)) continue;
      sc.Ids.emplace(value, n);
      if (!found && value == want) found = n;
    }
    PushNodeOrNull(ctx, found);
    return 1;
  }
  for (const GumboNode* n : *ContextOf(ctx).Doc->AllElements()) {
    if (!AttributeOf(n, name, value) || value != want) continue;
    if (first) {
      duk_push_pointer(ctx, const_cast<GumboNode*>(n));
      return 1;
    }
    out.push_back(n);
  }
  if (first) duk_push_null(ctx);
  else PushNodes(ctx, out);
  return 1;
}

duk_ret_t Write(duk_context* ctx) {
  TScriptContext& sc = ContextOf(ctx);
  duk_size_t n = 0;
  const char* s = duk_to_lstring(ctx, 0, &n);
  if (n > sc.Settings.MaxWriteBytes - std::min(sc.Written, sc.Settings.MaxWriteBytes))
    return duk_error(ctx, DUK_ERR_RANGE_ERROR, "document.write: too much markup");
  sc.Written += n;
  if (!sc.Writes.empty()) {
    sc.Writes.back().Markup.append(s, n);
    return 0;
  }
  // After loading there is no script position: the markup goes to the end of
  // the body.
  GumboNode* body = nullptr;
  for (const GumboNode* e : *sc.Doc->AllElements())
    if (e->v.element.tag == GUMBO_TAG_BODY) {
      body = const_cast<GumboNode*>(e);
      break;
    }
  if (!body) return 0;
  if (!InsertMarkup(*sc.Doc, body, ChildVector(body)->length, std::string(s, n))) OutOfMemory(ctx);
  return 0;
}

duk_ret_t Url(duk_context* ctx) {
  PushText(ctx, ContextOf(ctx).Doc->Url());
  return 1;
}

duk_ret_t Resolve(duk_context* ctx) {
  PushText(ctx, ResolvePageAddress(ContextOf(ctx).Base, TextArg(ctx, 0)));
  return 1;
}

duk_ret_t UserAgent(duk_context* ctx) {
  PushText(ctx, GetDownloadSettings().UserAgent);
  return 1;
}

// Whether the script now running sits in the body (its onload assignments
// then win over the body's onload attribute).
duk_ret_t InBody(duk_context* ctx) {
  TScriptContext& sc = ContextOf(ctx);
  bool inBody = false;
  if (!sc.Writes.empty())
    for (const GumboNode* n = sc.Writes.back().Script; n; n = n->parent)
      if (IsElementNode(n) && n->v.element.tag == GUMBO_TAG_BODY) inBody = true;
  duk_push_boolean(ctx, inBody);
  return 1;
}

duk_ret_t Loaded(duk_context* ctx) {
  duk_push_boolean(ctx, ContextOf(ctx).Loaded);
  return 1;
}

}  // namespace

void PutDomNatives(duk_context* ctx) {
  static const duk_function_list_entry kNatives[] = {
      {"root", Root, 0},          {"kind", Kind, 1},
      {"tag", Tag, 1},            {"parent", Parent, 1},
      {"children", Children, 1},  {"sibling", Sibling, 2},
      {"attr", Attr, 2},          {"setAttr", SetAttr, 3},
      {"removeAttr", RemoveAttr, 2}, {"attrNames", AttrNames, 1},
      {"text", Text, 1},          {"setText", SetTextContent, 2},
      {"markup", Markup, 2},      {"setMarkup", SetMarkup, 3},
      {"create", Create, 1},      {"createText", CreateText, 1},
      {"insert", Insert, 3},      {"detach", DetachNode, 1},
      {"byTag", ByTag, 2},        {"byAttr", ByAttr, 3},
      {"write", Write, 1},        {"url", Url, 0},
      {"resolve", Resolve, 1},    {"userAgent", UserAgent, 0},
      {"inBody", InBody, 0},      {"loaded", Loaded, 0},
      {nullptr, nullptr, 0}};
  duk_put_function_list(ctx, -1, kNatives);
}

}  // namespace win::html
