// halvok-repair against this test's own reading of references: seeded
// pages in each charset, with names spelled raw and as escapes of UTF-8 or
// Windows-1251, quoted or not, into folders named raw or escaped, beside web
// links and <base>s, their files made on disk in this or another letter
// case. No reference that opens before the repair stops opening, no byte
// outside a reference changes, and --check agrees with this reading.
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

// A character of the names: UTF-8, upper case, Windows-1251 and KOI8-R
// ('\0' where the charset lacks it).
struct Letter {
    const char *utf8, *upper;
    char cp1251, koi8;
};
const Letter kLetters[] = {
    {"a", "A", 'a', 'a'},
    {" ", " ", ' ', ' '},
    {"\xD0\x90", "\xD0\x90", '\xC0', '\xE1'}, // А
    {"\xD0\xB1", "\xD0\x91", '\xE1', '\xC2'}, // б
    {"\xD1\x91", "\xD0\x81", '\xB8', '\xA3'}, // ё
    {"\xD1\x96", "\xD0\x86", '\xB3', '\0'},   // і
    {"\xC3\xA9", "\xC3\x89", '\0', '\0'},     // é
};
enum Charset { kUtf8, kKoi8, kCp1251, kNone };
const char* const kHeads[] = {
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
    "<meta charset=KOI8-R>", "<META CHARSET=\"windows-1251\"></HEAD>", "<title>t</title>"};

// Names as the page spells them, and the bytes of the path a browser makes
// of them (a letter written in the page becomes UTF-8, an escape its byte);
// beside them the names as meant, in UTF-8 and (where it has them all) in
// Windows-1251.
struct Spelled {
    std::string text, bytes, utf8, cp1251;
    bool bCp1251 = true;

    void Add(const std::string& ascii) { text += ascii, bytes += ascii, utf8 += ascii, cp1251 += ascii; }

    // Each letter raw (where the page's charset has it), as UTF-8 escapes or
    // as a Windows-1251 escape: all alike, or each its own way when bMixed.
    // A blank is escaped.
    void Add(std::mt19937& rng, Charset charset, const std::vector<const Letter*>& name, bool bMixed) {
        const unsigned alike = rng() % 3;
        for (const Letter* l : name) {
            const bool bAscii = (*l->utf8 & 0x80) == 0;
            const char raw = charset == kKoi8 ? l->koi8 : charset == kCp1251 ? l->cp1251 : 0;
            unsigned how = bMixed ? rng() % 3 : alike;
            if ((how == 0 && !(bAscii || raw || charset == kUtf8)) || *l->utf8 == ' ' ||
                (how == 2 && !l->cp1251))
                how = 1;
            if (how == 0) {
                text += bAscii || charset == kUtf8 ? std::string(l->utf8) : std::string(1, raw);
                bytes += l->utf8;
            } else {
                const std::string b = how == 1 ? l->utf8 : std::string(1, l->cp1251);
                for (const unsigned char c : b)
                    text += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
                bytes += b;
            }
            utf8 += l->utf8;
            cp1251 += l->cp1251;
            bCp1251 = bCp1251 && l->cp1251;
        }
    }

    // Whether a browser opens the name as meant: the path's bytes read as
    // UTF-8 when they all are, else in Windows-1251.
    bool Opens() const {
        for (size_t i = 0; i < bytes.size();) {
            const unsigned char b = static_cast<unsigned char>(bytes[i]);
            size_t n = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : 0;
            for (size_t k = 1; k < n; ++k)
                n = i + k < bytes.size() && (bytes[i + k] & 0xC0) == 0x80 ? n : 0;
            if (n == 0)
                return bCp1251 && bytes == cp1251;
            i += n;
        }
        return bytes == utf8;
    }
};

// Runs halvok-repair with args; its output, and its exit status.
std::string RunTool(const std::string& args, int* pStatus) {
    std::string out;
    FILE* f = popen((HALVOK_REPAIR_TOOL " " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; f && (n = fread(buf, 1, sizeof buf, f)) > 0;)
        out.append(buf, n);
    *pStatus = f ? WEXITSTATUS(pclose(f)) : -1;
    return out;
}

// The references of one page by their numbers (the "qN-" that starts each
// file's name): those that open no file, those that open only ignoring
// letter case, and how many lead into the folder.
struct Counts {
    std::set<int> missing, caseBlind;
    int cReferences = 0;
    bool operator==(const Counts& o) const {
        return missing == o.missing && caseBlind == o.caseBlind && cReferences == o.cReferences;
    }
};

// What --check says of each page of the folder.
std::map<std::string, Counts> Check(const std::string& dir) {
    std::map<std::string, Counts> pages;
    int status;
    std::istringstream lines(RunTool("--check '" + dir + "'", &status));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(".htm: ") + 4;
        Counts& c = pages[line.substr(0, colon)];
        const std::string rest = line.substr(colon + 2);
        const size_t id = rest.find("/q") + 2;
        if (rest.find(" -> missing") != std::string::npos)
            c.missing.insert(std::stoi(rest.substr(id)));
        else if (rest.find(" -> opens where names ignore case") != std::string::npos)
            c.caseBlind.insert(std::stoi(rest.substr(id)));
        else
            c.cReferences = std::stoi(rest);
    }
    return pages;
}

void PrintTo(const Counts& c, std::ostream* os) {
    *os << c.cReferences << " references, missing " << testing::PrintToString(c.missing)
        << ", ignoring case " << testing::PrintToString(c.caseBlind);
}

TEST(Differential, RepairKeepsEveryReferenceThatOpensAndCheckAgrees) {
    static const char* const kAround[][2] = {
        {"<img src=\"", "\">"},
        {"<img srcset=\"", " 1x, x.png 2x\">"},
        {"<p style=\"background:url(", ")\">x</p>"},
        {"<img alt=\"a\" src=", " title=\"t\">"},
        {"<a class=\"c\" href='", "' title=\"t\">x</a>"},
        {"<a href=\"http://e.com/", "\">w</a>"}, // a web link: no reference
    };
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::string dir = testing::TempDir() + "differential-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&dir[0]));
        struct Page {
            std::string file;
            std::vector<std::pair<bool, std::string>> pieces; // (a reference, text)
            Counts counts;
        };
        std::vector<Page> pages(10);
        int id = 0;
        for (size_t n = 0; n < pages.size(); ++n) {
            Page& page = pages[n];
            const Charset charset = Charset(rng() % 4);
            const bool bCyrillic = rng() % 2, bWebBase = rng() % 6 == 0, bFolderUpper = rng() % 4 == 0;
            const std::vector<const Letter*> stem(2, &kLetters[bCyrillic ? 3 : 0]);
            const std::string number = std::to_string(n);
            const std::string stemName = (bCyrillic ? "\xD0\xB1\xD0\xB1" : "aa") + number;
            page.file = dir + "/" + stemName + ".htm";
            const std::string folder =
                dir + "/" + (bFolderUpper ? (bCyrillic ? "\xD0\x91\xD0\x91" : "AA") + number + "_FILES"
                                          : stemName + "_files");
            fs::create_directory(folder);
            page.pieces.push_back({false, std::string("<html><head>") + kHeads[charset] +
                                              (bWebBase ? "<base href=\"//e.com/\">" : "") + "</head><body>\n"});
            for (int r = 0; r < 6; ++r, ++id) {
                std::vector<const Letter*> name;
                for (unsigned k = rng() % 4; k < 4; ++k)
                    name.push_back(&kLetters[rng() % 7]);
                Spelled ref;
                ref.Add(rng, charset, stem, false);
                ref.Add(number + "_files/q" + std::to_string(id) + "-");
                const std::string upper = "Q" + std::to_string(id) + "-";
                const size_t cbBefore = ref.utf8.size();
                ref.Add(rng, charset, name, rng() % 4 == 0);
                ref.Add(".png");
                const bool bMade = rng() % 5 != 0, bUpper = rng() % 4 == 0;
                std::string onDisk = upper;
                for (const Letter* l : name)
                    onDisk += bUpper ? l->upper : l->utf8;
                if (bMade)
                    std::ofstream(folder + "/" + (bUpper ? onDisk + ".PNG" : ref.utf8.substr(cbBefore - upper.size()))) << "x";
                const unsigned context = rng() % 6;
                if (context != 5 && !bWebBase) {
                    ++page.counts.cReferences;
                    if (!bMade || !ref.Opens())
                        page.counts.missing.insert(id);
                    else if (bUpper || bFolderUpper)
                        page.counts.caseBlind.insert(id);
                }
                page.pieces.push_back({false, kAround[context][0]});
                page.pieces.push_back({context != 5 && !bWebBase, ref.text});
                // Text between tags that names the folder stays as it is.
                page.pieces.push_back({false, std::string(kAround[context][1]) + "<p>x_files/%41%C0</p>\n"});
            }
            page.pieces.push_back({false, "</body></html>\n"});
            std::ofstream out(page.file, std::ios::binary);
            for (const auto& piece : page.pieces)
                out << piece.second;
        }

        const std::map<std::string, Counts> before = Check(dir);
        int status;
        RunTool("'" + dir + "'", &status);
        EXPECT_EQ(0, status);
        const std::map<std::string, Counts> after = Check(dir);
        for (const Page& page : pages) {
            SCOPED_TRACE(page.file);
            const Counts& b = before.at(page.file);
            const Counts& a = after.at(page.file);
            EXPECT_EQ(page.counts, b);
            EXPECT_EQ(b.cReferences, a.cReferences);
            for (const int gone : a.missing)
                EXPECT_TRUE(b.missing.count(gone)) << "q" << gone << " no longer opens";
            // The bytes outside the references as they were; a reference ends
            // where the text after it starts (its first byte is never in it).
            const std::string out = ReadWholeFile(page.file);
            size_t at = 0;
            for (size_t i = 0; i < page.pieces.size(); ++i) {
                const auto& [bRef, text] = page.pieces[i];
                if (bRef) {
                    at = out.find(page.pieces[i + 1].second[0], at);
                } else {
                    ASSERT_EQ(text, out.substr(at, text.size()));
                    at += text.size();
                }
            }
            EXPECT_EQ(out.size(), at);
        }
        fs::remove_all(dir);
    }
}

} // namespace
