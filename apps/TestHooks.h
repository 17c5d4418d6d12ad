#pragma once

#include <chrono>

// Two hooks for the end-to-end tests, both inert unless their variable is set.

// QUILLMOOR_START_FD=N: writes one line to descriptor N and closes it, so a
// test can time signals from the moment main began.
void signalStartToTest();

// QUILLMOOR_FRAME_DELAY_MS=N: every frame takes N ms longer, so a test can
// see how the saver behaves when frames run late.
std::chrono::milliseconds testFrameDelay();
