// The page both HTML benchmarks measure: about 5 MB of ordinary markup with
// 2 000 Flash OBJECT and 2 000 EMBED elements spread through it, and the
// reference they are measured against, gumbo's bare parse of it.
#pragma once

#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <cstdio>
#include <string>

namespace vorra::bench {

inline const std::string& MoviePage() {
  static const std::string page = [] {
    std::string p = "<html><head><title>Bench</title></head><body>\n";
    int objects = 0, embeds = 0;
    char buf[512];
    while (p.size() < (5u << 20) - 2000 || objects < 2000 || embeds < 2000) {
      p += "<div class=\"row\"><p>Some text of the page, <a href=\"/link.html\">a link</a> and <b>bold</b> words "
           "that make the page look like a page.</p><ul><li>one<li>two<li>three</ul></div>\n";
      if (objects < 2000 && p.size() > static_cast<std::size_t>(objects) * 2500) {
        std::snprintf(buf, sizeof buf,
                      "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"550\" height=\"400\">"
                      "<param name=\"movie\" value=\"movies/m%d.swf\"><param name=\"quality\" value=\"high\">"
                      "</object>\n",
                      objects);
        p += buf;
        ++objects;
      }
      if (embeds < 2000 && p.size() > static_cast<std::size_t>(embeds) * 2500 + 1200) {
        std::snprintf(buf, sizeof buf,
                      "<embed src=\"../e/e%d.swf\" type=\"application/x-shockwave-flash\" width=\"300\">\n", embeds);
        p += buf;
        ++embeds;
      }
    }
    p += "</body></html>\n";
    return p;
  }();
  return page;
}

// The reference: with the document's own options (parse errors not kept).
inline void BM_GumboParse(benchmark::State& state) {
  const std::string& page = MoviePage();
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  for (auto _ : state) {
    GumboOutput* out = gumbo_parse_with_options(&options, page.data(), page.size());
    benchmark::DoNotOptimize(out);
    gumbo_destroy_output(&kGumboDefaultOptions, out);
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * page.size()));
}

}  // namespace vorra::bench
