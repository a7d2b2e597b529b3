#pragma once

namespace tavrin {

// Lowers the whole process to the idle class (nice 19); threads created later
// inherit it. Returns false when the system refused.
bool SetProcessIdlePriority();

// Puts the calling thread in the idle scheduling class, so that it only runs
// when nothing else wants the processor. Returns false when refused.
bool SetCurrentThreadIdlePriority();

}  // namespace tavrin
