#pragma once

#include <cstdint>
#include <functional>

// A 32-bit millisecond tick count that wraps, as the pause is specified on one.
uint32_t tickCount();

// Waits the given milliseconds while the window goes on handling events. A tick count that
// went backwards (it wrapped past the largest signed value) ends the wait too. tick is for
// tests that need to steer the clock.
void PumpWait(int32_t milliseconds, const std::function<uint32_t()>& tick = tickCount);
