#include "ConsoleOutput.h"

void AttachToParentConsole() {}
