// Files as the library serves them to the core: the resolver's bytes through
// a memory stream, or the file system. The core reads both as streams.
#include <cerrno>

#include "library/result.hpp"
#include "platform/platform.hpp"

std::FILE* open_memory(orvasm_result& result, const unsigned char* data, std::size_t size) {
    // Defensive, includes nest less deep than there are readers: not counted.
    for (MemoryReader& reader : result.readers) { // GCOVR_EXCL_BR_LINE
        if (reader.in_use) continue;
        reader = {data, data ? size : 0, 0, true};
        std::FILE* stream = platform::open_memory_reader(reader);
        if (!stream) reader.in_use = false; // GCOVR_EXCL_BR_LINE: memory ran out
        return stream;
    }
    return nullptr;
}

std::FILE* open_for_result(const char* path, void* context) {
    orvasm_result& result = *static_cast<orvasm_result*>(context);
    if (!result.resolver) return platform::open_file(path, "rb");
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    int answer = result.resolver(result.resolver_context, path, &data, &size);
    if (answer == ORVASM_USE_FILE_SYSTEM) return platform::open_file(path, "rb");
    // The system gives no reason for what a resolver serves or refuses.
    errno = 0;
    if (answer != ORVASM_FOUND || (!data && size > 0)) return nullptr;
    std::FILE* stream = open_memory(result, data, size);
    errno = 0;
    return stream;
}
