#include "CCorvaneApp.h"

#include "CCorvaneDlg.h"

bool CCorvaneApp::InitInstance()
{
    CCorvaneDlg dlg;
    dlg.exec(); // how the dialog ended does not matter: nothing is kept between runs
    return false;
}
