// What differs between the systems orvasm runs on, behind one interface:
// opening and identifying files, reading them, creating a file beside
// another and putting it in its place, telling a terminal, and the process's
// standard streams and arguments. posix.cpp serves Linux, macOS and the
// other POSIX systems (and WASI, for the playground's module); windows.cpp
// serves Windows. Each compiles to nothing on the other's systems, so both
// are always listed among the sources. They also define identify_path and
// identify_stream (platform/file_identity.hpp). No other file of src/
// includes a header of the system.
//
// Paths are bytes as the command line gave them: on Windows UTF-8, which
// windows.cpp turns into the system's wide characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// --- The process ---

// The arguments of main as UTF-8: argv itself where the system gives
// bytes, the command line's wide characters converted on Windows (kept in
// `texts`, pointed to by `pointers`).
struct Arguments {
    int count = 0;
    char** values = nullptr;
    std::vector<std::string> texts;
    std::vector<char*> pointers;
};
void utf8_arguments(int argc, char** argv, Arguments& arguments);

// Standard input, output and error in binary mode, so that every byte
// written is the byte that arrives (Windows would add a carriage return
// before each line feed). Nothing on POSIX.
void use_binary_standard_streams();

// A file-size limit fails the write that reaches it instead of ending the
// process (POSIX's SIGXFSZ); nothing where there is no such limit.
void fail_writes_past_size_limit();

// A write to a pipe whose reader went away fails instead of ending the
// process (POSIX's SIGPIPE); nothing where no signal is sent.
void fail_writes_to_closed_pipes();

// The process's number, which tells apart the files of two runs at once
// (0 where there are no processes, as in WASI).
long process_number();

// The directory the process runs in; empty when it cannot be told.
std::string working_directory();

// The system's text for `error` ("No such file or directory"), written into
// `buffer`; empty when the system has none.
const char* system_reason(int error, char* buffer, std::size_t size);

// --- Interruptions ---
// (SIGINT, SIGTERM and SIGHUP on POSIX: Ctrl-C, kill, a closed terminal.
// Windows sends none of them to a console program the same way; there these
// calls do nothing, and an interrupted run may leave its temporary file.)

// Calls `handler` with the signal's number when the run is interrupted,
// with every other signal held while it runs, once: the signal's default
// is then back, so that end_as_interrupted ends the run as it would have.
// A signal the run was started to ignore (nohup) stays ignored.
void on_interruption(void (*handler)(int));

// Raises the signal again from within the handler; safe in a signal
// handler.
void end_as_interrupted(int signal);

// Holds off interruptions; the value given back releases them as they
// were before.
unsigned hold_interruptions();
void release_interruptions(unsigned held);

// --- Files by path ---

// What separates the directories of a path.
#if defined(_WIN32)
constexpr const char* PATH_SEPARATORS = "/\\";
#else
constexpr const char* PATH_SEPARATORS = "/";
#endif

// std::fopen with a UTF-8 path; the mode should say "b", for Windows.
std::FILE* open_file(const char* path, const char* mode);

// True when the stream is a terminal.
bool is_terminal(std::FILE* stream);

// --- Files in memory ---

// Bytes in memory read through a stream, which the core reads as any other
// file; `in_use` stays true until the stream is closed.
struct MemoryReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
    bool in_use;
};

// A stream reading the reader's bytes from its position; nullptr when none
// can be opened.
std::FILE* open_memory_reader(MemoryReader& reader);

// --- Reading a file through a descriptor ---

// A descriptor of the file `path`, read only, or -1. `nonblocking` opens a
// FIFO without waiting for its writer.
int open_for_reading(const char* path, bool nonblocking);
// Reads up to `size` bytes; the count read, 0 at the end, or -1 with errno.
std::ptrdiff_t read_some(int descriptor, void* buffer, std::size_t size);
void close_descriptor(int descriptor);
// The size of the file behind the descriptor if it is a regular file;
// false for anything else (a directory, a FIFO, a device).
bool regular_file_size(int descriptor, std::uint64_t& size);

// --- Replacing a file ---

// What a new file takes over from the one it replaces: on POSIX its
// permission bits and owner.
struct ReplacedFile {
    bool exists = false;
    bool regular = false;
    std::uint32_t mode = 0;
    std::uint32_t user = 0;
    std::uint32_t group = 0;
};

// The file a path finally names when its links are followed, as opening it
// would follow them; the path itself when it is no link, or a link that
// cannot be read (opening then reports what is wrong); empty for links that
// never end.
std::string follow_links(const char* path);

// What `path` names now; `exists` false when it names nothing.
ReplacedFile look_up(const char* path);

// True when the existing file `path` may be opened for writing.
bool may_write(const char* path);

// Creates the new file `path`, failing if it exists, with the permission
// bits `mode` (less the umask): its descriptor, or -1 with errno set.
int create_new_file(const char* path, std::uint32_t mode);

// The stream writing the new file `descriptor`, which first takes over the
// owner, then the permission bits, of `replaced` (the owner's change would
// clear set-user-ID and set-group-ID bits); nullptr, the descriptor closed,
// when none can be opened.
std::FILE* stream_of_new_file(int descriptor, const ReplacedFile& replaced);

// Puts the file `from` in the place of `to` in one step, replacing it: 0, or
// -1 with errno set and both left as they were.
int rename_file(const char* from, const char* to);

// Writes the whole of `from` over `to`, which stays where it is; false when
// either cannot be opened or a read or write failed.
bool copy_over(const char* from, const char* to);

// Removes the file `path`, if it can; safe in a signal handler.
void remove_file(const char* path);
inline void remove_file(const std::string& path) {
    remove_file(path.c_str());
}

} // namespace platform
