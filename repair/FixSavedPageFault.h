// Test seam of FixSavedPage: makes one step of the next write-back fail, so
// that tests can prove the page keeps its original bytes.
#pragma once

enum class PageWriteFault {
    None,
    Seek,       // positioning to the start fails
    ShortWrite, // half of the new text is written, then the write fails
    Cut,        // the new text is written whole, cutting the file fails
};

// Arms the fault for the next write-back of FixSavedPage (in any thread);
// it is disarmed when taken. The restore of the original bytes is never
// made to fail.
void SetPageWriteFault(PageWriteFault fault);
