#include "PromptWakeUps.h"

// Windows boosts a thread's priority when the wait it sleeps in ends, and the receive thread
// already runs at the highest normal priority: there is nothing more to ask for.
void AskForPromptWakeUps() {}
