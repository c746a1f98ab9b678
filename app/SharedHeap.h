#pragma once

// Answers are read on the receiving thread and freed on the window's once listed. glibc gives
// each thread a heap of its own, and the window's thread cannot reuse what the receiving
// thread's heap held: at 65,000 devices answering at once that was some 20 MB more at the peak.
// With one heap for every thread, the list grows into the room the listed answers leave.
// Call before any thread starts; elsewhere than glibc it does nothing.
void ShareOneHeapAmongThreads();
