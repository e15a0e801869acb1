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
#include <cstdlib>
#include <cstring>
#include <iterator>
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

long process_number() {
#if defined(__wasi__) // no processes: the module runs alone in its page
    return 0;
#else
    return static_cast<long>(getpid());
#endif
}

std::string working_directory() {
    // Allocated by getcwd, as long as the path is: a frame of PATH_MAX would
    // not fit a small stack.
    char* directory = getcwd(nullptr, 0);
    std::string text = directory ? directory : "";
    std::free(directory);
    return text;
}

namespace {

// The C library's strerror_r comes in two kinds: GNU's returns the text,
// POSIX's fills the buffer and returns 0.
[[maybe_unused]] const char* reason_text(int result, const char* buffer) {
    return result == 0 ? buffer : ""; // GCOVR_EXCL_BR_LINE: the other kind's, not GNU's
}
[[maybe_unused]] const char* reason_text(const char* result, const char*) {
    return result;
}

} // namespace

const char* system_reason(int error, char* buffer, std::size_t size) {
    buffer[0] = '\0';
    return reason_text(strerror_r(error, buffer, size), buffer);
}

// --- Interruptions ---

#if defined(__wasi__)
void on_interruption(void (*)(int)) {}
void end_as_interrupted(int) {}
unsigned hold_interruptions() {
    return 0;
}
void release_interruptions(unsigned) {}
#else

namespace {

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

void on_interruption(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESETHAND;
    sigfillset(&action.sa_mask);
    for (int signal : INTERRUPTIONS) {
        struct sigaction before = {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

void end_as_interrupted(int signal) {
    raise(signal);
}

// Bit i of the value stands for INTERRUPTIONS[i] held here and not before.
unsigned hold_interruptions() {
    sigset_t held;
    sigset_t before;
    sigemptyset(&held);
    for (int signal : INTERRUPTIONS) sigaddset(&held, signal);
    // GCOVR_EXCL_BR_START: it fails only for a request other than these
    if (sigprocmask(SIG_BLOCK, &held, &before) != 0) return 0;
    // GCOVR_EXCL_BR_STOP
    unsigned bits = 0;
    for (unsigned i = 0; i < std::size(INTERRUPTIONS); i++)
        if (sigismember(&before, INTERRUPTIONS[i]) == 0) bits |= 1u << i;
    return bits;
}

void release_interruptions(unsigned held) {
    sigset_t released;
    sigemptyset(&released);
    for (unsigned i = 0; i < std::size(INTERRUPTIONS); i++)
        if (held & (1u << i)) sigaddset(&released, INTERRUPTIONS[i]);
    sigprocmask(SIG_UNBLOCK, &released, nullptr);
}

#endif

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

// Gives the new file the old one's owner, then its permission bits: a
// change of owner clears the set-user-ID and set-group-ID bits (WASI, for
// the playground, has neither, and never replaces a file).
void take_over([[maybe_unused]] int descriptor, [[maybe_unused]] const ReplacedFile& replaced) {
#if !defined(__wasi__)
    // Only a privileged user can give the new file to the old one's
    // owner; for anyone else it is theirs already, or stays theirs.
    if (replaced.user != geteuid() || replaced.group != getegid()) {
        [[maybe_unused]] int owned = fchown(descriptor, replaced.user, replaced.group);
    }
    fchmod(descriptor, static_cast<mode_t>(replaced.mode));
#endif
}

} // namespace

std::string follow_links(const char* path) {
    std::string target = path;
    std::string link(PATH_MAX, '\0'); // on the heap: the stack stays small
    for (int hops = 0; hops < 40; hops++) {
        ssize_t length = readlink(target.c_str(), link.data(), link.size() - 1);
        if (length < 0) return target;
        std::string next(link.data(), static_cast<std::size_t>(length));
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

int create_new_file(const char* path, std::uint32_t mode) {
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
}

std::FILE* stream_of_new_file(int descriptor, const ReplacedFile& replaced) {
    if (replaced.exists) take_over(descriptor, replaced);
    std::FILE* stream = fdopen(descriptor, "wb");
    if (!stream) close(descriptor); // GCOVR_EXCL_BR_LINE: fails only when memory ran out
    return stream;
}

int rename_file(const char* from, const char* to) {
    return rename(from, to);
}

bool copy_over(const char* from_path, const char* to_path) {
    int from = open(from_path, O_RDONLY | O_CLOEXEC);
    // The old file is emptied only once there is something to copy.
    int to = from >= 0 ? open(to_path, O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
    bool copied = from >= 0 && to >= 0;
    char block[2048];
    for (ssize_t got; copied && (got = read(from, block, sizeof block)) != 0;) {
        copied = got > 0;
        for (ssize_t put = 0, done = 0; copied && done < got; done += put) {
            put = write(to, block + done, static_cast<std::size_t>(got - done));
            copied = put > 0;
        }
    }
    if (from >= 0) close(from);
    if (to >= 0 && close(to) != 0) copied = false;
    return copied;
}

void remove_file(const char* path) {
    unlink(path);
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
