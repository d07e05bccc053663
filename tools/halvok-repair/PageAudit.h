// The audit behind halvok-repair --check: the references of a saved page
// into its folder, read as a browser on a Russian Windows reads them (bytes
// in, names out), and the page's file looked at that way, changing nothing.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct FolderReference {
    std::string text; // as the page writes it, in UTF-8: its letters read in its charset
    std::string path; // the file a browser opens, relative to the folder that holds the page
};

// The page's references into the folder named folder (its name on disk,
// UTF-8), in the order they stand in the page, in time linear in the page's
// size; a page in UTF-16 (with a byte-order mark) is read in UTF-16. A
// reference is the value of an attribute of a tag (quoted or not;
// each address of a srcset) or a url( ) of a style attribute or a <style>
// element; text, comments and scripts hold none. It is read as a browser
// reads it (repair/ReferenceReading.h gives the charset and the <base>):
// the page's letters in its charset, every character reference decoded,
// blanks around it dropped, then, when it has no scheme or host, its
// fragment and query cut, backslashes taken as slashes, and the relative
// <base> put before it (under a <base> with a scheme or host nothing leads
// into the folder); dot segments resolved. Every %XX escape is decoded
// (either case of hex digits). It leads into the folder when its first name
// is the folder's, ignoring letter case, with each run of escapes read as
// UTF-8 where it spells that, else as Windows-1251 (the reading the repair
// writes). The file a browser opens is read from the whole path's bytes:
// as UTF-8 when all of them form UTF-8, else as Windows-1251, as a browser
// on Windows turns a file address into a path.
std::vector<FolderReference> FindFolderReferences(const char* pPage, size_t cbPage,
                                                  const std::string& folder);

// What the audit of one page found.
struct PageAudit {
    std::string folder;               // the folder's name, as on disk
    std::vector<std::string> missing; // the references (as written, in UTF-8) that open no file
    // The references that open only where names ignore letter case (as
    // Windows opens them), each with the path of its file as on disk.
    std::vector<std::pair<std::string, std::string>> caseBlind;
    size_t cReferences = 0; // references into the folder
    std::string skipped;    // why the page was not checked; empty when it was
    bool bFailed = false;   // skipped for a failure: the page could not be read
};

// Reads the page at path (changing nothing, not even its access time where
// the system allows), finds its folder as the repair does but ignoring
// letter case as Windows does, and looks for the file of each reference
// into it: a reference opens when its file exists and is not a folder,
// each name in its path matched as it is or else ignoring letter case. A
// page in UTF-16 is read in UTF-16; one that holds a zero byte otherwise, and a web archive
// (.mhtml), are skipped as handled; one that cannot be read, as a failure.
PageAudit AuditPageFile(const std::string& path);
