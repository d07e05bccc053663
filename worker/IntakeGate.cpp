// The intake gate: a manual-reset event, signalled while the gate is open.
// Closes nest: the gate opens again when the last close has been matched.
#include "worker/IntakeGate.h"

#include <windows.h>

namespace {

class Gate {
  public:
    Gate() : m_hOpen(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}
    ~Gate() {
        if (m_hOpen)
            CloseHandle(m_hOpen);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    void Close() {
        if (++m_nCloses == 1)
            ResetEvent(m_hOpen);
    }
    void Open() {
        if (m_nCloses > 0 && --m_nCloses == 0)
            SetEvent(m_hOpen);
    }
    // Without an event (creation failed) the gate holds nothing.
    void Wait() const {
        if (m_hOpen)
            WaitForSingleObject(m_hOpen, INFINITE);
    }
    bool IsOpen() const { return !m_hOpen || WaitForSingleObject(m_hOpen, 0) == WAIT_OBJECT_0; }

  private:
    HANDLE m_hOpen;
    int m_nCloses = 0; // main thread only
};

// Made on first use, from whichever thread comes first.
Gate& TheGate() {
    static Gate gate;
    return gate;
}

} // namespace

void IntakeGateClose() {
    TheGate().Close();
}

void IntakeGateOpen() {
    TheGate().Open();
}

void IntakeGateWait() {
    TheGate().Wait();
}

bool IntakeGateIsOpen() {
    return TheGate().IsOpen();
}
