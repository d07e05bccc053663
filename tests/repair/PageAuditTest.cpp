// halvok-repair --check's reading of a page: which of its references lead
// into the folder "f", and the file each names, as a browser resolves it.
#include "tools/halvok-repair/PageAudit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kKoi8 =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\"></head>";
const std::string kUtf8 =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>";

struct Row {
    const char* what;
    std::string page;
    std::vector<std::string> paths; // "raw -> path" for each reference into f/
};

const Row kRows[] = {
    {"attributes quoted either way or not at all, blanks around '=', names of any letters",
     "<IMG data-Src2 = \"f/a.png\"><a xlink:href='f/b.png'><img src=f/c.png>"
     "<img alt=\"f\" src=\"g/f/x.png\"> = \"f/no-name.png\" <img src=\"f/\">",
     {"f/a.png -> a.png", "f/b.png -> b.png", "f/c.png -> c.png"}},
    {"each address of a srcset (any case); a style's url( )s, with or without quotes and "
     "blanks, but not a url( ) in another attribute's text; fragment, query and ./ cut",
     "<img SrcSet=\"f/a.png 1x,f/b.png 2x , ./f/c.png\">"
     "<p STYLE=\"background:url(  f/d.png  ) ; x: URL('f/e.png?v=2')\" title=\"url(f/z.png)\">"
     "<style>p{background:url(\"./././f/g.png#x\")}</style>",
     {"f/a.png -> a.png", "f/b.png -> b.png", "./f/c.png -> c.png", "f/d.png -> d.png",
      "f/e.png?v=2 -> e.png", "./././f/g.png#x -> g.png"}},
    {"character references of ASCII read (before the fragment is cut), others left; "
     "backslashes as slashes",
     "<a href=\"f/a&amp;b&#38;c&#x26;d&#65;e&lt;&zz;.png\"><a href=\"f\\h.png\">",
     {"f/a&amp;b&#38;c&#x26;d&#65;e&lt;&zz;.png -> a&b&c&dAe<&zz;.png",
      "f\\h.png -> h.png"}},
    {"escapes in either case; their bytes as UTF-8 where they form it, else Windows-1251, "
     "beside the page's own letters (Windows-1251 here: a dash takes three bytes)",
     "<img src=\"f/%c3%bc-%C0%e1\x97\xC0" "A.png\">",
     {"f/%c3%bc-%C0%e1\xE2\x80\x94\xD0\x90" "A.png -> \xC3\xBC-\xD0\x90\xD0\xB1\xE2\x80\x94\xD0\x90" "A.png"}},
    {"a KOI8-R page: its own letters in KOI8-R, escapes in Windows-1251",
     kKoi8 + "<img src=\"f/\xC1\xC2%C0.png\">",
     {"f/\xD0\xB0\xD0\xB1%C0.png -> \xD0\xB0\xD0\xB1\xD0\x90.png"}},
    {"a character reference of no ASCII character, or without its ';', is text: its '#' "
     "starts the fragment",
     "<img src=\"f/a&#0;b.png\"><img src=\"f/c&#x41d.png\"><img src=\"f/e&#128;.png\">",
     {"f/a&#0;b.png -> a&", "f/c&#x41d.png -> c&", "f/e&#128;.png -> e&"}},
    {"the page ends right after a quoted value, and in an unquoted one",
     "<a href='f/last.png'", {"f/last.png -> last.png"}},
    {"", "<img src=f/end.png", {"f/end.png -> end.png"}},
    {"a UTF-8 page: its own letters as they are",
     kUtf8 + "<img src=\"f/\xD0\x90%20\xC0.png\">", {"f/\xD0\x90%20\xC0.png -> \xD0\x90 \xC0.png"}},
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

} // namespace
