// The documents of a page's frames. After a page is parsed, the FRAME and
// IFRAME elements (read late-bound through the document, FRAME elements
// first: a page has one kind or the other) are loaded through the caller's
// page loader, depth first in document order, and kept in their parent's
// Frames(), so that the page's "frames" collection serves them as windows
// ("document", "location", "name", "frames", as IE's frame windows answer).
//
// Bounded: frames nest at most MaxDepth deep, at most MaxFrames are fetched
// for one page, each address (its fragment aside) is loaded once in the
// whole tree (the page itself counts as loaded, so a frame that includes its
// own page is not fetched again), and a page from the web never gets a local
// file as a frame: only http, https and ftp addresses, unless the parent is a
// local page itself.
#pragma once

#include <functional>
#include <string>

#include "platform/html/HtmlDocument.h"

namespace win::html {

struct TFrameLimits {
  int MaxDepth = 3;
  int MaxFrames = 50;
};

// Fetches, decodes and parses one frame page; the document's Url() is where
// it landed after redirects. Null: nothing to show (the load was stopped).
using TFramePageLoader = std::function<TComPtr<THtmlDocument>(const std::string& address)>;

// Loads the frames of page and of its frames; answers how many documents were
// kept. stopped, when given, ends the loading as soon as it answers true.
int LoadFrames(THtmlDocument& page, const TFramePageLoader& load, const TFrameLimits& limits = {},
               const std::function<bool()>& stopped = {});

// The "frames" collection of a document ("length", "item"(index or name)).
TComPtr<IDispatch> MakeFrameCollection(THtmlDocument& document);

}  // namespace win::html
