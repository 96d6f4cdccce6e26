#include "platform/html/ScriptEngine.h"

#include <strings.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/html/HtmlTree.h"
#include "platform/html/ScriptContext.h"
#include "platform/win/Ascii.h"

// duktape's execution-timeout hook (its configuration names this function);
// it must keep answering true until the script has unwound.
int vorra_duk_exec_timeout(void* udata) {
  auto* sc = static_cast<win::html::TScriptContext*>(udata);
  if (!sc) return 0;
  if (sc->Run.OutOfTime) return 1;
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  if (now.tv_sec * 1000000000LL + now.tv_nsec < sc->Deadline) return 0;
  sc->Run.OutOfTime = true;
  return 1;
}

namespace win::html {

namespace {

// ---- The heap's memory, capped ----

struct alignas(std::max_align_t) TBlock {
  std::size_t size;
};

void* HeapAlloc(void* udata, duk_size_t size) {
  auto* sc = static_cast<TScriptContext*>(udata);
  if (size == 0) return nullptr;
  if (sc->HeapBytes + size > sc->Settings.MemoryBytes) {
    sc->Run.OutOfMemory = true;
    return nullptr;
  }
  auto* b = static_cast<TBlock*>(std::malloc(sizeof(TBlock) + size));
  if (!b) return nullptr;
  b->size = size;
  sc->HeapBytes += size;
  return b + 1;
}

void HeapFree(void* udata, void* ptr) {
  if (!ptr) return;
  auto* sc = static_cast<TScriptContext*>(udata);
  TBlock* b = static_cast<TBlock*>(ptr) - 1;
  sc->HeapBytes -= b->size;
  std::free(b);
}

void* HeapRealloc(void* udata, void* ptr, duk_size_t size) {
  if (!ptr) return HeapAlloc(udata, size);
  if (size == 0) {
    HeapFree(udata, ptr);
    return nullptr;
  }
  auto* sc = static_cast<TScriptContext*>(udata);
  TBlock* b = static_cast<TBlock*>(ptr) - 1;
  const std::size_t old = b->size;
  if (size > old && sc->HeapBytes + (size - old) > sc->Settings.MemoryBytes) {
    sc->Run.OutOfMemory = true;
    return nullptr;
  }
  auto* nb = static_cast<TBlock*>(std::realloc(b, sizeof(TBlock) + size));
  if (!nb) return nullptr;
  nb->size = size;
  sc->HeapBytes = sc->HeapBytes - old + size;
  return nb + 1;
}

// Every call into the heap is protected; this is only reached on duktape's
// own internal failures.
void HeapFatal(void*, const char* msg) {
  std::fprintf(stderr, "script engine: fatal error: %s\n", msg ? msg : "");
  std::abort();
}

long long ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// ---- Which scripts run ----

bool IsJavaScript(const GumboNode* script) {
  std::string type, language;
  if (AttributeOf(script, "type", type) && !type.empty()) {
    const std::string t = AsciiLowerCase(type);
    for (const char* js : {"text/javascript", "application/javascript", "text/jscript", "text/ecmascript",
                           "application/ecmascript", "application/x-javascript"})
      if (t.rfind(js, 0) == 0) return true;
    return false;
  }
  if (AttributeOf(script, "language", language) && !language.empty()) {
    const std::string l = AsciiLowerCase(language);
    return l.rfind("javascript", 0) == 0 || l == "jscript" || l == "ecmascript";
  }
  return true;
}

// Old pages hide scripts in an HTML comment: "<!--" and "-->" lines are
// comments to the browser's script engine.
void HideCommentMarks(std::string& text) {
  std::size_t line = 0;
  while (line < text.size()) {
    std::size_t i = line;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (text.compare(i, 4, "<!--") == 0) text.replace(i, 4, "//  ");
    else if (text.compare(i, 3, "-->") == 0) text.replace(i, 3, "// ");
    const std::size_t end = text.find('\n', i);
    if (end == std::string::npos) break;
    line = end + 1;
  }
}

// The next node after node in document order.
GumboNode* NextNode(GumboNode* node) {
  if (GumboVector* children = ChildVector(node); children && children->length)
    return static_cast<GumboNode*>(children->data[0]);
  for (; node && node->parent; node = node->parent) {
    GumboVector* siblings = ChildVector(node->parent);
    const unsigned next = static_cast<unsigned>(node->index_within_parent) + 1;
    if (siblings && next < siblings->length) return static_cast<GumboNode*>(siblings->data[next]);
  }
  return nullptr;
}

bool IsConnected(const GumboNode* node, const GumboNode* root) {
  while (node->parent) node = node->parent;
  return node == root;
}

GumboNode* NextScript(TScriptContext& sc, GumboNode* cursor) {
  auto* root = const_cast<GumboNode*>(sc.Doc->Root());
  if (!IsConnected(cursor, root)) cursor = root;
  for (GumboNode* n = NextNode(cursor); n; n = NextNode(n))
    if (IsElementNode(n) && n->v.element.tag == GUMBO_TAG_SCRIPT && !sc.Done.count(n)) return n;
  return nullptr;
}

struct TErrorText {
  std::string message, url;
  long line = 0;
};

duk_ret_t ReadError(duk_context* ctx, void* udata) {
  auto* out = static_cast<TErrorText*>(udata);
  if (duk_is_error(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    out->line = static_cast<long>(duk_to_int(ctx, -1));
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "fileName");
    if (duk_is_string(ctx, -1)) out->url = duk_get_string(ctx, -1);
    duk_pop(ctx);
  }
  out->message = duk_safe_to_string(ctx, -1);
  return 0;
}

}  // namespace

TScriptContext& ContextOf(duk_context* ctx) {
  duk_memory_functions funcs;
  duk_get_memory_functions(ctx, &funcs);
  return *static_cast<TScriptContext*>(funcs.udata);
}

void ReportTopError(TScriptContext& sc, const std::string& url) {
  TErrorText text;
  if (duk_safe_call(sc.Ctx, ReadError, &text, 1, 1) != DUK_EXEC_SUCCESS) text.message = "Script error";
  duk_pop(sc.Ctx);
  ++sc.Run.Errors;
  sc.CurrentError.Message = text.message;
  sc.CurrentError.Url = text.url.empty() ? url : text.url;
  sc.CurrentError.Line = text.line;
  sc.CurrentError.Character = 0;
  sc.InError = true;
  sc.Host->ScriptError(sc.CurrentError);
  sc.InError = false;
}

void CallReported(TScriptContext& sc, duk_idx_t nargs, const std::string& what) {
  if (sc.Stopped()) {
    duk_pop_n(sc.Ctx, nargs + 1);
    return;
  }
  ++sc.Run.Scripts;
  if (duk_pcall(sc.Ctx, nargs) != DUK_EXEC_SUCCESS) {
    ReportTopError(sc, what);
    return;
  }
  duk_pop(sc.Ctx);
}

void RunScriptElement(TScriptContext& sc, GumboNode* script) {
  if (!sc.Done.insert(script).second || sc.Stopped() || !IsJavaScript(script)) return;
  if (sc.Nesting >= sc.Settings.MaxNesting) return;
  std::string source, url, src;
  if (AttributeOf(script, "src", src)) {
    if (src.empty() || sc.ExternalRuns >= sc.Settings.MaxExternalScripts) return;
    ++sc.ExternalRuns;
    url = ResolvePageAddress(sc.Base, src);
    // Waiting for the network is not the page's script time.
    const long long fetchStart = ThreadCpuNs();
    const bool fetched = sc.Host->FetchScript(url, source);
    sc.Deadline += ThreadCpuNs() - fetchStart;
    // A script that cannot be had is skipped without a word, as browsers did.
    if (!fetched) return;
  } else {
    source = InnerTextOf(script);
    url = sc.Doc->Url();
  }
  HideCommentMarks(source);
  duk_context* ctx = sc.Ctx;
  sc.Writes.push_back({script, {}});
  ++sc.Nesting;
  ++sc.Run.Scripts;
  duk_push_string(ctx, url.c_str());
  if (duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) != 0) {
    ReportTopError(sc, url);
  } else if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
    ReportTopError(sc, url);
  } else {
    duk_pop(ctx);
  }
  source = std::string();
  --sc.Nesting;
  const std::string markup = std::move(sc.Writes.back().Markup);
  sc.Writes.pop_back();
  if (markup.empty() || !script->parent) return;
  const std::size_t after = static_cast<std::size_t>(script->index_within_parent) + 1;
  if (!InsertMarkup(*sc.Doc, script->parent, after, markup)) ++sc.Run.Errors;
}

namespace {

// Builds window and the rest; the bootstrap leaves its hooks object in the
// heap stash as "hooks".
// Compiling the bootstrap costs more than a page's own scripts usually do: it
// is compiled once per process and loaded as bytecode after that.
bool PushBootstrap(TScriptContext& sc) {
  static std::mutex mutex;
  static std::string bytecode;
  duk_context* ctx = sc.Ctx;
  std::lock_guard lock(mutex);
  if (!bytecode.empty()) {
    void* buffer = duk_push_fixed_buffer(ctx, bytecode.size());
    std::memcpy(buffer, bytecode.data(), bytecode.size());
    duk_load_function(ctx);
    return true;
  }
  duk_push_string(ctx, "bootstrap");
  if (duk_pcompile_string_filename(ctx, DUK_COMPILE_FUNCTION, kScriptBootstrap) != 0) {
    ReportTopError(sc, "bootstrap");
    return false;
  }
  duk_dup_top(ctx);
  duk_dump_function(ctx);
  duk_size_t size = 0;
  const void* data = duk_get_buffer(ctx, -1, &size);
  bytecode.assign(static_cast<const char*>(data), size);
  duk_pop(ctx);
  return true;
}

bool Bootstrap(TScriptContext& sc) {
  duk_context* ctx = sc.Ctx;
  if (!PushBootstrap(sc)) return false;
  duk_push_global_object(ctx);
  duk_push_object(ctx);
  PutDomNatives(ctx);
  PutComNatives(ctx);
  if (duk_pcall(ctx, 2) != DUK_EXEC_SUCCESS) {
    ReportTopError(sc, "bootstrap");
    return false;
  }
  duk_push_heap_stash(ctx);
  duk_swap_top(ctx, -2);
  duk_put_prop_string(ctx, -2, "hooks");
  duk_pop(ctx);
  return true;
}

// Calls hooks[name](args...); its result as a boolean.
bool CallHook(TScriptContext& sc, const char* name, std::initializer_list<double> args) {
  duk_context* ctx = sc.Ctx;
  if (sc.Stopped()) return false;
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, "hooks");
  duk_get_prop_string(ctx, -1, name);
  for (double a : args) duk_push_number(ctx, a);
  bool result = false;
  ++sc.Run.Scripts;
  if (duk_pcall(ctx, static_cast<duk_idx_t>(args.size())) != DUK_EXEC_SUCCESS) {
    ReportTopError(sc, sc.Doc->Url());
    result = true;  // a handler that failed still took its turn
  } else {
    result = duk_to_boolean(ctx, -1);
    duk_pop(ctx);
  }
  duk_pop_2(ctx);
  return result;
}

}  // namespace

TScriptRun RunPageScripts(THtmlDocument& doc, TScriptHost& host, const TScriptSettings& settings) {
  TScriptContext sc;
  sc.Doc = &doc;
  sc.Host = &host;
  sc.Settings = settings;
  sc.Base = DocumentBaseAddress(doc);
  sc.Deadline = ThreadCpuNs() + static_cast<long long>(settings.CpuBudgetMs) * 1000000LL;
  sc.Ctx = duk_create_heap(HeapAlloc, HeapRealloc, HeapFree, &sc, HeapFatal);
  if (!sc.Ctx) {
    sc.Run.OutOfMemory = true;
    return sc.Run;
  }
  TComPtr<IDispatch> window = MakeScriptWindow(sc);
  doc.SetParentWindow(window.Get());
  if (Bootstrap(sc)) {
    auto* root = const_cast<GumboNode*>(doc.Root());
    GumboNode* cursor = root;
    while (!sc.Stopped()) {
      GumboNode* script = NextScript(sc, cursor);
      if (!script) break;
      cursor = script;
      RunScriptElement(sc, script);
    }
    sc.Loaded = true;
    CallHook(sc, "contentLoaded", {});
    CallHook(sc, "load", {});
    for (int step = 0; step < settings.MaxTimerSteps && !sc.Stopped(); ++step)
      if (!CallHook(sc, "timer", {static_cast<double>(settings.VirtualTimeMs)})) break;
  }
  doc.SetParentWindow(nullptr);
  DetachScriptWindow(window.Get());
  duk_destroy_heap(sc.Ctx);
  sc.Ctx = nullptr;
  doc.TreeChanged();
  return sc.Run;
}

// ---- Addresses ----

std::string DocumentBaseAddress(const THtmlDocument& doc) {
  std::string href;
  for (const GumboNode* node : *doc.AllElements())
    if (node->v.element.tag == GUMBO_TAG_BASE && AttributeOf(node, "href", href) && !href.empty())
      return ResolvePageAddress(doc.Url(), href);
  return doc.Url();
}

}  // namespace win::html
