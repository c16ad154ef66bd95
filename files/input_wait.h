// Waiting for a live input (a pipe, a FIFO, a terminal) without losing sight of everything else.
// In: a descriptor and the caller's hook. Out: true once the descriptor has something to read
// (or has ended or failed: the read then tells), false when the hook says stop waiting.
//
// The hook runs before the wait starts and every IdleWaitMs while it goes on, so a caller can
// hand on what it has, notice time passing (a stalled input), keys, or a request to stop.
#pragma once

#include <functional>

using WaitHook = std::function<bool()>;  // false: stop waiting, the input ends here

bool WaitForInput(int descriptor, const WaitHook& waiting);
