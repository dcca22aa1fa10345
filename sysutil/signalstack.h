#pragma once
// A fault handler runs on the faulting thread's stack unless that thread has
// an alternate signal stack; after a stack overflow there is no room left, so
// the crash hand-off could not run. Every thread the program starts calls
// ensureAlternateSignalStack() first; the stack is released when the thread
// ends. Threads started inside Qt or the web engine are not covered.

#include <cstddef>

namespace sysutil {

// Usable bytes of each thread's alternate stack (a guard page sits below).
constexpr std::size_t kAlternateSignalStackBytes = 64 * 1024;

// Gives the calling thread an alternate signal stack unless it has one.
// Returns false only when no stack could be set up.
bool ensureAlternateSignalStack();

}  // namespace sysutil
