// References of a saved page, as a browser reads and resolves them.
#include "tools/halvok-repair/PageAudit.h"

#include "tools/halvok-repair/PageFolder.h"
#include "tools/halvok-repair/PageFile.h"

#include "repair/Codecs.h"
#include "repair/GrowBuf.h"
#include "repair/PageRewrite.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_' || c == ':';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The character references a browser reads in an attribute, those that
// stand for ASCII; any other "&" stays as it is.
std::string ReadCharacterReferences(const std::string& s) {
    static const struct {
        const char* name;
        char c;
    } kNamed[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        bool bRead = false;
        for (const auto& n : kNamed) {
            if (s.compare(i, std::strlen(n.name), n.name) == 0) {
                out += n.c;
                i += std::strlen(n.name) - 1;
                bRead = true;
                break;
            }
        }
        if (!bRead && i + 2 < s.size() && s[i + 1] == '#') {
            const bool bHex = s[i + 2] == 'x' || s[i + 2] == 'X';
            size_t j = i + (bHex ? 3 : 2);
            long value = 0;
            const size_t first = j;
            while (j < s.size() && value < 0x80) {
                const int d = bHex ? HexDigit(s[j]) : (s[j] >= '0' && s[j] <= '9' ? s[j] - '0' : -1);
                if (d < 0)
                    break;
                value = value * (bHex ? 16 : 10) + d;
                ++j;
            }
            if (j > first && j < s.size() && s[j] == ';' && value > 0 && value < 0x80) {
                out += char(value);
                i = j;
                bRead = true;
            }
        }
        if (!bRead)
            out += '&';
    }
    return out;
}

// The text in Windows-1251 as UTF-8: the repair's own conversion, which
// takes the system code page to be Windows-1251 here.
std::string Cp1251ToUtf8(const std::string& s) {
    const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(s.c_str()));
    return utf8 ? std::string(utf8.get()) : s;
}

// The KOI8-R text in Windows-1251: the inverse of the repair's translation,
// made from it once.
std::string Koi8ToCp1251(const std::string& s) {
    static const struct Inverse {
        char table[256];
        Inverse() {
            for (int b = 0; b < 256; ++b)
                table[b] = char(b);
            for (int b = 255; b >= 1; --b) {
                char sz[2] = {char(b), 0};
                Win1251ToKoi8(sz);
                table[static_cast<unsigned char>(sz[0])] = char(b);
            }
        }
    } inverse;
    std::string out;
    for (const unsigned char b : s)
        out += inverse.table[b];
    return out;
}

bool IsAscii(const std::string& s) {
    for (const unsigned char b : s) {
        if (b >= 0x80)
            return false;
    }
    return true;
}

// Bytes that are well-formed UTF-8 as they are, any other as Windows-1251.
std::string AsUtf8(const std::string& bytes) {
    if (IsAscii(bytes) || IsMultiByteUtf8(bytes.data(), int32_t(bytes.size())))
        return bytes;
    return Cp1251ToUtf8(bytes);
}

// Text of the page, its letters read in the page's charset, in UTF-8.
std::string PageTextUtf8(const std::string& s, PageCharset charset) {
    if (charset == PageCharset::Koi8r)
        return Cp1251ToUtf8(Koi8ToCp1251(s));
    return charset == PageCharset::Utf8 ? s : AsUtf8(s);
}

// The reference as the relative path of the file it names, in UTF-8. The
// page's own letters are read in its charset; the bytes of escapes, as a
// browser on a Russian system reads a file address, as UTF-8 when they are
// that, else in the system's code page (Windows-1251), the rule by which
// the repair writes them into the page.
std::string Resolve(std::string s, PageCharset charset) {
    // Character references first, as a browser reads the attribute: "&#38;"
    // holds a '#' that starts no fragment.
    s = ReadCharacterReferences(s);
    s = s.substr(0, s.find_first_of("#?"));
    for (char& c : s) {
        if (c == '\\')
            c = '/';
    }
    std::string path, run;
    bool bEscapes = false;
    auto flush = [&] {
        path += bEscapes ? AsUtf8(run) : PageTextUtf8(run, charset);
        run.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        int hi = -1, lo = -1;
        const bool bEscape = s[i] == '%' && i + 2 < s.size() && (hi = HexDigit(s[i + 1])) >= 0 &&
                             (lo = HexDigit(s[i + 2])) >= 0;
        if (bEscape != bEscapes) {
            flush();
            bEscapes = bEscape;
        }
        if (bEscape) {
            run += char(hi * 16 + lo);
            i += 2;
        } else {
            run += s[i];
        }
    }
    flush();
    while (path.compare(0, 2, "./") == 0)
        path.erase(0, 2);
    return path;
}

} // namespace

std::vector<FolderReference> FindFolderReferences(const char* pPage, size_t cbPage,
                                                  const std::string& folder) {
    const PageCharset charset =
        DetectPageCharset(pPage, int32_t(cbPage > INT32_MAX ? INT32_MAX : cbPage));
    const std::string prefix = folder + "/";
    std::vector<FolderReference> refs;
    auto take = [&](const std::string& raw) {
        std::string path = Resolve(raw, charset);
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
            refs.push_back({PageTextUtf8(raw, charset), path.substr(prefix.size())});
    };
    size_t i = 0;
    while (i < cbPage) {
        const char c = pPage[i];
        if (c == '=') {
            // The attribute's name, before the "=" and any blanks.
            size_t n = i;
            while (n > 0 && IsBlank(pPage[n - 1]))
                --n;
            size_t nameStart = n;
            while (nameStart > 0 && IsNameChar(pPage[nameStart - 1]))
                --nameStart;
            const std::string name(pPage + nameStart, n - nameStart);
            size_t v = i + 1;
            while (v < cbPage && IsBlank(pPage[v]))
                ++v;
            if (name.empty() || v >= cbPage) {
                ++i;
                continue;
            }
            size_t begin = v, end;
            if (pPage[v] == '"' || pPage[v] == '\'') {
                const void* q = std::memchr(pPage + v + 1, pPage[v], cbPage - v - 1);
                if (!q) {
                    ++i;
                    continue;
                }
                begin = v + 1;
                end = size_t(static_cast<const char*>(q) - pPage);
            } else {
                end = v;
                while (end < cbPage && !IsBlank(pPage[end]) && pPage[end] != '>')
                    ++end;
            }
            const std::string value(pPage + begin, end - begin);
            if (strcasecmp(name.c_str(), "srcset") == 0) {
                // Addresses separated by commas, each followed by its size.
                size_t at = 0;
                while (at < value.size()) {
                    size_t comma = value.find(',', at);
                    if (comma == std::string::npos)
                        comma = value.size();
                    size_t a = at;
                    while (a < comma && IsBlank(value[a]))
                        ++a;
                    size_t b = a;
                    while (b < comma && !IsBlank(value[b]))
                        ++b;
                    if (b > a)
                        take(value.substr(a, b - a));
                    at = comma + 1;
                }
            } else if (!value.empty()) {
                take(value);
            }
            // A style attribute's own url( )s are read next; any other
            // value is passed over whole.
            i = strcasecmp(name.c_str(), "style") == 0 ? begin : end + 1;
            continue;
        }
        if ((c == 'u' || c == 'U') && i + 4 <= cbPage && (pPage[i + 1] | 0x20) == 'r' &&
            (pPage[i + 2] | 0x20) == 'l' && pPage[i + 3] == '(') {
            size_t v = i + 4;
            while (v < cbPage && IsBlank(pPage[v]))
                ++v;
            char close = ')';
            if (v < cbPage && (pPage[v] == '"' || pPage[v] == '\''))
                close = pPage[v++];
            const void* q = std::memchr(pPage + v, close, cbPage - v);
            if (q) {
                size_t end = size_t(static_cast<const char*>(q) - pPage);
                size_t e = end;
                while (close == ')' && e > v && IsBlank(pPage[e - 1]))
                    --e;
                if (e > v)
                    take(std::string(pPage + v, e - v));
                i = end + 1;
                continue;
            }
        }
        ++i;
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
    const char* pszSuffix = FindPageFolderSuffix(path);
    audit.folder = name.substr(0, size_t(FindExtension(name.c_str()) - name.c_str())) + pszSuffix;

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
    if (page.find('\0') != std::string::npos) {
        audit.skipped = "holds a zero byte";
        return audit;
    }
    for (const FolderReference& ref : FindFolderReferences(page.data(), page.size(), audit.folder)) {
        ++audit.cReferences;
        const std::string file = dir + "/" + audit.folder + "/" + ref.path;
        if (stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            audit.missing.push_back(ref.text);
    }
    return audit;
}
