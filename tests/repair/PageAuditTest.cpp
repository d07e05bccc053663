// halvok-repair --check's reading of a page: which of its references lead
// into the folder "f", and the file a browser on a Russian Windows opens
// for each.
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"
#include "tools/halvok-repair/PageAudit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kKoi8 =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\"></head>";
const std::string kUtf8 = "<meta charset=utf-8></head>";
const std::string kCp1251 =
    "<META CONTENT='text/html; charset=windows-1251' HTTP-EQUIV=content-type>";

// The text in UTF-16 with a byte-order mark, little-endian or big-endian.
std::string Utf16(const std::u16string& text, bool bBig = false) {
    std::string page = bBig ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t u : text)
        page += bBig ? std::string{char(u >> 8), char(u & 0xFF)} : std::string{char(u & 0xFF), char(u >> 8)};
    return page;
}

struct Row {
    const char* what;
    std::string page;
    std::vector<std::string> paths; // "raw -> path" for each reference into f/
};

const Row kRows[] = {
    {"attributes of tags only, quoted either way or not at all, blanks around '=', names of "
     "any letters; not text, comments, scripts nor a url( ) in a title",
     "<IMG data-Src2 = \"f/a.png\"><a xlink:href='f/b.png'> 1 < 2 <img src=f/c.png "
     "title=\"url(f/t)\">"
     "<img alt=\"f\" src=\"g/f/x.png\"> f/text.png = \"f/no-tag.png\" <img src=\"f/\">"
     "<!-- <img src=\"f/comment.png\"> --><script>x = \"<img src='f/script.png'>\"</script>",
     {"f/a.png -> f/a.png", "f/b.png -> f/b.png", "f/c.png -> f/c.png"}},
    {"each address of a srcset; a style's url( )s, quoted or not, in an attribute or an "
     "element; fragment, query and dot segments resolved",
     "<img SrcSet=\"f/a.png 1x,f/b,c.png 2x , ./f/c.png,\">"
     "<p STYLE=\"background:url(  f/d.png  ) ; x: URL('f/e.png?v=2')\">"
     "<style>p{background:url(\"./x/../f/g.png#x\")} q{background:url(f/h.png</style>",
     {"f/a.png -> f/a.png", "f/b,c.png -> f/b,c.png", "./f/c.png -> f/c.png", "f/d.png -> f/d.png",
      "f/e.png?v=2 -> f/e.png", "./x/../f/g.png#x -> f/g.png"}},
    {"character references read before the fragment is cut, with or without ';'; blanks "
     "around the address and new lines in it dropped; backslashes as slashes",
     "<a href=\" f/a&amp;b&#38;c&#x26;d&#65;e&lt;&zz;&#X4A;.png\"><a href=\"f\\h&#x41d.png\">"
     "<img src=\"f/z&#0;&#128;&#160;&#x110000;\n.png\">",
     {" f/a&amp;b&#38;c&#x26;d&#65;e&lt;&zz;&#X4A;.png -> f/a&b&c&dAe<&zz;J.png",
      "f\\h&#x41d.png -> f/h\xD0\x9D.png",
      "f/z&#0;&#128;&#160;&#x110000;\n.png -> "
      "f/z\xEF\xBF\xBD\xE2\x82\xAC\xC2\xA0\xEF\xBF\xBD.png"}},
    {"a zero byte in a value reads as U+FFFD, as a browser reads it",
     std::string("<img src=\"f/a\0b.png\">", 21),
     {"f/a\xEF\xBF\xBD"
      "b.png -> f/a\xEF\xBF\xBD"
      "b.png"}},
    {"escapes in either case; the whole path's bytes as UTF-8 when they form it, else as "
     "Windows-1251; the folder's name in any letter case, read from the escapes' runs",
     "<img src=\"f/%d0%90%20%C0%E1.png\"><img src=\"f/%D0%90-%C0.png\"><img src=\"F/%c3%bc.png\">"
     "<img src=\"%66/x%4G.png\">",
     {"f/%d0%90%20%C0%E1.png -> f/\xD0\xA0\xD1\x92 \xD0\x90\xD0\xB1.png",
      "f/%D0%90-%C0.png -> f/\xD0\xA0\xD1\x92-\xD0\x90.png", "F/%c3%bc.png -> F/\xC3\xBC.png",
      "%66/x%4G.png -> f/x%4G.png"}},
    {"a page declaring windows-1251 (content first, no </head>): its letters in it, C5 B8 "
     "read as two letters, not as UTF-8",
     kCp1251 + "<img src=\"f/\xC5\xB8.png\">",
     {"f/\xD0\x95\xD1\x91.png -> f/\xD0\x95\xD1\x91.png"}},
    {"a KOI8-R page: its letters in KOI8-R (A3 is a letter); beside an escape of "
     "Windows-1251, not UTF-8 as a whole",
     kKoi8 + "<img src=\"f/\xA3.png\"><img src=\"f/\xC1%C0.png\">",
     {"f/\xD1\x91.png -> f/\xD1\x91.png", "f/\xD0\xB0%C0.png -> f/\xD0\xA0\xC2\xB0\xD0\x90.png"}},
    {"a UTF-8 page: a byte that starts no character read as U+FFFD, as a browser does",
     kUtf8 + "<img src=\"f/\xE0\xA4\x85%20\xC0\x80.png\">",
     {"f/\xE0\xA4\x85%20\xEF\xBF\xBD\xEF\xBF\xBD.png -> f/\xE0\xA4\x85 "
      "\xEF\xBF\xBD\xEF\xBF\xBD.png"}},
    {"a page that declares nothing and is UTF-8 is read as UTF-8",
     "<title>\xD0\xAF</title><img src=\"f/\xD0\x90.png\">",
     {"f/\xD0\x90.png -> f/\xD0\x90.png"}},
    {"addresses with a scheme or a host, or from the root, lead elsewhere",
     "<a href=\"http://e.com/f/a\"><a href=\"//e.com/f/b\"><a href=\"C:\\f\\c\">"
     "<a href=\"\\f\\d\"><a href=\"/f/e\"><a href=\"z39.50r://e/f/g\">",
     {}},
    {"a relative <base> goes before every reference",
     "<base href=\"f/x.htm\"><img src=\"a.png\">",
     {"a.png -> f/a.png"}},
    {"under a <base> with a host nothing leads into the folder",
     "<img src=\"f/a.png\"><BASE HREF=\"//e.com/\">",
     {}},
    {"a page in UTF-16: surrogate pairs joined, a lone one read as U+FFFD",
     Utf16(u"<img src=\"f/\u044F\U0001F642.png\"><img src=f/\xD800>"),
     {"f/\xD1\x8F\xF0\x9F\x99\x82.png -> f/\xD1\x8F\xF0\x9F\x99\x82.png",
      "f/\xEF\xBF\xBD -> f/\xEF\xBF\xBD"}},
    {"a page in UTF-16, big-endian: the first character past the Basic Multilingual Plane",
     Utf16(u"<img src=\"f/\U00010000.png\">", true),
     {"f/\xF0\x90\x80\x80.png -> f/\xF0\x90\x80\x80.png"}},
    {"a page whose first byte is FE (a KOI8-R letter) is no UTF-16",
     "\xFE" + kKoi8 + "<img src=\"f/\xFE.png\">",
     {"f/\xD0\xA7.png -> f/\xD0\xA7.png"}},
    {"a declaration in a comment is not read; a character reference of a surrogate reads as "
     "U+FFFD",
     "<!-- 1 > 0 <meta charset=koi8-r> --><meta charset=utf-8></head><img src=\"f/\xD0\x90&#xD800;\">",
     {"f/\xD0\x90&#xD800; -> f/\xD0\x90\xEF\xBF\xBD"}},
    {"a url( whose quote never closes passes over no later url( of another kind",
     "<style>p{background:url(\"f/a.png)} q{background:url(f/b.png)} r{background:url('f/c.png')}"
     "</style>",
     {"f/b.png -> f/b.png", "f/c.png -> f/c.png"}},
    {"the page ends right after a quoted value, and in an unquoted one",
     "<a href='f/last.png'",
     {"f/last.png -> f/last.png"}},
    {"", "<img src=f/end.png", {"f/end.png -> f/end.png"}},
};

TEST(FolderReferences, AsABrowserResolvesThem) {
    for (const Row& row : kRows) {
        std::vector<std::string> got;
        // In a block of its exact size, so that the sanitizer catches a read
        // past the page's end.
        std::unique_ptr<char[]> exact(new char[row.page.size()]);
        std::memcpy(exact.get(), row.page.data(), row.page.size());
        for (const FolderReference& ref : FindFolderReferences(exact.get(), row.page.size(), "f"))
            got.push_back(ref.text + " -> " + ref.path);
        EXPECT_EQ(row.paths, got) << row.what;
    }
}

// Each letter of a KOI8-R page read as the one of Windows-1251 that the
// repair's table translates to it.
TEST(FolderReferences, KoiLettersAsTheRepairsTableWritesThem) {
    std::string letters;
    for (int b = 0xC0; b <= 0xFF; ++b)
        letters += char(b);
    letters += "\xA8\xB8";
    const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(letters.c_str()));
    Win1251ToKoi8(&letters[0]);
    const std::string page = kKoi8 + "<img src=\"f/" + letters + "\">";
    const std::vector<FolderReference> refs = FindFolderReferences(page.data(), page.size(), "f");
    ASSERT_EQ(1u, refs.size());
    EXPECT_EQ(std::string("f/") + utf8.get(), refs[0].path);
}

} // namespace
