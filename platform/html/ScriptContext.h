// The state of one page's script run, shared by the engine's files (not a
// public interface).
#pragma once

#include <duktape.h>
#include <gumbo.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/html/ScriptEngine.h"

namespace win::html {

struct TScriptContext {
  duk_context* Ctx = nullptr;
  THtmlDocument* Doc = nullptr;
  TScriptHost* Host = nullptr;
  TScriptSettings Settings;
  TScriptRun Run;
  std::string Base;  // the document's base address

  // Markup written by the scripts now running, innermost last.
  struct TWriting {
    GumboNode* Script;
    std::string Markup;
  };
  std::vector<TWriting> Writes;
  std::size_t Written = 0;
  // Scripts that ran (or must not run: markup set through innerHTML).
  std::unordered_set<const GumboNode*> Done;
  // Scripts made by createElement: they run when put into the document.
  std::unordered_set<const GumboNode*> Dynamic;
  // Elements by id, as last seen (checked before use).
  std::unordered_map<std::string, const GumboNode*> Ids;
  int Nesting = 0;
  int ExternalRuns = 0;
  bool Loaded = false;  // DOMContentLoaded has fired

  std::size_t HeapBytes = 0;
  // Time budget (thread CPU time, ns).
  long long Deadline = 0;
  bool Stopped() const { return Run.OutOfTime || Run.OutOfMemory; }

  // The error of the script now failing, for the host's questions.
  TScriptError CurrentError;
  bool InError = false;
};

// The context of a duktape heap.
TScriptContext& ContextOf(duk_context* ctx);

// Runs one SCRIPT element (inline or external) and puts what it wrote after it.
void RunScriptElement(TScriptContext& sc, GumboNode* script);
// Reports the error on top of the stack (and pops it).
void ReportTopError(TScriptContext& sc, const std::string& url);
// Calls the function below its nargs arguments on the stack, reporting a
// failure; leaves nothing on the stack.
void CallReported(TScriptContext& sc, duk_idx_t nargs, const std::string& what);

// The native DOM primitives (ScriptDom.cpp) and the COM bridge (ScriptCom.cpp),
// each put on the object on top of the stack.
void PutDomNatives(duk_context* ctx);
void PutComNatives(duk_context* ctx);
// The window that the document's "parentWindow" gives the host: its "event"
// describes the script error being reported. Detach cuts it from the run.
TComPtr<IDispatch> MakeScriptWindow(TScriptContext& sc);
void DetachScriptWindow(IDispatch* window);
// The script that builds window, document and the rest on the natives.
extern const char kScriptBootstrap[];

}  // namespace win::html
