#include "ConsoleOutput.h"

#include <windows.h>

#include <cstdio>

void AttachToParentConsole()
{
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE)
        return; // redirected by the caller: write there
    if (AttachConsole(ATTACH_PARENT_PROCESS))
        (void)std::freopen("CONOUT$", "w", stdout);
}
