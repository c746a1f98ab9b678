#pragma once

// Lets what the program writes to standard output reach the console it was started from. A
// Windows program without a console window of its own (corvane.exe) has no standard output
// unless the caller redirected it; elsewhere standard output is always there.
void AttachToParentConsole();
