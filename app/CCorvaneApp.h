#pragma once

// The application: prepares the process and runs the main window as a modal dialog; the
// dialog's loop is the program's whole life.
class CCorvaneApp final
{
public:
    // Runs the main dialog to its end. Returns false, as there is nothing to run after it.
    bool InitInstance();
};
