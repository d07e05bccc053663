// halvok-repair against this test's own reading of references: seeded
// pages in each charset, with names spelled raw and as escapes of UTF-8 or
// Windows-1251, quoted or not, into folders named raw or escaped, beside web
// links and <base>s, their files made on disk in this or another letter
// case. No reference that opens before the repair stops opening, no byte
// outside a reference changes, and --check agrees with this reading.
#include "repair/Codecs.h"
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

// A letter of the names: UTF-8, upper case, Windows-1251, KOI8-R ('\0': none).
struct Letter {
    const char *utf8, *upper;
    char cp1251, koi8;
};
const Letter kLetters[] = {
    {"a", "A", 'a', 'a'},
    {"z", "Z", 'z', 'z'},
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

// A reference as the page spells it; the bytes of the path a browser makes
// of it (a letter of the page becomes UTF-8, an escape its byte); the name
// as meant, in UTF-8 and, where it has them all, Windows-1251 letters.
struct Spelled {
    std::string text, bytes, utf8, cp1251;
    bool bCp1251 = true;

    void Add(const std::string& ascii) {
        text += ascii, bytes += ascii, utf8 += ascii, cp1251 += ascii;
    }

    // Each letter raw (where the page's charset has it), as UTF-8 escapes or
    // as a Windows-1251 escape: all alike, or each its own way. Blanks escaped.
    void Add(std::mt19937& rng, Charset charset, const std::vector<const Letter*>& name,
             bool bMixed) {
        const unsigned alike = rng() % 3;
        for (const Letter* l : name) {
            const bool bAscii = (*l->utf8 & 0x80) == 0;
            const char raw = charset == kKoi8 ? l->koi8 : charset == kCp1251 ? l->cp1251 : 0;
            unsigned how = bMixed ? rng() % 3 : alike;
            if ((how == 0 && !(bAscii || raw || charset == kUtf8)) || *l->utf8 == ' ' ||
                (how == 2 && !l->cp1251))
                how = 1;
            const std::string b = how == 2 ? std::string(1, l->cp1251) : l->utf8;
            if (how == 0)
                text += bAscii || charset == kUtf8 ? b : std::string(1, raw);
            for (const unsigned char c : how == 0 ? "" : b)
                text += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
            bytes += b;
            utf8 += l->utf8;
            cp1251 += l->cp1251;
            bCp1251 = bCp1251 && l->cp1251;
        }
    }

    // Whether a browser reads the name as meant: the path's bytes as UTF-8
    // when they all are, else in Windows-1251.
    bool Opens() const {
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; }) ||
            IsMultiByteUtf8(bytes.data(), int32_t(bytes.size())))
            return bytes == utf8;
        return bCp1251 && bytes == cp1251;
    }
};

// What --check says of each page of dir: the numbers ("qN-" starts each
// file's name) of its references that open no file (key 0) and that open
// only ignoring letter case (1), and how many lead into the folder (2).
std::map<std::string, std::map<int, std::set<int>>> Check(const std::string& dir) {
    std::map<std::string, std::map<int, std::set<int>>> pages;
    std::system((HALVOK_REPAIR_TOOL " --check '" + dir + "' >'" + dir + ".out'").c_str());
    std::istringstream lines(ReadWholeFile(dir + ".out"));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(".htm: ") + 4;
        const std::string rest = line.substr(colon + 2);
        const int kind = rest.find(" -> missing") != std::string::npos                         ? 0
                         : rest.find(" -> opens where names ignore case") != std::string::npos ? 1
                                                                                               : 2;
        pages[line.substr(0, colon)][kind].insert(
            std::stoi(kind == 2 ? rest : rest.substr(rest.find("/q") + 2)));
    }
    return pages;
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
        std::map<std::string, std::map<int, std::set<int>>> expected;
        std::map<std::string, std::vector<std::pair<bool, std::string>>>
            pieces; // (a reference, text)
        for (int n = 0, id = 0; n < 10; ++n) {
            const Charset charset = Charset(rng() % 4);
            const bool bCyrillic = rng() % 2, bWebBase = rng() % 6 == 0,
                       bFolderUpper = rng() % 4 == 0;
            const Letter* l = &kLetters[bCyrillic ? 4 : 0];
            const std::vector<const Letter*> stem(2, l); // its folder in either letter case
            const std::string number = std::to_string(n),
                              page = dir + "/" + l->utf8 + l->utf8 + number + ".htm";
            const std::string folder =
                dir + "/" +
                (bFolderUpper ? std::string(l->upper) + l->upper + number + "_FILES"
                              : std::string(l->utf8) + l->utf8 + number + "_files");
            std::filesystem::create_directory(folder);
            auto& counts = expected[page];
            int cReferences = 0;
            auto& text = pieces[page];
            text.push_back({false, std::string("<html><head>") + kHeads[charset] +
                                       (bWebBase ? "<base href=\"//e.com/\">" : "") +
                                       "</head><body>\n"});
            for (int r = 0; r < 6; ++r, ++id) {
                std::vector<const Letter*> name;
                for (unsigned k = rng() % 4; k < 4; ++k)
                    name.push_back(&kLetters[rng() % 8]);
                Spelled ref;
                ref.Add(rng, charset, stem, false);
                ref.Add(number + "_files/q" + std::to_string(id) + "-");
                std::string onDisk = "Q" + std::to_string(id) + "-",
                            meant = "q" + std::to_string(id) + "-";
                ref.Add(rng, charset, name, rng() % 4 == 0);
                ref.Add(".png");
                const bool bMade = rng() % 5 != 0, bUpper = rng() % 4 == 0;
                for (const Letter* l : name)
                    onDisk += l->upper, meant += l->utf8;
                if (bMade)
                    std::ofstream(folder + "/" + (bUpper ? onDisk + ".PNG" : meant + ".png"))
                        << "x";
                const unsigned context = rng() % 6;
                if (context != 5 && !bWebBase) {
                    ++cReferences;
                    if (!bMade || !ref.Opens())
                        counts[0].insert(id);
                    else if (bUpper || bFolderUpper)
                        counts[1].insert(id);
                }
                text.push_back({false, kAround[context][0]});
                text.push_back({context != 5 && !bWebBase, ref.text});
                // Text between tags that names the folder stays as it is.
                text.push_back(
                    {false, std::string(kAround[context][1]) + "<p>x_files/%41%C0</p>\n"});
            }
            counts[2] = {cReferences};
            std::ofstream out(page, std::ios::binary);
            for (const auto& piece : text)
                out << piece.second;
        }

        auto before = Check(dir);
        EXPECT_EQ(0, std::system((HALVOK_REPAIR_TOOL " '" + dir + "' >/dev/null").c_str()));
        auto after = Check(dir);
        for (auto& [page, counts] : expected) {
            SCOPED_TRACE(page);
            EXPECT_EQ(counts[0], before[page][0]) << "missing";
            EXPECT_EQ(counts[1], before[page][1]) << "opening where names ignore case";
            EXPECT_EQ(counts[2], before[page][2]) << "references";
            EXPECT_EQ(counts[2], after[page][2]) << "references after the repair";
            for (const int gone : after[page][0])
                EXPECT_TRUE(counts[0].count(gone)) << "q" << gone << " no longer opens";
            // The bytes outside the references as they were; a reference ends
            // where the text after it starts (its first byte is never in it).
            const std::string out = ReadWholeFile(page);
            size_t at = 0;
            const auto& text = pieces[page];
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i].first) {
                    at = out.find(text[i + 1].second[0], at);
                } else {
                    ASSERT_EQ(text[i].second, out.substr(at, text[i].second.size()));
                    at += text[i].second.size();
                }
            }
            EXPECT_EQ(out.size(), at);
        }
        std::filesystem::remove_all(dir);
        std::filesystem::remove(dir + ".out");
    }
}

} // namespace
