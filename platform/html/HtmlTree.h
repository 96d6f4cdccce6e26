// Changes to a document's tree, as page scripts make them: new elements and
// text, attributes, moving and removing children, markup parsed in place.
// Every new piece lives in the document's arena (THtmlDocument::TreeAllocate),
// so a function that needs memory answers false (or null) past its budget
// and leaves the tree as it was. The document is told that its tree changed.
#pragma once

#include <gumbo.h>

#include <string>
#include <vector>

#include "platform/html/HtmlDocument.h"

namespace win::html {

bool IsElementNode(const GumboNode* node);
// The children of an element or the document; null for text and comments.
GumboVector* ChildVector(GumboNode* node);

// A new element without parent ("OBJECT", "my-tag"; case ignored).
GumboNode* NewElement(THtmlDocument& doc, const std::string& tagName);
GumboNode* NewText(THtmlDocument& doc, const std::string& text);
// Sets (adds or replaces) or removes an attribute; names are kept lower case.
bool SetAttribute(THtmlDocument& doc, GumboNode* element, const std::string& name, const std::string& value);
void RemoveAttribute(GumboNode* element, const std::string& name);

// Whether node is ancestor or the node itself.
bool IsInclusiveAncestor(const GumboNode* ancestor, const GumboNode* node);
// Puts child into parent before index (its end when index is past it),
// taking it out of where it was. False when parent cannot hold children,
// when child would contain its own parent, or without memory.
bool InsertChild(THtmlDocument& doc, GumboNode* parent, GumboNode* child, std::size_t index);
// Takes node out of its parent (nothing when it has none).
void Detach(THtmlDocument& doc, GumboNode* node);

// Markup parsed as children of node (innerHTML), or in its place (outerHTML).
bool SetInnerHtml(THtmlDocument& doc, GumboNode* node, const std::string& markup);
bool SetOuterHtml(THtmlDocument& doc, GumboNode* node, const std::string& markup,
                  std::vector<GumboNode*>* inserted = nullptr);
// Markup parsed in the context of parent and put in before index; the new top
// nodes are added to inserted.
bool InsertMarkup(THtmlDocument& doc, GumboNode* parent, std::size_t index, const std::string& markup,
                  std::vector<GumboNode*>* inserted = nullptr);
// Replaces the text of a text node, or the children of an element by one text.
bool SetText(THtmlDocument& doc, GumboNode* node, const std::string& text);

}  // namespace win::html
