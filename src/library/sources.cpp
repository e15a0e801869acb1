// Files as the library serves them to the core: the resolver's bytes through
// a memory stream, or the file system. The core reads both as streams.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE // fopencookie
#endif
#include <sys/types.h>

#include <cerrno>
#include <cstring>

#include "library/result.hpp"

namespace {

ssize_t read_memory(void* cookie, char* buffer, std::size_t size) {
    MemoryReader& reader = *static_cast<MemoryReader*>(cookie);
    std::size_t left = reader.size - reader.position;
    std::size_t count = size < left ? size : left;
    if (count > 0) std::memcpy(buffer, reader.data + reader.position, count);
    reader.position += count;
    return static_cast<ssize_t>(count);
}

int close_memory(void* cookie) {
    static_cast<MemoryReader*>(cookie)->in_use = false;
    return 0;
}

} // namespace

std::FILE* open_memory(orvasm_result& result, const unsigned char* data, std::size_t size) {
    for (MemoryReader& reader : result.readers) {
        if (reader.in_use) continue;
        reader = {data, data ? size : 0, 0, true};
        std::FILE* stream =
            fopencookie(&reader, "r", {read_memory, nullptr, nullptr, close_memory});
        if (!stream) reader.in_use = false;
        return stream;
    }
    return nullptr;
}

std::FILE* open_for_result(const char* path, void* context) {
    orvasm_result& result = *static_cast<orvasm_result*>(context);
    if (!result.resolver) return std::fopen(path, "r");
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    int answer = result.resolver(result.resolver_context, path, &data, &size);
    if (answer == ORVASM_USE_FILE_SYSTEM) return std::fopen(path, "r");
    // The system gives no reason for what a resolver serves or refuses.
    errno = 0;
    if (answer != ORVASM_FOUND || (!data && size > 0)) return nullptr;
    std::FILE* stream = open_memory(result, data, size);
    errno = 0;
    return stream;
}
