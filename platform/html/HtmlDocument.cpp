#include "platform/html/HtmlDocument.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace win::html {

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

// Every allocation of the tree is in the arena; freeing it whole also frees
// what scripts took out of the tree, and never recurses into deep trees.
THtmlDocument::~THtmlDocument() {
  if (arena_) arena_->FreeAll();
}

const std::shared_ptr<const TNodeList>& THtmlDocument::AllElements() const {
  if (allStale_) {
    auto all = std::make_shared<TNodeList>();
    CollectElements(output_->document, *all);
    all_ = std::move(all);
    allStale_ = false;
  }
  return all_;
}

void* THtmlDocument::TreeAllocate(std::size_t size) {
  if (arena_->live + size > arena_->budget) return nullptr;
  auto* h = static_cast<TArena::THeader*>(std::malloc(sizeof(TArena::THeader) + size));
  if (!h) return nullptr;
  h->size = size;
  h->next = arena_->head.next;
  h->prev = &arena_->head;
  arena_->head.next->prev = h;
  arena_->head.next = h;
  arena_->live += size;
  return h + 1;
}

bool THtmlDocument::ParseFragment(const std::string& utf8Text, GumboTag context, std::vector<GumboNode*>& nodes) {
  // Gumbo points into the text: it lives in the arena with the nodes.
  auto* text = static_cast<char*>(TreeAllocate(utf8Text.size() + 1));
  if (!text) return false;
  std::memcpy(text, utf8Text.data(), utf8Text.size());
  text[utf8Text.size()] = 0;
  GumboOptions options = arena_->Options();
  options.fragment_context = context;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  // An abandoned parse leaves its pieces in the arena until the document goes.
  GumboOutput* out = GuardedParse(arena_->abandon, &options, text, utf8Text.size());
  if (!out) return false;
  GumboVector& top = out->root->v.element.children;
  for (unsigned i = 0; i < top.length; ++i) {
    auto* node = static_cast<GumboNode*>(top.data[i]);
    node->parent = nullptr;
    nodes.push_back(node);
  }
  top.length = 0;
  return true;
}

IUnknown* THtmlDocument::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
}

}  // namespace win::html
