#include "platform/html/HtmlDocument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/MovieAddress.h"
#include "platform/html/Charset.h"

namespace win::html {
namespace {

// ---- Charsets ----

std::string Decode(const std::string& bytes, const std::string& contentType, std::string* encoding = nullptr) {
  return PageTextToUtf8(bytes, contentType, encoding);
}

TEST(HtmlCharset, HeaderThenMetaThenWindows1252) {
  const std::string latinMeta = "<meta charset=\"iso-8859-1\"><p>caf\xE9</p>";
  std::string enc;
  // The header wins over the page's own declaration.
  EXPECT_EQ(Decode("<meta charset=utf-8><p>caf\xC3\xA9", "text/html; charset=ISO-8859-1", &enc),
            "<meta charset=utf-8><p>caf\xC3\x83\xC2\xA9");
  EXPECT_EQ(enc, "WINDOWS-1252");
  EXPECT_EQ(Decode(latinMeta, "text/html", &enc), "<meta charset=\"iso-8859-1\"><p>caf\xC3\xA9</p>");
  EXPECT_EQ(Decode("<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\xC3\xA9", "", &enc),
            "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\xC3\xA9");
  EXPECT_EQ(enc, "UTF-8");
  // Nothing declared: windows-1252, where 0x80 is the euro sign.
  EXPECT_EQ(Decode("\x80 5", "text/html", &enc), "\xE2\x82\xAC 5");
  EXPECT_EQ(enc, "WINDOWS-1252");
  // A label that names nothing is passed over.
  EXPECT_EQ(Decode("<meta charset=\"utf-8\">\xC3\xA9", "text/html; charset=no-such-set", &enc), "<meta charset=\"utf-8\">\xC3\xA9");
  EXPECT_EQ(enc, "UTF-8");
  EXPECT_EQ(Decode("\xC1\xE2", "text/html; charset=windows-1251", &enc), "\xD0\x91\xD0\xB2");
}

TEST(HtmlCharset, MetaIsOnlySeenInTheFirst1024BytesAndOutsideComments) {
  std::string late = std::string(1100, ' ') + "<meta charset=utf-8>\xC3\xA9";
  std::string enc;
  Decode(late, "", &enc);
  EXPECT_EQ(enc, "WINDOWS-1252");
  Decode("<!-- <meta charset=utf-8> --><p>", "", &enc);
  EXPECT_EQ(enc, "WINDOWS-1252");
  // A page that calls itself UTF-16 in ASCII is not UTF-16.
  Decode("<meta charset=utf-16>", "", &enc);
  EXPECT_EQ(enc, "UTF-8");
  const std::string named = "<meta name=x content=\"a; charset=koi8-r\">";
  EXPECT_EQ(PrescanMetaCharset(named.data(), named.size()), "");
  const std::string equiv = "<meta http-equiv=content-type content=\"a;charset = 'koi8-r'\">";
  EXPECT_EQ(PrescanMetaCharset(equiv.data(), equiv.size()), "koi8-r");
}

TEST(HtmlCharset, ByteOrderMarksDecideAndAreDropped) {
  std::string enc;
  EXPECT_EQ(Decode("\xEF\xBB\xBF<p>\xC3\xA9", "text/html; charset=iso-8859-1", &enc), "<p>\xC3\xA9");
  EXPECT_EQ(enc, "UTF-8");
  const std::string utf16le("\xFF\xFE<\0p\0>\0\xE9\0", 10);
  EXPECT_EQ(Decode(utf16le, "", &enc), "<p>\xC3\xA9");
  EXPECT_EQ(enc, "UTF-16LE");
  const std::string utf16be("\xFE\xFF\0<\0p\0>\0\xE9", 10);
  EXPECT_EQ(Decode(utf16be, ""), "<p>\xC3\xA9");
}

TEST(HtmlCharset, BytesThatDoNotDecodeBecomeReplacementCharacters) {
  EXPECT_EQ(Decode("a\xFF" "b\xC3", "text/html; charset=utf-8"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // Shift_JIS lead byte without its trail byte at the end, and a NUL kept.
  EXPECT_EQ(Decode(std::string("x\0\x82", 3), "text/html; charset=shift_jis"), std::string("x\0\xEF\xBF\xBD", 5));
  // Odd UTF-16 length.
  EXPECT_EQ(Decode(std::string("\xFF\xFEh\0i", 5), ""), "h\xEF\xBF\xBD");
}

// ---- The document ----

TComPtr<IDispatch> Get(IDispatch* on, const std::string& name, std::initializer_list<TVariant> args = {}) {
  TVariant v;
  EXPECT_EQ(DispGetProperty(on, name, v, args), S_OK) << name;
  return v.ToDispatch();
}

std::string Text(IDispatch* on, const std::string& name) {
  TVariant v;
  EXPECT_EQ(DispGetProperty(on, name, v), S_OK) << name;
  std::string text;
  EXPECT_TRUE(v.ToText(text)) << name;
  return text;
}

LONG Length(IDispatch* collection) {
  TVariant v;
  EXPECT_EQ(DispGetProperty(collection, "length", v), S_OK);
  LONG n = -1;
  EXPECT_TRUE(v.ToInt(n));
  return n;
}

TComPtr<IDispatch> Tags(IDispatch* doc, const std::string& tag) {
  TComPtr<IDispatch> all = Get(doc, "all");
  TVariant result;
  EXPECT_EQ(DispCallMethod(all.Get(), "tags", {TVariant::Text(tag)}, &result), S_OK);
  return result.ToDispatch();
}

TComPtr<IDispatch> Item(IDispatch* collection, LONG index, const char* name = "Item") {
  TVariant result;
  EXPECT_EQ(DispCallMethod(collection, name, {TVariant::Int(index)}, &result), S_OK);
  return result.ToDispatch();
}

const char kMoviePage[] =
    "<html><head><title>Movies</title></head><body>\n"
    "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=550 height=400>"
    "<param name=\"movie\" value=\"intro.swf\"><param name=quality value=high>"
    "<embed src=\"intro.swf\" type=\"application/x-shockwave-flash\"></object>\n"
    "<p><OBJECT CLASSID=\"clsid:other\"><PARAM NAME=\"Movie\" VALUE=\"second.swf\"></OBJECT>\n"
    "<embed src='b.swf' type='application/x-shockwave-flash' title='say \"hi\" & go'>\n"
    "<EMBED SRC=c.mov>\n"
    "<iframe src=\"frame.html\"><object classid=\"x\"></object></iframe>\n"
    "</body></html>";

TEST(HtmlDocument, AllTagsLengthAndItemFindElementsInDocumentOrderWhateverTheCase) {
  const long before = ComObjectsAlive();
  {
    TComPtr<IDispatch> doc(THtmlDocument::Parse(kMoviePage, "http://h/p.html", "UTF-8").Get());
    TComPtr<IDispatch> objects = Tags(doc.Get(), "OBJECT");
    TComPtr<IDispatch> lower = Tags(doc.Get(), "object");
    // The frame's markup is text: its OBJECT is not an element of this page.
    EXPECT_EQ(Length(objects.Get()), 2);
    EXPECT_EQ(Length(lower.Get()), 2);
    EXPECT_EQ(Length(Tags(doc.Get(), "Embed").Get()), 3);
    EXPECT_EQ(Length(Tags(doc.Get(), "marquee").Get()), 0);

    EXPECT_EQ(Text(Item(objects.Get(), 0).Get(), "CLASSID"), "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000");
    EXPECT_EQ(Text(Item(lower.Get(), 1, "item").Get(), "classid"), "clsid:other");
    TComPtr<IDispatch> embeds = Tags(doc.Get(), "EMBED");
    EXPECT_EQ(Text(Item(embeds.Get(), 0).Get(), "src"), "intro.swf");
    EXPECT_EQ(Text(Item(embeds.Get(), 1).Get(), "SRC"), "b.swf");
    EXPECT_EQ(Text(Item(embeds.Get(), 2).Get(), "Src"), "c.mov");
    EXPECT_EQ(Text(Item(embeds.Get(), 2).Get(), "tagName"), "EMBED");

    // Out of range: null, not a failure.
    TVariant missing;
    ASSERT_EQ(DispCallMethod(embeds.Get(), "Item", {TVariant::Int(3)}, &missing), S_OK);
    EXPECT_EQ(missing.vt, VT_NULL);
    ASSERT_EQ(DispCallMethod(embeds.Get(), "Item", {TVariant::Int(-1)}, &missing), S_OK);
    EXPECT_EQ(missing.vt, VT_NULL);
    // An index as a number of another type.
    EXPECT_EQ(Text(Get(embeds.Get(), "item", {TVariant::Bool(false)}).Get(), "src"), "intro.swf");

    // "all" lists every element: html, head, title, body, then the page's own.
    TComPtr<IDispatch> all = Get(doc.Get(), "ALL");
    EXPECT_EQ(Text(Item(all.Get(), 0).Get(), "tagName"), "HTML");
    EXPECT_EQ(Text(Item(all.Get(), 3).Get(), "tagName"), "BODY");
    EXPECT_EQ(Text(doc.Get(), "title"), "Movies");
    EXPECT_EQ(Text(doc.Get(), "url"), "http://h/p.html");

    DISPID id;
    EXPECT_EQ(DispIdOfName(doc.Get(), "nonsense", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(DispIdOfName(all.Get(), "LeNgTh", &id), S_OK);
    EXPECT_GT(ComObjectsAlive(), before);
  }
  EXPECT_EQ(ComObjectsAlive(), before);
}

TEST(HtmlDocument, ObjectInnerHtmlCarriesTheMovieParameter) {
  auto doc = THtmlDocument::Parse(kMoviePage, "", "UTF-8");
  TComPtr<IDispatch> objects = Tags(doc.Get(), "OBJECT");
  const std::string first = Text(Item(objects.Get(), 0).Get(), "innerhtml");
  EXPECT_EQ(first,
            "<PARAM name=\"movie\" value=\"intro.swf\"><PARAM name=\"quality\" value=\"high\">"
            "<EMBED src=\"intro.swf\" type=\"application/x-shockwave-flash\">");
  EXPECT_EQ(vorra::MovieParamValue(first), "intro.swf");
  EXPECT_EQ(vorra::MovieParamValue(Text(Item(objects.Get(), 1).Get(), "innerHTML")), "second.swf");
  EXPECT_EQ(Text(Item(objects.Get(), 1).Get(), "outerHTML"),
            "<OBJECT classid=\"clsid:other\"><PARAM name=\"Movie\" value=\"second.swf\"></OBJECT>");
}

TEST(HtmlDocument, OuterHtmlKeepsAttributeOrderAndQuotesEveryValue) {
  auto doc = THtmlDocument::Parse(kMoviePage, "", "UTF-8");
  TComPtr<IDispatch> embeds = Tags(doc.Get(), "EMBED");
  EXPECT_EQ(Text(Item(embeds.Get(), 1).Get(), "outerhtml"),
            "<EMBED src=\"b.swf\" type=\"application/x-shockwave-flash\" title=\"say &quot;hi&quot; &amp; go\">");
  // Text content escapes markup characters; raw-text elements do not.
  auto page = THtmlDocument::Parse("<div a=x b='' c>1 &lt; 2 &amp; 3<script>if (a<b) x();</script></div>", "", "");
  TComPtr<IDispatch> div = Item(Tags(page.Get(), "div").Get(), 0);
  EXPECT_EQ(Text(div.Get(), "outerHTML"),
            "<DIV a=\"x\" b=\"\" c=\"\">1 &lt; 2 &amp; 3<SCRIPT>if (a<b) x();</SCRIPT></DIV>");
  EXPECT_EQ(Text(div.Get(), "innerText"), "1 < 2 & 3");
}

TEST(HtmlDocument, AbsentAttributesReadAsEmptyTextOrNull) {
  auto doc = THtmlDocument::Parse("<object id=o data-x=1></object><embed>", "", "");
  TComPtr<IDispatch> object = Item(Tags(doc.Get(), "object").Get(), 0);
  TVariant v;
  ASSERT_EQ(DispGetProperty(object.Get(), "classid", v), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(Text(object.Get(), "classid"), "");
  EXPECT_EQ(Text(Item(Tags(doc.Get(), "embed").Get(), 0).Get(), "src"), "");
  ASSERT_EQ(DispGetProperty(object.Get(), "wmode", v), S_OK);
  EXPECT_EQ(v.vt, VT_NULL);
  EXPECT_EQ(Text(object.Get(), "DATA-X"), "1");
  TVariant attr;
  ASSERT_EQ(DispCallMethod(object.Get(), "getAttribute", {TVariant::Text("ID")}, &attr), S_OK);
  EXPECT_EQ(BstrToUtf8(attr.bstrVal), "o");
  // Text given to item is an id or name, not an index.
  EXPECT_EQ(Text(Get(doc.Get(), "all", {TVariant::Text("o")}).Get(), "tagName"), "OBJECT");
  TVariant none;
  ASSERT_EQ(DispGetProperty(Get(doc.Get(), "all").Get(), "item", none, {TVariant::Text("0")}), S_OK);
  EXPECT_EQ(none.vt, VT_NULL);
  // Elements cannot be written here.
  EXPECT_EQ(DispPutProperty(object.Get(), "classid", TVariant::Text("x")), DISP_E_MEMBERNOTFOUND);
}

TEST(HtmlDocument, ElementsKeepTheDocumentAliveAndAllIsFreedAtTheEnd) {
  const long before = ComObjectsAlive();
  {
    TComPtr<IDispatch> element;
    {
      auto doc = THtmlDocument::Parse(kMoviePage, "", "UTF-8");
      element = Item(Tags(doc.Get(), "embed").Get(), 1);
    }
    // The collection and the document are gone from our hands; the element still reads.
    EXPECT_EQ(Text(element.Get(), "src"), "b.swf");
    EXPECT_EQ(ComObjectsAlive(), before + 2);  // the element and its document
  }
  EXPECT_EQ(ComObjectsAlive(), before);
}

std::string Nested(const std::string& open, const std::string& close, int depth, const std::string& inside) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += open;
  s += inside;
  for (int i = 0; i < depth; ++i) s += close;
  return s;
}

TEST(HtmlDocument, DeepNestingIsBoundedAndNeverRecurses) {
  for (const char* tag : {"div", "b", "object", "table"}) {
    const std::string t = tag;
    const auto start = std::chrono::steady_clock::now();
    auto doc = THtmlDocument::Parse(Nested("<" + t + ">", "</" + t + ">", 100000, "<embed src=deep.swf>"), "", "");
    EXPECT_TRUE(doc->Flattened());
    std::string html;
    SerializeOuter(doc->Root(), html);
    EXPECT_GT(html.size(), 1000u);
    TComPtr<IDispatch> embeds = Tags(doc.Get(), "embed");
    EXPECT_EQ(Length(embeds.Get()), 1) << tag;
    // Every element's markup can be had, the outermost too.
    TComPtr<IDispatch> all = Get(doc.Get(), "all");
    EXPECT_FALSE(Text(Item(all.Get(), 0).Get(), "outerHTML").empty());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10.0) << tag;
  }
}

TEST(HtmlDocument, NestingLimitLeavesOrdinaryPagesAlone) {
  std::string page = "<table>";
  for (int i = 0; i < 3000; ++i) page += "<tr><td>cell<td><p>para<li>item<br><img src=x><option>o";
  page += "</table><svg>";
  for (int i = 0; i < 3000; ++i) page += "<path d='M0 0'/>";
  page += "</svg><script>for (i = 0; i < 9; i++) document.write('<div>');</script>";
  page += Nested("<div>", "</div>", kMaxNesting - 5, "x");
  // Sloppy markup that the parser closes by itself: unclosed links, and
  // unclosed formatting inside cells, rows and list items.
  page += "<table>";
  for (int i = 0; i < 2000; ++i) page += "<tr><td><font size=2><b>cell<a href=x>link<td><i>more";
  page += "</table><ul>";
  for (int i = 0; i < 2000; ++i) page += "<li><div>item<p>para<h2>head<h3>sub";
  page += "</ul>";
  std::string out;
  EXPECT_FALSE(LimitNesting(page, out));
  EXPECT_TRUE(LimitNesting(Nested("<span>", "</span>", kMaxNesting + 1, "x"), out));
  // The extra tags went, with their end tags; the text stayed.
  EXPECT_EQ(out, Nested("<span>", "</span>", kMaxNesting, "x"));
}

TEST(HtmlDocument, NestingLimitReadsTagsAsTheParserDoes) {
  // Each hides deep nesting from a careless scanner: a quote that is part of
  // an attribute name, an empty comment, stray end tags that close nothing.
  const std::string deep = Nested("<div>", "", 5000, "x");
  const std::string tricks[] = {
      "<div \">" + deep + "\">",
      "<div =\">" + deep + "\">",
      "<div a=b\">" + deep + "\">",
      "<!-->" + deep + "-->",
      "<!--->" + deep + "-->",
      "<!-- --!>" + deep + "-->",
      "<p title='>'>" + deep,
      [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "<div></span></b>";
        return s;
      }(),
      "<svg><title>" + deep,
  };
  for (const std::string& page : tricks) {
    std::string out;
    EXPECT_TRUE(LimitNesting(page, out)) << page.substr(0, 20);
    const auto start = std::chrono::steady_clock::now();
    auto doc = THtmlDocument::Parse(page, "", "");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  }
}

TEST(HtmlDocument, MarkupThatMultipliesIntoNodesIsAbandonedWithinTheBudget) {
  // Formatting elements with distinct attributes are cloned again after
  // every block that closes them: a little markup, a huge tree.
  std::string page = "<div><p>";
  for (int i = 0; i < 500; ++i) page += "<b id=" + std::to_string(i) + ">";
  page += "</p>x</div>";
  for (int i = 0; i < 10000; ++i) page += "<div>x</div>";
  ASSERT_LT(page.size(), 200000u);
  auto doc = THtmlDocument::Parse(page, "", "");
  EXPECT_TRUE(doc->TooComplex());
  EXPECT_NE(Text(Get(doc.Get(), "body").Get(), "innerText").find("too complex"), std::string::npos);

  // An ordinary page within its budget, and the same page over a tiny one.
  auto fine = THtmlDocument::Parse(kMoviePage, "", "");
  EXPECT_FALSE(fine->TooComplex());
  auto starved = THtmlDocument::ParseWithBudget(kMoviePage, "", "", 2000);
  EXPECT_TRUE(starved->TooComplex());
  EXPECT_EQ(Length(Tags(starved.Get(), "object").Get()), 0);
}

TEST(HtmlDocument, MalformedMarkupAndBinaryBytesParse) {
  const std::string inputs[] = {
      std::string("<obj\0ect classid=\"x><param name=movie value=\"a", 46),
      "<<<>>></</<!-- <embed src=x <![CDATA[ ]]> &#xFFFFFF; &bogus",
      "<table><object><tr><td><embed src=a.swf></td></object></table><template><embed src=t.swf></template>",
      std::string(4096, '\xFF') + std::string(100, '\0') + "<embed src=z.swf>",
      "<svg><foreignObject><embed src=s.swf></foreignObject></svg><math><mi><object></object>",
  };
  for (const std::string& input : inputs) {
    auto doc = THtmlDocument::Parse(PageTextToUtf8(input, "text/html"), "", "");
    TComPtr<IDispatch> all = Get(doc.Get(), "all");
    const LONG n = Length(all.Get());
    ASSERT_GE(n, 3);  // html, head, body at least
    for (LONG i = 0; i < n; ++i) {
      TComPtr<IDispatch> e = Item(all.Get(), i);
      Text(e.Get(), "outerHTML");
      Text(e.Get(), "innerHTML");
      Text(e.Get(), "tagName");
    }
  }
}

}  // namespace
}  // namespace win::html
