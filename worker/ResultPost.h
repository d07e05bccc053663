// The hand-over of finished jobs' results from the worker to the main window.
// A result posted to the window belongs to it; one the window can no longer
// receive is freed by the worker. The window's closing and the worker's post
// exclude each other, so that no result is left in the queue of a window
// that is going away (the system drops such messages without freeing them).
#pragma once

#include <windows.h>

struct WrkResult;

// Worker thread: posts the result to g_hMainWnd as ID_JOB_DONE, or frees it
// (through g_pfnWrkRecordFree) when the window is gone or closing, or the
// post is refused.
void DeliverResult(WrkResult* pResult);

// Main thread, when the main window is destroyed: no result is posted to it
// from now on, and those already in its queue are freed.
void StopResultDelivery(HWND hWnd);
