// Records and constants shared by the main thread and the worker: the job
// and result records that travel by posted message, the status values and
// the worker's thread commands.
#pragma once

#include <cstdint>

// A job: made by the intake with malloc, posted to the worker, freed there.
// Paths and names are UTF-16, as the system's wide functions take them.
struct WrkJob {
    wchar_t szPath[1024]; // the page's full path; rewritten by the rename
    int32_t bArchive;     // 1 when the archive box was checked
    int32_t bFixHtml;     // 1 when the repair box was checked
    // STATUS_OK for a page. Otherwise the intake could not take the input
    // (a path too long, a pattern, a name or folder the system refuses):
    // szPath holds the name its line shows, and nothing is done but the line.
    int32_t nStatus;
};

// A job's outcome: allocated zero-filled by the worker, freed by the window
// (or by the worker when the window is gone).
struct WrkResult {
    int32_t nStatus;
    wchar_t szName[1028]; // file-name part of the page's path after any rename
};

enum : int32_t {
    STATUS_OK = 0,
    STATUS_NO_ARCHIVER = -1,  // the archiver could not be started
    STATUS_NO_ACTION = -2,    // neither repair nor archiving asked
    // The repair was asked and did not happen: the page is missing, held by
    // another program, read-only, unreadable, or its write-back failed. Far
    // from the exit codes archivers use, since both share the status field.
    STATUS_NOT_REPAIRED = -1000,
    // The page's path holds "*" or "?", which an archiver would take as a
    // pattern: it was not handed to the archiver.
    STATUS_WILDCARD_NAME = -1001,
    // Inputs the intake could not take, each with a line that says why: a
    // path longer than a job holds (1023 characters), a name the file
    // system refuses, a folder whose entries cannot be read.
    STATUS_PATH_TOO_LONG = -1002,
    STATUS_NAME_REFUSED = -1003,
    STATUS_FOLDER_UNREADABLE = -1004,
};

// Thread commands: WM_COMMAND thread messages, the command in wParam.
enum : uint32_t {
    WRK_CMD_JOB = 1,    // lParam: a WrkJob
    WRK_CMD_QUIT = 2,   // end the worker's message loop
    WRK_CMD_NUDGE = 6,  // posted once at start-up; ignored
};

// Done notification: WM_COMMAND to the main window, lParam a WrkResult.
constexpr uint32_t ID_JOB_DONE = 24987;  // 0x619B
