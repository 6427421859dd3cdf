#pragma once

#include <cstddef>

namespace PowerCore {

// Asks the kernel to back the whole pages of [begin, begin + bytes) with memory now, in huge
// pages where it has them. A large fresh buffer faulted in one page at a time as it is first
// written costs several times more; with the advice refused (an old kernel) the buffer is
// faulted in as usual. Nothing in the range is read or written.
void prefaultForWriting(void* begin, std::size_t bytes);

} // namespace PowerCore
