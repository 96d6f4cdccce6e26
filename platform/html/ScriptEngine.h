// Page scripts: runs a parsed page's scripts (duktape) against a DOM over the
// same tree that the document serves late-bound, as a browser of the era did:
// inline and external scripts in document order, document.write at the
// writing script's place (writes that write scripts that write included),
// the DOM calls pages used, window/location/navigator with a Flash plugin and
// ActiveXObject, DOMContentLoaded and load handlers, then timers on a virtual
// clock. Nothing a page does stops the run: errors are reported and skipped,
// and time, memory, written markup and timer steps are bounded.
#pragma once

#include <cstddef>
#include <string>

#include "platform/com/Com.h"
#include "platform/html/HtmlDocument.h"
#include "platform/html/PageAddress.h"

namespace win::html {

struct TScriptSettings {
  // CPU time for all of a page's scripts; past it the page completes with
  // what it has.
  long CpuBudgetMs = 2000;
  // The script heap.
  std::size_t MemoryBytes = 256u << 20;
  // document.write output of the whole page; past it writes fail.
  std::size_t MaxWriteBytes = 1u << 20;
  // Timers run in time order until this much virtual time or this many steps.
  long VirtualTimeMs = 10000;
  int MaxTimerSteps = 10000;
  // External scripts run at most this many times per page, and nest at most
  // this deep when scripts insert scripts.
  int MaxExternalScripts = 256;
  int MaxNesting = 16;
};

struct TScriptError {
  std::string Message;
  std::string Url;
  long Line = 0;
  long Character = 0;
};

// What the engine asks of the browser around it.
class TScriptHost {
 public:
  virtual ~TScriptHost() = default;
  // An external script by its absolute address; false when it cannot be had.
  virtual bool FetchScript(const std::string& url, std::string& text) { return false; }
  // A script failed; it is skipped whatever happens here.
  virtual void ScriptError(const TScriptError& error) {}
  // window.external (null: none).
  virtual TComPtr<IDispatch> External() { return {}; }
};

struct TScriptRun {
  int Scripts = 0;  // scripts and handlers run
  int Errors = 0;
  bool OutOfTime = false;
  bool OutOfMemory = false;
};

TScriptRun RunPageScripts(THtmlDocument& doc, TScriptHost& host, const TScriptSettings& settings);

// The COM object behind new ActiveXObject(progId) for names the engine does
// not answer itself (ScriptObjects.cpp); null makes the constructor throw.
TComPtr<IDispatch> CreateScriptObject(const std::string& progId);

// The address relative ones resolve against: the first BASE element's href
// (itself resolved against the page) or the page's address.
std::string DocumentBaseAddress(const THtmlDocument& doc);

}  // namespace win::html
