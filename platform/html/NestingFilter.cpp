#include "platform/html/NestingFilter.h"

#include <strings.h>

#include <string>
#include <vector>

#include "platform/html/HtmlNodes.h"
#include "platform/win/Ascii.h"

namespace win::html {

namespace {

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
        else if (!IsAsciiSpace(c)) state = kName;
        break;
      case kName:
        if (IsAsciiSpace(c)) state = kAfterName;
        else if (c == '/') state = kBeforeName, slash = true;
        else if (c == '=') state = kBeforeValue;
        break;
      case kAfterName:
        if (c == '/') state = kBeforeName, slash = true;
        else if (c == '=') state = kBeforeValue;
        else if (!IsAsciiSpace(c)) state = kName;
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
        } else if (!IsAsciiSpace(c)) {
          state = kUnquoted;
        }
        break;
      case kUnquoted:
        if (IsAsciiSpace(c)) state = kBeforeName;
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
    if (nameAt >= n || !IsAsciiAlpha(text[nameAt])) {
      ++i;
      continue;
    }
    std::size_t j = nameAt;
    while (j < n && !IsAsciiSpace(text[j]) && text[j] != '>' && text[j] != '/') ++j;
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

}  // namespace win::html
