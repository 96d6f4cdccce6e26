// Markup is serialised the way IE writes it: tag names in upper case,
// attribute names in lower case (as the HTML parser leaves them), in source
// order except that a PARAM's NAME comes before its VALUE, every value in double quotes with & and " escaped; text escapes &,
// < and >; void elements (PARAM, EMBED, IMG...) have no end tag. The children
// of an OBJECT, its PARAMs among them, are part of its innerHTML.
// Nothing here recurses: pages nest deep.
#pragma once

#include <gumbo.h>

#include <string>
#include <vector>

namespace win::html {

using TNodeList = std::vector<const GumboNode*>;

// Elements that never have content (PARAM, EMBED, IMG...).
bool IsVoidTag(GumboTag tag);
// The upper-case tag name of an element node ("OBJECT", "MY-TAG").
std::string TagNameOf(const GumboNode* node);
// Serialises the node itself (outer) or only its children (inner).
void SerializeOuter(const GumboNode* node, std::string& out);
void SerializeInner(const GumboNode* node, std::string& out);
// The text of the node's descendants, scripts and styles left out.
std::string InnerTextOf(const GumboNode* node);
// An attribute's value by name (case ignored); false when absent.
bool AttributeOf(const GumboNode* node, const std::string& name, std::string& value);
// Text taken from serialised markup with its character references decoded
// (&amp; &lt; &gt; &quot; &apos; &nbsp; and numeric ones); a reference
// that is not one of those, or not closed by ";", stays as written.
std::string DecodeCharacterReferences(const std::string& text);
// Every element under root (root not included), in document order.
void CollectElements(const GumboNode* root, TNodeList& out);

}  // namespace win::html
