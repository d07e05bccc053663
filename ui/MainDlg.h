// The main dialog: the list of result lines, the two action check boxes, the
// intake of dropped and command-line paths, and the results display.
#pragma once

#include <windows.h>
#include <shellapi.h> // HDROP

#include "fw/Dialog.h"
#include "fw/ListBox.h"
#include "worker/WrkDefs.h"

class CMainDlg : public CDialog {
  public:
    explicit CMainDlg(HWND hParent = nullptr);

    // Intake (Intake.cpp), main thread only.
    void OnDropFiles(HDROP hDropInfo);
    void AddCmdLine();
    // A job for a page (nStatus STATUS_OK), or for an input the intake could
    // not take (pszPath is then the name its line shows); null when memory
    // ran out or the path does not fit the job.
    WrkJob* MakeJob(const wchar_t* pszPath, int32_t nStatus = STATUS_OK);
    static void OnIntakeItem(const wchar_t* pszPathOrName, int32_t nStatus, void* pDlg);
    // Jobs that the worker's full queue refused wait in order, counted in
    // g_nPending. Each result hands as many over as the queue takes; those
    // still waiting when the window goes are freed unprocessed.
    void PostWaitingJobs();
    void FreeWaitingJobs();

    CListBox m_wndList;
    HICON m_hIcon;
    // The width of the widest line in the list, in pixels of its font: the
    // list scrolls sideways that far (Results.cpp).
    int m_cxWidestLine = 0;
    void AddLine(const wchar_t* pszLine);
    void ClearLines(); // empties the list, and its sideways scroll with it

  protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override; // Results.cpp
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override;

    bool OnSysCommand(UINT nID, LPARAM lParam); // false: default handling
    bool OnPaint();                             // false: default painting
    HICON OnQueryDragIcon() { return m_hIcon; }
    void OnDestroy();
};
