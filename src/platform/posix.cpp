// The platform seam on POSIX systems: Linux, macOS, the BSDs, and WASI for
// the playground's module (which reaches only the files in memory, the
// identities and the terminal test, and lacks signals, processes and
// owners). Only calls of POSIX, but for the memory streams, which take each
// C library's own way.
#if !defined(_WIN32)

#if defined(__linux__) && !defined(_GNU_SOURCE)
#define _GNU_SOURCE // fopencookie
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#if !defined(__wasi__) // WASI has no signals
#include <csignal>
#endif

#include "platform/file_identity.hpp"
#include "platform/platform.hpp"

namespace platform {

// --- The process ---

void utf8_arguments(int argc, char** argv, Arguments& arguments) {
    arguments.count = argc;
    arguments.values = argv;
}

void use_binary_standard_streams() {}

void fail_writes_past_size_limit() {
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void fail_writes_to_closed_pipes() {
#if defined(SIGPIPE)
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

// --- Files by path ---

std::FILE* open_file(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

bool is_terminal(std::FILE* stream) {
    int descriptor = fileno(stream);
    return descriptor >= 0 && isatty(descriptor);
}

// --- Files in memory ---

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

#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
int read_memory_bsd(void* cookie, char* buffer, int size) {
    return static_cast<int>(read_memory(cookie, buffer, static_cast<std::size_t>(size)));
}
#endif

} // namespace

std::FILE* open_memory_reader(MemoryReader& reader) {
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    return funopen(&reader, read_memory_bsd, nullptr, nullptr, close_memory);
#else
    return fopencookie(&reader, "r", {read_memory, nullptr, nullptr, close_memory});
#endif
}

// --- Reading a file through a descriptor ---

int open_for_reading(const char* path, bool nonblocking) {
    return open(path, O_RDONLY | O_CLOEXEC | (nonblocking ? O_NONBLOCK : 0));
}

std::ptrdiff_t read_some(int descriptor, void* buffer, std::size_t size) {
    return read(descriptor, buffer, size);
}

void close_descriptor(int descriptor) {
    close(descriptor);
}

bool regular_file_size(int descriptor, std::uint64_t& size) {
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0)
        return false;
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

// --- Replacing a file ---

namespace {

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string(".");
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's number, which tells apart the files of two runs at once.
// WASI has no processes: its module runs alone in its page.
long process_number() {
#if defined(__wasi__)
    return 0;
#else
    return static_cast<long>(getpid());
#endif
}

// A new file beside the target; its descriptor, or -1.
int create_temporary(const std::string& target, std::string& temporary) {
    // Short enough for any file system's limit on a name.
    std::string stem = directory_of(target) + "/." + name_of(target).substr(0, 160) + ".orvasm-" +
                       std::to_string(process_number()) + "-";
    for (int attempt = 0; attempt < 100; attempt++) {
        temporary = stem + std::to_string(attempt);
        int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

// Gives the new file the old one's permission bits and owner (WASI, for
// the playground, has neither, and never replaces a file).
void take_over([[maybe_unused]] int descriptor, [[maybe_unused]] const ReplacedFile& replaced) {
#if !defined(__wasi__)
    fchmod(descriptor, static_cast<mode_t>(replaced.mode));
    // Only a privileged user can give the new file to the old one's
    // owner; for anyone else it is theirs already, or stays theirs.
    if (replaced.user != geteuid() || replaced.group != getegid()) {
        [[maybe_unused]] int owned = fchown(descriptor, replaced.user, replaced.group);
    }
#endif
}

} // namespace

std::string follow_links(const char* path) {
    std::string target = path;
    for (int hops = 0; hops < 40; hops++) {
        char link[PATH_MAX];
        ssize_t length = readlink(target.c_str(), link, sizeof link - 1);
        if (length < 0) return target;
        std::string next(link, static_cast<std::size_t>(length));
        std::size_t slash = target.rfind('/');
        if (next[0] != '/' && slash != std::string::npos) next = target.substr(0, slash + 1) + next;
        target = next;
    }
    return {};
}

ReplacedFile look_up(const char* path) {
    ReplacedFile file;
    struct stat existing;
    if (stat(path, &existing) != 0) return file;
    file.exists = true;
    file.regular = S_ISREG(existing.st_mode);
    file.mode = static_cast<std::uint32_t>(existing.st_mode & 07777);
    file.user = static_cast<std::uint32_t>(existing.st_uid);
    file.group = static_cast<std::uint32_t>(existing.st_gid);
    return file;
}

bool may_write(const char* path) {
    int probe = open(path, O_WRONLY | O_CLOEXEC);
    if (probe < 0) return false;
    close(probe);
    return true;
}

std::FILE* create_beside(const std::string& target, const ReplacedFile& replaced,
                         std::string& temporary) {
    int descriptor = create_temporary(target, temporary);
    if (descriptor < 0) return nullptr;
    if (replaced.exists) take_over(descriptor, replaced);
    std::FILE* stream = fdopen(descriptor, "wb");
    if (stream) return stream;
    close(descriptor);
    unlink(temporary.c_str());
    return nullptr;
}

bool replace_file(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void remove_file(const std::string& path) {
    unlink(path.c_str());
}

} // namespace platform

// --- Identities (platform/file_identity.hpp) ---
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

#endif
