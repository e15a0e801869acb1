#include "common/file_identity.hpp"

#include <sys/stat.h>

// (std::filesystem would do the same, at the cost of most of a static binary.)
static FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

bool identify_path(const char* path, FileIdentity& identity) {
    struct stat status;
    if (stat(path, &status) != 0) return false;
    identity = identity_of(status);
    return true;
}

bool identify_stream(std::FILE* stream, FileIdentity& identity) {
    int descriptor = fileno(stream);
    struct stat status;
    if (descriptor < 0 || fstat(descriptor, &status) != 0) return false;
    identity = identity_of(status);
    return true;
}
