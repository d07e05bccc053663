// The gate that holds the worker while the main thread queues a batch.
// The main thread closes it before the first path of a batch and opens it
// after the last post; the worker waits at it before it starts each job, so
// a batch is started only once it is queued whole. A job already under way
// finishes. Unlike suspending the thread, the gate never stops the worker
// inside a lock that the intake itself needs.
#pragma once

void IntakeGateClose();  // main thread
void IntakeGateOpen();   // main thread; every close is matched by one open
void IntakeGateWait();   // worker thread, between jobs
bool IntakeGateIsOpen();
