#include <PowerCore/linux/Prefault.hpp>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace PowerCore {

void prefaultForWriting(void* begin, std::size_t bytes) {
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto first = (std::uintptr_t(begin) + page - 1) / page * page;
    const auto end = (std::uintptr_t(begin) + bytes) / page * page;
    if (end <= first) return;
    auto* const start = reinterpret_cast<void*>(first);
    ::madvise(start, end - first, MADV_HUGEPAGE);
    ::madvise(start, end - first, MADV_POPULATE_WRITE);
}

} // namespace PowerCore
