#include "common/MovieAddress.h"

#include <gtest/gtest.h>

namespace vorra {
namespace {

TEST(AddTrailingBackslash, AppendsTheHostDelimiterOnce) {
  EXPECT_EQ(AddTrailingBackslash("/home/a/Movies"), "/home/a/Movies/");
  EXPECT_EQ(AddTrailingBackslash("/home/a/Movies/"), "/home/a/Movies/");
  EXPECT_EQ(AddTrailingBackslash(""), "");
  EXPECT_EQ(AddTrailingBackslash("/"), "/");
}

TEST(UrlFileName, TakesTheNameAfterTheLastSeparator) {
  EXPECT_EQ(UrlFileName("http://site/a/intro.swf?v=2"), "intro.swf");
  EXPECT_EQ(UrlFileName("http://site/"), "");
  EXPECT_EQ(UrlFileName("intro.swf"), "intro.swf");
  EXPECT_EQ(UrlFileName("C:\\cache\\intro[1].swf"), "intro[1].swf");
  EXPECT_EQ(UrlFileName("C:intro.swf"), "intro.swf");
  // Only the first "?" counts: a "/" inside the query is cut off with it.
  EXPECT_EQ(UrlFileName("http://site/a/play.php?file=b/c.swf"), "play.php");
  EXPECT_EQ(UrlFileName(""), "");
}

TEST(UrlBase, KeepsEverythingThroughTheLastSeparator) {
  EXPECT_EQ(UrlBase("http://site/a/b/page.html"), "http://site/a/b/");
  EXPECT_EQ(UrlBase("page.html"), "");
  EXPECT_EQ(UrlBase(""), "");
  EXPECT_EQ(UrlBase("C:\\pages\\index.htm"), "C:\\pages\\");
  EXPECT_EQ(UrlBase("http://site/a/page.php?x=1"), "http://site/a/");
}

TEST(UrlBase, TheQueryAndFragmentAreNoPartOfTheFolder) {
  EXPECT_EQ(UrlBase("http://site/a/p.html?next=/a/b"), "http://site/a/");
  EXPECT_EQ(UrlBase("http://site/a/p.html#/x/y"), "http://site/a/");
  EXPECT_EQ(UrlBase("http://site?q=a/b"), "http://site/");
  // A path has no query: "#" may be part of a folder name.
  EXPECT_EQ(UrlBase("/srv/a#b/page.html"), "/srv/a#b/");
}

TEST(UrlBase, BackslashOrColonRightBehindTheLastSlashKeepsTheWholeAddress) {
  EXPECT_EQ(UrlBase("http://site/a/\\x"), "http://site/a/\\x");
  EXPECT_EQ(UrlBase("http://site/a/:x"), "http://site/a/:x");
  EXPECT_EQ(UrlBase(":abc"), ":abc");
  EXPECT_EQ(UrlBase("\\abc"), "\\abc");
  // Further away it cuts as usual.
  EXPECT_EQ(UrlBase("http://site/a/b\\x"), "http://site/a/b\\");
  EXPECT_EQ(UrlBase("ab:c"), "ab:");
}

TEST(UrlBase, CompletesAnAddressWithNothingBehindItsHost) {
  EXPECT_EQ(UrlBase("http://site"), "http://site/");
  EXPECT_EQ(UrlBase("https://site:8080"), "https://site:8080/");
  EXPECT_EQ(UrlBase("http://site/"), "http://site/");
  // No host to complete.
  EXPECT_EQ(UrlBase("http://"), "http://");
}

TEST(ResolveMovieUrl, ThePageExamples) {
  const std::string base = UrlBase("http://site/a/b/page.html");
  EXPECT_EQ(ResolveMovieUrl("movie.swf", base), "http://site/a/b/movie.swf");
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", base), "http://site/m/x.swf");
  EXPECT_EQ(ResolveMovieUrl("../x.swf", base), "http://site/a/x.swf");
  EXPECT_EQ(ResolveMovieUrl("../../x.swf", base), "http://site/x.swf");
  EXPECT_EQ(ResolveMovieUrl("HTTP://other/x.swf", base), "HTTP://other/x.swf");
  EXPECT_EQ(ResolveMovieUrl("movie.swf", "C:\\pages\\"), "C:\\pages\\movie.swf");
}

TEST(ResolveMovieUrl, ShortValuesAreReturnedUnchanged) {
  EXPECT_EQ(ResolveMovieUrl("", "http://site/a/"), "");
  EXPECT_EQ(ResolveMovieUrl("x", "http://site/a/"), "x");
  EXPECT_EQ(ResolveMovieUrl("/", "http://site/a/"), "/");
}

TEST(ResolveMovieUrl, KeepsLetterCaseAndDoesNotSimplify) {
  EXPECT_EQ(ResolveMovieUrl("Movies/Intro.SWF", "http://Site/A/"), "http://Site/A/Movies/Intro.SWF");
  EXPECT_EQ(ResolveMovieUrl("./a/../b.swf", "http://site/p/"), "http://site/p/./a/../b.swf");
  EXPECT_EQ(ResolveMovieUrl("a/../b.swf", "http://site/p/"), "http://site/p/a/../b.swf");
}

TEST(ResolveMovieUrl, RootedValueOnABaseWithoutAPath) {
  // Shorter than "http://x" or no "/" from the eighth character on: the value alone.
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "http://"), "/m/x.swf");
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "http://site"), "/m/x.swf");
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "C:\\pages\\"), "/m/x.swf");
}

TEST(ResolveMovieUrl, AnySchemeIsAbsolute) {
  const std::string base = "https://site/a/b/";
  EXPECT_EQ(ResolveMovieUrl("https://other/x.swf", base), "https://other/x.swf");
  EXPECT_EQ(ResolveMovieUrl("ftp://files/x.swf", base), "ftp://files/x.swf");
  EXPECT_EQ(ResolveMovieUrl("file:///home/a/x.swf", base), "file:///home/a/x.swf");
  EXPECT_EQ(ResolveMovieUrl("https://other/x.swf", "http://site/"), "https://other/x.swf");
  // "C:" is a drive, not a scheme, and "mailto:" has no "//".
  EXPECT_EQ(ResolveMovieUrl("x:y.swf", base), "https://site/a/b/x:y.swf");
}

TEST(ResolveMovieUrl, AProtocolRelativeValueTakesTheScheme) {
  EXPECT_EQ(ResolveMovieUrl("//cdn/x.swf", "https://site/a/"), "https://cdn/x.swf");
  EXPECT_EQ(ResolveMovieUrl("//cdn/x.swf", "http://site/a/"), "http://cdn/x.swf");
}

TEST(MayFetchFromPage, AWebPageGetsOnlyWebAddresses) {
  for (const char* page : {"http://site/p.html", "https://site/p.html", "ftp://site/p.html", "about:blank", ""}) {
    EXPECT_TRUE(MayFetchFromPage("HTTPS://other/x.swf", page)) << page;
    EXPECT_TRUE(MayFetchFromPage("ftp://other/x.swf", page)) << page;
    EXPECT_FALSE(MayFetchFromPage("file:///etc/passwd", page)) << page;
    EXPECT_FALSE(MayFetchFromPage("/etc/passwd", page)) << page;
    EXPECT_FALSE(MayFetchFromPage("C:\\x.swf", page)) << page;
    EXPECT_FALSE(MayFetchFromPage("data:x", page)) << page;
  }
  for (const char* page : {"/home/a/page.html", "file:///home/a/page.html", "page.html"}) {
    EXPECT_TRUE(MayFetchFromPage("/home/a/x.swf", page)) << page;
    EXPECT_TRUE(MayFetchFromPage("FILE:///home/a/x.swf", page)) << page;
    EXPECT_TRUE(MayFetchFromPage("http://other/x.swf", page)) << page;
  }
}

TEST(ResolveMovieUrl, RootedValueOnHttpsFindsTheSiteRoot) {
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "https://site/a/b/"), "https://site/m/x.swf");
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "https://web.archive.example/web/2005/http://site/a/"),
            "https://web.archive.example/m/x.swf");
  EXPECT_EQ(ResolveMovieUrl("/m/x.swf", "ftp://h/pub/"), "ftp://h/m/x.swf");
}

TEST(ResolveMovieUrl, RelativeAndClimbingOnHttps) {
  const std::string base = UrlBase("https://site/a/b/page.html");
  EXPECT_EQ(ResolveMovieUrl("movie.swf", base), "https://site/a/b/movie.swf");
  EXPECT_EQ(ResolveMovieUrl("../x.swf", base), "https://site/a/x.swf");
}

TEST(ResolveMovieUrl, ClimbingStopsAtTheSiteRoot) {
  const std::string base = "http://site/a/b/";
  EXPECT_EQ(ResolveMovieUrl("../../../x.swf", base), "http://site/x.swf");
  EXPECT_EQ(ResolveMovieUrl("../../../../../x.swf", base), "http://site/x.swf");
  EXPECT_EQ(ResolveMovieUrl("../x.swf", UrlBase("http://site")), "http://site/x.swf");
  EXPECT_EQ(ResolveMovieUrl("../../x.swf", "C:\\pages\\"), "C:\\x.swf");
  EXPECT_EQ(ResolveMovieUrl("../../x.swf", "/srv/www/"), "/x.swf");
  // Only leading "../" climb; "../" further in is kept as it stands.
  EXPECT_EQ(ResolveMovieUrl("../a/../x.swf", base), "http://site/a/a/../x.swf");
}

TEST(MovieParamValue, FindsTheDoubleQuotedValueAfterTheMovieName) {
  EXPECT_EQ(MovieParamValue(R"(<param name="movie" value="intro.swf">)"), "intro.swf");
  EXPECT_EQ(MovieParamValue(R"(<PARAM NAME="Movie" VALUE="Dir/Intro.SWF"><param name="quality" value="high">)"),
            "Dir/Intro.SWF");
  EXPECT_EQ(MovieParamValue(R"(<param name="quality" value="high">)"), "");
  EXPECT_EQ(MovieParamValue(""), "");
}

TEST(MovieParamValue, OtherQuotingYieldsWhateverQuotedTextFollows) {
  EXPECT_EQ(MovieParamValue(R"(<param name="movie" value='a.swf'>)"), "");
  EXPECT_EQ(MovieParamValue(R"(<param name="movie" value=a.swf><param name="q" value="high">)"), "q");
  // Value before name: the next quoted text after the name is taken.
  EXPECT_EQ(MovieParamValue(R"(<param value="a.swf" name="movie"><param name="bg" value="#fff">)"), "#fff");
  // No closing quote.
  EXPECT_EQ(MovieParamValue(R"(<param name="movie" value="a.swf)"), "");
  // NAME="MOVIE" must be written exactly so: no blanks, double quotes.
  EXPECT_EQ(MovieParamValue(R"(<param name = "movie" value="a.swf">)"), "");
}

}  // namespace
}  // namespace vorra
