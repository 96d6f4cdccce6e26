// Short generated scripts against a small page through the script engine:
// with an even first byte each following byte picks a DOM statement (so that
// the fuzzer reaches deep into the DOM quickly), with an odd one the bytes are
// the script itself. No network, a small budget. Afterwards every node's
// parent and index must agree with its parent's children, and the walk and
// serialisation must still work.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/html/HtmlTree.h"
#include "platform/html/ScriptEngine.h"

namespace {

const char* const kStatements[] = {
    "var e = document.createElement('embed');",
    "var o = document.createElement('object');",
    "var t = document.createTextNode('t<&>');",
    "document.body.appendChild(e);",
    "document.body.appendChild(o);",
    "o.appendChild(e);",
    "e.appendChild(o);",
    "document.body.insertBefore(t, document.body.firstChild);",
    "e.src = 'm.swf'; e.setAttribute('type', 'application/x-shockwave-flash');",
    "o.innerHTML = '<param name=movie value=a.swf><embed src=b.swf>';",
    "document.getElementById('a').outerHTML = '<div id=a><p>x</p></div>';",
    "document.getElementById('a').innerHTML = document.body.innerHTML;",
    "e.parentNode && e.parentNode.removeChild(e);",
    "o.parentNode && o.parentNode.replaceChild(t, o);",
    "document.write('<object><param name=movie value=w.swf></object>');",
    "document.write('<scr' + 'ipt>document.write(\"<embed src=n.swf>\")</scr' + 'ipt>');",
    "document.write('<table><tr><td>');",
    "var s = document.createElement('script'); s.text = 'document.write(1)'; document.body.appendChild(s);",
    "setTimeout(function () { document.body.appendChild(document.createElement('embed')); }, 5);",
    "window.onload = function () { document.body.innerHTML += '<embed src=l.swf>'; };",
    "var c = document.body.childNodes; for (var i = 0; i < c.length; i++) c[i].nodeName;",
    "document.getElementsByTagName('*').length;",
    "document.documentElement.appendChild(document.body);",
    "document.body.appendChild(document.documentElement);",
    "e.cloneNode(true); o.cloneNode(false);",
    "new ActiveXObject('ShockwaveFlash.ShockwaveFlash').GetVariable('$version');",
    "navigator.plugins['Shockwave Flash'].description;",
    "document.getElementById('a').firstChild.nextSibling;",
    "for (;;) {}",
    "throw new Error('x');",
    "t.nodeValue = '<b>'; t.data += 'y';",
    "document.body.removeChild(document.body.lastChild);",
};

class TQuietHost : public win::html::TScriptHost {};

// Every child points back at its parent at its own index.
bool Consistent(GumboNode* root) {
  std::vector<GumboNode*> stack{root};
  while (!stack.empty()) {
    GumboNode* node = stack.back();
    stack.pop_back();
    GumboVector* children = win::html::ChildVector(node);
    for (unsigned i = 0; children && i < children->length; ++i) {
      auto* child = static_cast<GumboNode*>(children->data[i]);
      if (child->parent != node || child->index_within_parent != i) return false;
      stack.push_back(child);
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace win;
  if (size == 0 || size > 4096) return 0;
  std::string script;
  if (data[0] % 2 == 0) {
    for (std::size_t i = 1; i < size; ++i) script += kStatements[data[i] % std::size(kStatements)];
  } else {
    script.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  auto doc = html::THtmlDocument::Parse("<html><head><title>f</title></head><body><div id=a><p>x</p></div></body></html>",
                                        "http://fuzz/page.html", "UTF-8");
  // The script goes in as a node of its own, so that no markup escapes it.
  GumboNode* body = nullptr;
  for (const GumboNode* e : *doc->AllElements())
    if (e->v.element.tag == GUMBO_TAG_BODY) body = const_cast<GumboNode*>(e);
  GumboNode* element = html::NewElement(*doc, "script");
  GumboNode* text = html::NewText(*doc, script);
  if (!body || !element || !text || !html::InsertChild(*doc, element, text, 0) || !html::InsertChild(*doc, body, element, 0))
    __builtin_trap();
  TQuietHost host;
  html::TScriptSettings settings;
  settings.CpuBudgetMs = 50;
  settings.MemoryBytes = 32u << 20;
  settings.MaxTimerSteps = 100;
  html::RunPageScripts(*doc, host, settings);
  if (!Consistent(const_cast<GumboNode*>(doc->Root()))) __builtin_trap();
  TVariant all, tags;
  if (FAILED(DispGetProperty(doc.Get(), "all", all))) __builtin_trap();
  if (FAILED(DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("EMBED")}, &tags))) __builtin_trap();
  std::string markup;
  html::SerializeOuter(doc->Root(), markup);
  return 0;
}
