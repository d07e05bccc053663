// The About box: the program's icon, its notice and an OK button. It has no
// behaviour of its own.
#pragma once

#include "fw/Dialog.h"

class CAboutDlg : public CDialog {
  public:
    explicit CAboutDlg(HWND hParent = nullptr);

  protected:
    void DoDataExchange() override {}
};
