// Repairs one saved page in place: its percent-escaped references into the
// "_files" folder are rewritten as literal names (see PageRewrite.h).
#pragma once

// pszPath: the page's full ANSI path. The page is opened for reading and
// writing with no sharing, read whole, rewritten and written back from its
// start, and cut where the new text ends. Nothing is reported: a page that
// cannot be opened (missing, read-only, held open by another program) or
// read, that holds a zero byte, or that does not fit in memory, is left
// untouched. When writing back fails part-way, the original bytes are
// written back and the file is cut to its original size.
void FixSavedPage(const char* pszPath);
