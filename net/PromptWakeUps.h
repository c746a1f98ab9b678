#pragma once

// Asks the scheduler to run the calling thread promptly when it is woken: a burst of answers
// fills a stock receive buffer in about 6 ms, yet a woken thread may wait that long for a core
// while others run out their time slices. Best effort: where the system has no such request, or
// refuses it, nothing changes.
void AskForPromptWakeUps();
