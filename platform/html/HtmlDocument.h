// The browser's document: a page parsed with gumbo (HTML5) and served late-bound
// through IDispatch with Internet Explorer's member names, case ignored:
//
//   document   "all" (every element, document order), "URL", "title",
//              "charset", "readyState" ("complete"), "body", "frames"
//              (collection of frame windows: "document", "location", "name"),
//              "parentWindow" (only while the page's scripts run: its "event" describes the
//              script error being reported)
//   collection "length", "item"/"Item"(index or id/name) (also DISPID_VALUE),
//              "tags"(tag name, case ignored) giving a collection
//   element    "tagName" (upper case), "innerHTML", "outerHTML", "innerText",
//              "all" (descendants), "className", "getAttribute"(name), and any
//              attribute by name ("CLASSID", "src", "type"...)
//
// Attributes that are absent read as VT_NULL, as IE gives them, except the
// properties that IE defines on every element of the kinds the page walk
// reads (classid, src, id, name, type, title, className, width, height, href,
// codebase, data, value, align, alt): those read as empty text. An item index
// out of range gives VT_NULL.
//
// Deep markup is bounded before it reaches the parser (NestingFilter.h);
// serialising and walking never recurse (HtmlNodes.h).
//
// The tree builder can make many elements from little markup (formatting
// elements such as <b id=1>...<b id=500> are cloned again after every block
// that closes them: 125 KB of markup made 1.2 GB of nodes). The parser's
// memory is therefore counted: past kParseMemoryBudget the parse is abandoned
// and the document is a short error page ("The page is too complex to
// display."), and TooComplex() says so.
#pragma once

#include <gumbo.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/Com.h"
#include "platform/html/HtmlNodes.h"
#include "platform/html/NestingFilter.h"

namespace win::html {

// The parser's memory, in bytes live at once: a fixed part and a multiple of
// the page (a 50 MB page of ordinary markup needs about a third of this).
inline constexpr std::size_t kParseMemoryBase = 256u << 20;
inline constexpr std::size_t kParseMemoryPerByte = 16;
std::size_t ParseMemoryBudget(std::size_t textBytes);

// The parsed page. Collections and elements hold a reference to it, so the
// tree lives as long as any of them does.
class THtmlDocument : public TComObject<IDispatch> {
 public:
  // Parses UTF-8 text (use Charset.h to get it). url and charset are what the
  // document reports. The result holds one reference.
  static TComPtr<THtmlDocument> Parse(std::string utf8Text, std::string url, std::string charset);

  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  const GumboNode* Root() const { return output_->document; }
  // Every element of the page in document order (collected anew after the
  // tree changed).
  const std::shared_ptr<const TNodeList>& AllElements() const;
  const std::string& Url() const { return url_; }
  const std::string& Charset() const { return charset_; }
  // Whether LimitNesting had to drop markup.
  bool Flattened() const { return flattened_; }
  // Whether the parse was abandoned for using too much memory.
  bool TooComplex() const { return tooComplex_; }
  // Parses with a budget of its own (tests); Parse uses ParseMemoryBudget.
  static TComPtr<THtmlDocument> ParseWithBudget(std::string utf8Text, std::string url, std::string charset,
                                                std::size_t budget);

  // The windows of the page's frames that were loaded (FrameLoader.h), in
  // document order; served as "frames". They live as long as the document.
  struct TFrameWindow {
    std::string Name;      // the element's name attribute
    TComPtr<THtmlDocument> Document;
  };
  std::vector<TFrameWindow>& Frames() { return frames_; }
  // Page scripts change the tree (HtmlTree.h). Their nodes and text live in
  // the parser's arena, under the same budget: TreeAllocate gives null past
  // it. Nodes taken out of the tree stay valid until the document goes.
  void* TreeAllocate(std::size_t size);
  // Parses markup as the children of an element with the given tag; the top
  // nodes come out with no parent. False when the budget ran out.
  bool ParseFragment(const std::string& utf8Text, GumboTag context, std::vector<GumboNode*>& nodes);
  void TreeChanged() { allStale_ = true; }
  // The script window that "parentWindow" answers (null: none).
  void SetParentWindow(IDispatch* window) { parentWindow_ = window; }

  // Dispatch objects over this document (one reference each).
  TComPtr<IDispatch> MakeCollection(std::shared_ptr<const TNodeList> nodes);
  TComPtr<IDispatch> MakeElement(const GumboNode* node);

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  THtmlDocument() = default;
  ~THtmlDocument() override;

  struct TArena;
  bool ParseText(std::size_t budget);

  std::string text_;
  std::string url_, charset_;
  std::unique_ptr<TArena> arena_;
  GumboOutput* output_ = nullptr;
  std::vector<TFrameWindow> frames_;
  mutable std::shared_ptr<const TNodeList> all_;
  mutable bool allStale_ = false;
  TComPtr<IDispatch> parentWindow_;
  bool flattened_ = false;
  bool tooComplex_ = false;
};

}  // namespace win::html
