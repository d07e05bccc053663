// halvok-repair PATH...: repairs saved pages on Linux with the same rewrite
// as the Windows program, taking folders the way its intake does, and says
// for each page what became of it.
#include "tools/halvok-repair/PageFolder.h"
#include "tools/halvok-repair/PageRepairer.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

const char kUsage[] = "usage: halvok-repair [-n] PATH...\n";

const char kHelp[] =
    "Repairs the percent-escaped references of saved web pages: a reference into\n"
    "a page's \"_files\" folder becomes the literal name, in the page's charset.\n"
    "\n"
    "A PATH that is a folder stands for its pages, one level deep: the entries\n"
    "that are not folders (links followed) and whose extension (from the last\n"
    "\".\" of the name; none when a space or a backslash follows it) holds \"htm\"\n"
    "or \"HTM\": .htm, .html, .shtml, .HTM, but not .Htm or .mht. They are taken\n"
    "in the byte order of their names. Sub-folders, a page's own \"_files\"\n"
    "folder among them, are never entered. Any other PATH is repaired whatever\n"
    "its name.\n"
    "\n"
    "A page is replaced whole or not at all: the new page is written to a new\n"
    "file in the page's folder, which takes the page's owner, mode and extended\n"
    "attributes and is then renamed over it, so that a run stopped at any\n"
    "instant leaves each page either as it was or repaired (this covers the\n"
    "program's end, not a crash of the system: nothing is flushed to the disk).\n"
    "The new file has no name until then where the file system allows, else a\n"
    "hidden one (.halvok-*.tmp) that only a kill -9 can leave behind. A page\n"
    "with more than one hard link (a rename would part it from its other\n"
    "names), and a page whose folder takes no new file or whose owner or\n"
    "attributes cannot be given to one, is rewritten in place instead; should\n"
    "that write fail, the original bytes are written back. Ctrl-C and other\n"
    "stopping signals wait until the page at hand is whole. A page locked by\n"
    "another program (flock) is skipped.\n"
    "\n"
    "One line per page: its path, then \"rewritten\", \"unchanged\" or\n"
    "\"skipped: REASON\" (a locked, missing, unreadable or unwritable page, one\n"
    "that holds a zero byte, a write that failed).\n"
    "\n"
    "  -n, --dry-run  write nothing, not even access times where the system\n"
    "                 allows; a page that would change gives \"rewritten: N\n"
    "                 references\", the number of references it would repair\n"
    "  -h, --help     show this text\n"
    "  --             the arguments after it are paths, even if they begin with -\n"
    "\n"
    "Exit status: 0 once every PATH has been handled, whatever became of each\n"
    "page; with --dry-run, 0 when no page would change and 1 when some page\n"
    "would; 2 on a usage error (no PATH, an unknown option).\n";

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "halvok-repair: %s\n%sTry 'halvok-repair --help'.\n", problem.c_str(),
                 kUsage);
    return 2;
}

void Report(const std::string& path, const std::string& outcome) {
    std::printf("%s %s\n", path.c_str(), outcome.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool bDryRun = false, bHelp = false, bOptions = true;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!bOptions || arg[0] != '-' || arg[1] == '\0') {
            paths.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(arg, "-n") == 0 || std::strcmp(arg, "--dry-run") == 0) {
            bDryRun = true;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            bHelp = true;
        } else {
            return UsageError(std::string("unknown option ") + arg);
        }
    }
    if (bHelp) {
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    }
    if (paths.empty())
        return UsageError("no PATH given");

    // A write beyond the file-size limit must fail with EFBIG, so that the
    // page can be kept or restored, rather than end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    PageRepairer repairer(bDryRun);
    bool bAnyChange = false;
    const auto repair = [&](const std::string& page) {
        bool bWouldChange = false;
        Report(page, repairer.Repair(page.c_str(), &bWouldChange));
        bAnyChange = bAnyChange || bWouldChange;
    };
    for (const std::string& path : paths) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            repair(path);
            continue;
        }
        int err;
        const std::vector<std::string> pages = ListFolderPages(path, &err);
        if (err != 0)
            Report(path, std::string("skipped: ") + std::strerror(err));
        for (const std::string& page : pages)
            repair(page);
    }
    // Only a dry run sees changes coming; a run that writes ends with 0.
    return bAnyChange ? 1 : 0;
}
