// The audit behind halvok-repair --check: the references of a saved page
// into its folder, resolved as a browser resolves them (bytes in, names
// out), and the page's file looked at that way, changing nothing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct FolderReference {
    std::string text; // as the page writes it, in UTF-8: its letters read in its charset
    std::string path; // the file it names, relative to the page's folder on disk
};

// The page's references into the folder named folder (its name on disk,
// UTF-8), in the order they stand in the page. A reference is the value of
// an attribute (quoted or not; each address of a srcset) or of a url( ) in a
// style: the character references &amp; &quot; &apos; &lt; &gt; and &#N; of
// ASCII read, then its fragment and query cut off, backslashes read as
// slashes, the page's own letters read in its charset (KOI8-R, UTF-8; on
// any other page UTF-8 where they form it, else Windows-1251), every %XX escape
// decoded (either case of hex digits), its bytes read as UTF-8 where they
// form it, else as Windows-1251: the system code page of the browser that
// wrote them, by which the repair writes them into the page. It leads into
// the folder when, after any leading "./", it begins with the folder's name
// and a slash.
std::vector<FolderReference> FindFolderReferences(const char* pPage, size_t cbPage,
                                                  const std::string& folder);

// What the audit of one page found.
struct PageAudit {
    std::string folder;               // the folder's name, as on disk
    std::vector<std::string> missing; // the references (as written, in UTF-8) that open no file
    size_t cReferences = 0;           // references into the folder
    std::string skipped;              // why the page was not checked; empty when it was
    bool bFailed = false;             // skipped for a failure: the page could not be read
};

// Reads the page at path (changing nothing, not even its access time where
// the system allows), finds its folder as the repair does, and looks for
// the file of each reference into it: a reference opens when its file
// exists and is not a folder. A page that holds a zero byte, and a web
// archive (.mhtml), are skipped as handled; one that cannot be read, as a
// failure.
PageAudit AuditPageFile(const std::string& path);
