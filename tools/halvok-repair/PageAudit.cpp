// References of a saved page, as a browser reads and resolves them.
#include "tools/halvok-repair/PageAudit.h"

#include "tools/halvok-repair/PageFile.h"
#include "tools/halvok-repair/PageFolder.h"

#include "repair/Codecs.h"
#include "repair/FolderSuffix.h"
#include "repair/GrowBuf.h"
#include "repair/ReferenceReading.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void AppendUtf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
        *out += char(cp);
    } else if (cp < 0x800) {
        *out += {char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
        *out += {char(0xE0 | cp >> 12), char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
    } else {
        *out += {char(0xF0 | cp >> 18), char(0x80 | (cp >> 12 & 0x3F)),
                 char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
    }
}

// The character of well-formed UTF-8 at s[i] (*pLen its bytes), or -1 with
// *pLen 1 for a byte that starts none.
int32_t DecodeUtf8(const std::string& s, size_t i, size_t* pLen) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    const size_t len = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    *pLen = 1;
    if (len == 0 || i + len > s.size())
        return -1;
    if (len > 1 && !IsMultiByteUtf8(s.data() + i, int32_t(len)))
        return -1;
    int32_t cp = len == 1 ? b : b & (0x3F >> (len - 1));
    for (size_t k = 1; k < len; ++k)
        cp = cp << 6 | (s[i + k] & 0x3F);
    *pLen = len;
    return cp;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0, len; i < s.size(); i += len) {
        if (DecodeUtf8(s, i, &len) < 0)
            return false;
    }
    return true;
}

// Windows-1251 text in UTF-8: the repair's own conversion, which takes the
// system code page to be Windows-1251 here.
std::string Cp1251ToUtf8(const std::string& s) {
    const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(s.c_str()));
    return utf8 ? std::string(utf8.get()) : s;
}

// KOI8-R (RFC 1489) bytes 0x80 to 0xFF.
// clang-format off
const uint16_t kKoi8High[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};
// clang-format on

// The page's own bytes as UTF-8, read in its charset: a page that declares
// no charset known here is read in Windows-1251, the fallback of a browser
// on a Russian system; on a UTF-8 page a byte that starts no character is
// read as U+FFFD, and so is a zero byte on any page, as a browser reads them.
std::string LettersToUtf8(const char* p, size_t cb, PageCharset charset) {
    std::string out;
    if (charset == PageCharset::Utf8) {
        const std::string s(p, cb);
        for (size_t i = 0, len; i < s.size(); i += len) {
            const int32_t cp = DecodeUtf8(s, i, &len);
            AppendUtf8(&out, cp <= 0 ? 0xFFFD : uint32_t(cp));
        }
    } else if (charset == PageCharset::Koi8r) {
        for (size_t i = 0; i < cb; ++i) {
            const unsigned char b = static_cast<unsigned char>(p[i]);
            AppendUtf8(&out, b == 0 ? 0xFFFD : b < 0x80 ? b : kKoi8High[b - 0x80]);
        }
    } else {
        for (const char* end = p + cb; p < end;) {
            const char* zero = static_cast<const char*>(std::memchr(p, 0, size_t(end - p)));
            out += Cp1251ToUtf8(std::string(p, zero ? zero : end));
            if (zero)
                AppendUtf8(&out, 0xFFFD);
            p = zero ? zero + 1 : end;
        }
    }
    return out;
}

// Reads the character references of an attribute's value (UTF-8) as a
// browser does: &#N; and &#xN; (the ';' may be missing), and &amp; &quot;
// &apos; &lt; &gt; &nbsp;. A zero, a surrogate or a number past U+10FFFF
// gives U+FFFD; 128 to 159 give the Windows-1252 characters of those bytes.
std::string ReadCharacterReferences(const std::string& s) {
    static const struct {
        const char* name;
        uint32_t cp;
    } kNamed[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''},
                  {"&lt;", '<'},  {"&gt;", '>'},   {"&nbsp;", 0xA0}};
    static const uint16_t kCp1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        bool bRead = false;
        for (const auto& n : kNamed) {
            if (s.compare(i, std::strlen(n.name), n.name) == 0) {
                AppendUtf8(&out, n.cp);
                i += std::strlen(n.name) - 1;
                bRead = true;
                break;
            }
        }
        if (!bRead && i + 2 < s.size() && s[i + 1] == '#') {
            const bool bHex = s[i + 2] == 'x' || s[i + 2] == 'X';
            size_t j = i + (bHex ? 3 : 2);
            const size_t first = j;
            uint32_t cp = 0;
            for (int d; j < s.size(); ++j) {
                const char c = s[j];
                d = c >= '0' && c <= '9'           ? c - '0'
                    : bHex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : bHex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                   : -1;
                if (d < 0)
                    break;
                cp = std::min<uint32_t>(cp * (bHex ? 16 : 10) + uint32_t(d), 0x110000);
            }
            if (j > first) {
                if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                    cp = 0xFFFD;
                else if (cp >= 0x80 && cp < 0xA0)
                    cp = kCp1252[cp - 0x80];
                AppendUtf8(&out, cp);
                i = j < s.size() && s[j] == ';' ? j : j - 1;
                bRead = true;
            }
        }
        if (!bRead)
            out += '&';
    }
    return out;
}

// The path with its "." and ".." names resolved; a ".." past its start stays.
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> names;
    size_t at = 0;
    for (;;) {
        const size_t slash = path.find('/', at);
        const std::string name = path.substr(at, slash == std::string::npos ? slash : slash - at);
        const bool bLast = slash == std::string::npos;
        if (name == "..") {
            if (!names.empty() && names.back() != "..")
                names.pop_back();
            else
                names.push_back(name);
        } else if (name != ".") {
            names.push_back(name);
        }
        if (bLast)
            break;
        at = slash + 1;
    }
    // A path that ends in "." or ".." names a folder.
    if (!path.empty() && (names.empty() || path.back() == '.'))
        names.push_back("");
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i ? "/" : "") + names[i];
    return out;
}

// The name with its letters in upper case, as Windows compares names (its
// own table, which the C library's for Unicode follows); bytes that are not
// UTF-8 stay as they are.
std::string FoldCase(const std::string& s) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    std::string out;
    for (size_t i = 0, len; i < s.size(); i += len) {
        const int32_t cp = DecodeUtf8(s, i, &len);
        if (cp < 0)
            out += s[i];
        else if (cp < 0x80)
            out += char(cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp);
        else
            AppendUtf8(&out, unicode ? uint32_t(towupper_l(wint_t(cp), unicode)) : uint32_t(cp));
    }
    return out;
}

// How a browser reads the references of one page.
class ReferenceReader {
  public:
    ReferenceReader(PageCharset charset, const std::string& folder)
        : m_charset(charset), m_folder(FoldCase(folder)) {}

    // Takes the page's <base href>: false when it leads elsewhere (a scheme
    // or a host, or the root), so that no reference leads into the folder.
    bool SetBase(const char* p, int32_t cb) {
        std::string base;
        if (!Address(LettersToUtf8(p, size_t(cb), m_charset), &base))
            return false;
        m_base = base.substr(0, base.rfind('/') + 1); // its folder; none without a '/'
        return true;
    }

    // Adds the reference [p, p + cb) to *pRefs when it leads into the folder.
    void Take(const char* p, size_t cb, std::vector<FolderReference>* pRefs) const {
        FolderReference ref;
        ref.text = LettersToUtf8(p, cb, m_charset);
        std::string address, meant, bytes;
        if (!Address(ref.text, &address))
            return;
        address = m_base + address;
        static const EscapeRules kBrowser = {"", true};
        const char* const end = address.data() + address.size();
        ReferencePiece piece;
        for (const char* q = address.data(); NextReferencePiece(&q, end, kBrowser, &piece);) {
            if (!piece.bRun) {
                meant.append(piece.p, size_t(piece.cb));
                bytes.append(piece.p, size_t(piece.cb));
                continue;
            }
            std::string run(size_t(piece.cb) + 1, '\0');
            const int32_t n = DecodeRun(piece.p, piece.cb, &run[0]);
            bytes.append(run, 0, size_t(n));
            meant.append(run, 0, size_t(SpellRunIn(PageCharset::Utf8, &run[0], n)));
        }
        meant = RemoveDotSegments(meant);
        const size_t slash = meant.find('/');
        if (slash == std::string::npos || slash + 1 == meant.size() ||
            FoldCase(meant.substr(0, slash)) != m_folder)
            return;
        ref.path = RemoveDotSegments(IsUtf8(bytes) ? bytes : Cp1251ToUtf8(bytes));
        pRefs->push_back(std::move(ref));
    }

  private:
    // The address of an attribute's value (UTF-8) as a browser takes it:
    // character references read, blanks and control characters around it
    // dropped, tabs and new lines in it too; its fragment and query cut and
    // backslashes read as slashes. False when it leads elsewhere: a scheme,
    // a host, or the root of the disk.
    static bool Address(const std::string& value, std::string* pAddress) {
        std::string s = ReadCharacterReferences(value);
        const size_t first = s.find_first_not_of("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C"
                                                 "\x0D\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18"
                                                 "\x19\x1A\x1B\x1C\x1D\x1E\x1F ");
        s.erase(0, first);
        while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
            s.pop_back();
        s.erase(std::remove_if(s.begin(), s.end(),
                               [](char c) { return c == '\t' || c == '\n' || c == '\r'; }),
                s.end());
        if (IsAddressElsewhere(s.data(), int32_t(s.size())) || s[0] == '/' || s[0] == '\\')
            return false;
        s = s.substr(0, s.find_first_of("#?"));
        std::replace(s.begin(), s.end(), '\\', '/');
        *pAddress = s;
        return true;
    }

    const PageCharset m_charset;
    const std::string m_folder; // letters in upper case
    std::string m_base;
};

// Each address of a srcset: a run of non-blanks (trailing commas cut), then
// its size up to the next comma.
void TakeSrcset(const ReferenceReader& reader, const char* p, const char* end,
                std::vector<FolderReference>* pRefs) {
    while (p < end) {
        while (p < end && (IsHtmlBlank(*p) || *p == ','))
            ++p;
        const char* url = p;
        while (p < end && !IsHtmlBlank(*p))
            ++p;
        const char* urlEnd = p;
        while (urlEnd > url && urlEnd[-1] == ',')
            --urlEnd;
        if (urlEnd == p) { // not cut: a size follows
            while (p < end && *p != ',')
                ++p;
        }
        if (urlEnd > url)
            reader.Take(url, size_t(urlEnd - url), pRefs);
    }
}

// Each url( ) of a style, quoted or not. Once no closing character of a
// kind follows, none is looked for again, so the reading stays linear.
void TakeUrls(const ReferenceReader& reader, const char* p, const char* end,
              std::vector<FolderReference>* pRefs) {
    bool bNoClose[3] = {}; // ')', '"', '\''
    while ((p = FindNoCase(p, end, "url(")) < end) {
        p += 4;
        while (p < end && IsHtmlBlank(*p))
            ++p;
        const char close = p < end && (*p == '"' || *p == '\'') ? *p++ : ')';
        bool& bNone = bNoClose[close == ')' ? 0 : close == '"' ? 1 : 2];
        const char* c =
            bNone ? nullptr : static_cast<const char*>(std::memchr(p, close, size_t(end - p)));
        if (!c) {
            bNone = true;
            continue;
        }
        const char* e = c;
        while (close == ')' && e > p && IsHtmlBlank(e[-1]))
            --e;
        if (e > p)
            reader.Take(p, size_t(e - p), pRefs);
        p = c + 1;
    }
}

// Names on disk, looked up as Windows looks them up: as written, else
// ignoring letter case. Each folder is read once; a name is looked at on
// disk only when its folder cannot be read or it is a link.
class FolderNames {
  public:
    enum class Kind { None, File, Folder };
    enum class Opens { No, AsWritten, IgnoringCase };

    // Whether the relative path from dir names a file that is not a folder;
    // *pOnDisk: the path as the names stand on disk.
    Opens Open(const std::string& dir, const std::string& path, std::string* pOnDisk) {
        Opens opens = Opens::AsWritten;
        std::string at = dir;
        pOnDisk->clear();
        size_t start = 0;
        for (;;) {
            const size_t slash = path.find('/', start);
            const bool bLast = slash == std::string::npos;
            const std::string name = path.substr(start, bLast ? slash : slash - start);
            start = slash + 1;
            if (name.empty() && !bLast)
                continue; // "a//b" names "a/b"
            std::string found = name;
            Kind kind = name.empty() ? Kind::None : KindOf(at, name);
            if (kind == Kind::None) {
                found = Find(at, name);
                kind = found.empty() ? Kind::None : KindOf(at, found);
                if (kind == Kind::None)
                    return Opens::No;
                opens = Opens::IgnoringCase;
            }
            at += "/" + found;
            *pOnDisk += (pOnDisk->empty() ? "" : "/") + found;
            if (bLast || kind != Kind::Folder)
                return bLast && kind == Kind::File ? opens : Opens::No;
        }
    }

    // The name of the entry of dir that matches name ignoring letter case
    // (the first in byte order when several do), or an empty string.
    std::string Find(const std::string& dir, const std::string& name) {
        const Listing& listing = List(dir);
        const auto hit = listing.folded.find(FoldCase(name));
        return hit == listing.folded.end() ? std::string() : hit->second;
    }

    // What the entry name of dir is (a link: what it leads to).
    Kind KindOf(const std::string& dir, const std::string& name) {
        const Listing& listing = List(dir);
        const auto entry = listing.types.find(name);
        if (listing.bRead && entry == listing.types.end())
            return Kind::None;
        if (listing.bRead && entry->second == DT_DIR)
            return Kind::Folder;
        if (listing.bRead && entry->second == DT_REG)
            return Kind::File;
        struct stat st;
        if (stat((dir + "/" + name).c_str(), &st) != 0)
            return Kind::None;
        return S_ISDIR(st.st_mode) ? Kind::Folder : Kind::File;
    }

  private:
    struct Listing {
        bool bRead = false;
        std::unordered_map<std::string, unsigned char> types; // name -> its type
        std::unordered_map<std::string, std::string> folded;  // name in upper case -> name
    };

    const Listing& List(const std::string& dir) {
        auto listed = m_folders.find(dir);
        if (listed != m_folders.end())
            return listed->second;
        Listing& listing = m_folders[dir];
        const std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.c_str()), closedir);
        listing.bRead = stream != nullptr;
        std::vector<std::string> names;
        while (const dirent* entry = stream ? readdir(stream.get()) : nullptr) {
            names.push_back(entry->d_name);
            listing.types.emplace(entry->d_name, entry->d_type);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& n : names)
            listing.folded.emplace(FoldCase(n), n);
        return listing;
    }

    std::map<std::string, Listing> m_folders;
};

// The folder of the page stem in dir as Windows finds it: the first suffix
// of the table whose folder exists, its name as written or else ignoring
// letter case; stem + "_files" when none does. Its name as on disk.
std::string FindPageFolder(const std::string& dir, const std::string& stem, FolderNames* pNames) {
    for (size_t i = 0; i < kFolderSuffixCount; ++i) {
        const std::string name = stem + kFolderSuffixes[i];
        if (pNames->KindOf(dir, name) == FolderNames::Kind::Folder)
            return name;
        const std::string found = pNames->Find(dir, name);
        if (!found.empty() && pNames->KindOf(dir, found) == FolderNames::Kind::Folder)
            return found;
    }
    return stem + kFolderSuffixes[0];
}

// A page that starts with a UTF-16 byte-order mark (FF FE, FE FF).
bool IsUtf16(const char* p, size_t cb) {
    return cb >= 2 && ((p[0] == '\xFF' && p[1] == '\xFE') || (p[0] == '\xFE' && p[1] == '\xFF'));
}

// A UTF-16 page as UTF-8 behind a UTF-8 byte-order mark, by which its
// charset is read; a unit that pairs with none reads as U+FFFD.
std::string Utf16ToUtf8(const std::string& page) {
    const bool bBig = page[0] == '\xFE';
    auto unit = [&](size_t i) {
        const unsigned a = static_cast<unsigned char>(page[i]),
                       b = static_cast<unsigned char>(page[i + 1]);
        return bBig ? a << 8 | b : b << 8 | a;
    };
    std::string out = "\xEF\xBB\xBF";
    for (size_t i = 2; i + 1 < page.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < page.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        AppendUtf8(&out, cp);
    }
    return out;
}

} // namespace

std::vector<FolderReference> FindFolderReferences(const char* pPage, size_t cbPage,
                                                  const std::string& folder) {
    if (IsUtf16(pPage, cbPage)) {
        const std::string utf8 = Utf16ToUtf8(std::string(pPage, cbPage));
        return FindFolderReferences(utf8.data(), utf8.size(), folder);
    }
    const int32_t cb = int32_t(cbPage > INT32_MAX ? INT32_MAX : cbPage);
    const char* const end = pPage + cb;
    ReferenceReader reader(DetectPageCharset(pPage, cb), folder);
    const PageBase base = FindPageBase(pPage, cb);
    std::vector<FolderReference> refs;
    if (base.pHref && !reader.SetBase(base.pHref, base.cbHref))
        return refs; // every relative reference is the web's
    const char* p = pPage;
    const char* name;
    int32_t cbName;
    while (NextStartTag(&p, end, &name, &cbName)) {
        // The <base> itself names no file to open.
        const bool bBase = EqualsNoCase(name, cbName, "base");
        MarkupAttribute a;
        while (NextMarkupAttribute(&p, end, &a)) {
            if (!a.pValue || bBase)
                continue;
            if (EqualsNoCase(a.pName, a.cbName, "srcset"))
                TakeSrcset(reader, a.pValue, a.pValue + a.cbValue, &refs);
            else if (EqualsNoCase(a.pName, a.cbName, "style"))
                TakeUrls(reader, a.pValue, a.pValue + a.cbValue, &refs);
            else
                reader.Take(a.pValue, size_t(a.cbValue), &refs);
        }
        // Elements whose text holds no markup: a style's url( )s are read,
        // the rest passed over.
        for (const char* raw : {"style", "script", "textarea", "title", "xmp"}) {
            if (EqualsNoCase(name, cbName, raw)) {
                const char* close = FindNoCase(p, end, (std::string("</") + raw).c_str());
                if (std::strcmp(raw, "style") == 0)
                    TakeUrls(reader, p, close, &refs);
                p = close;
                break;
            }
        }
    }
    return refs;
}

PageAudit AuditPageFile(const std::string& path) {
    PageAudit audit;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (IsWebArchiveName(name.c_str())) {
        audit.skipped = "a web archive (.mhtml), not a page";
        return audit;
    }
    FolderNames names;
    const std::string stem = name.substr(0, size_t(FindExtension(name.c_str()) - name.c_str()));
    audit.folder = FindPageFolder(dir, stem, &names);

    // O_NONBLOCK: a FIFO does not wait for a writer; it is no regular file.
    const int flags = O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
    FileDescriptor file(open(path.c_str(), flags | O_NOATIME));
    if (file.Get() < 0 && errno == EPERM)
        file.Reset(open(path.c_str(), flags));
    struct stat st;
    if (file.Get() < 0 || fstat(file.Get(), &st) != 0)
        audit.skipped = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        audit.skipped = "not a regular file";
    else if (st.st_size >= INT_MAX)
        audit.skipped = "too large";
    std::string page(audit.skipped.empty() ? size_t(st.st_size) : 0, '\0');
    if (audit.skipped.empty() && !ReadWhole(file.Get(), &page[0], page.size()))
        audit.skipped = "read failed";
    if (!audit.skipped.empty()) {
        audit.bFailed = true;
        return audit;
    }
    if (!IsUtf16(page.data(), page.size()) && page.find('\0') != std::string::npos) {
        audit.skipped = "holds a zero byte";
        return audit;
    }
    for (const FolderReference& ref :
         FindFolderReferences(page.data(), page.size(), audit.folder)) {
        ++audit.cReferences;
        std::string onDisk;
        switch (names.Open(dir, ref.path, &onDisk)) {
        case FolderNames::Opens::No:
            audit.missing.push_back(ref.text);
            break;
        case FolderNames::Opens::IgnoringCase:
            audit.caseBlind.emplace_back(ref.text, onDisk);
            break;
        case FolderNames::Opens::AsWritten:
            break;
        }
    }
    return audit;
}
