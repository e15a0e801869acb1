#include "output/output_file.hpp"

#include <atomic>
#include <cerrno>

#include "platform/file_identity.hpp"
#include "platform/platform.hpp"

namespace {

// The temporary files open now, for the handler of interruptions: the one
// process-wide state of the output step, since a signal handler can reach
// no other. A slot holds the name of an OutputFile's `temporary`, which
// does not change while it is there. One output is open at a time; a few
// slots spare a caller that opens more from losing track of one.
constexpr int TEMPORARY_SLOTS = 4;
std::atomic<const char*> open_temporaries[TEMPORARY_SLOTS];
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

// Holds off the interruptions that remove temporaries while a temporary
// comes into being or goes, so that none is left between the two steps.
class InterruptionsHeld {
  public:
    InterruptionsHeld() : held_(platform::hold_interruptions()) {}
    ~InterruptionsHeld() { platform::release_interruptions(held_); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

  private:
    unsigned held_;
};

void track_temporary(const char* name) {
    for (auto& slot : open_temporaries) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, name)) return;
    }
}

void forget_temporary(const char* name) {
    for (auto& slot : open_temporaries) {
        const char* held = name;
        if (slot.compare_exchange_strong(held, nullptr)) return;
    }
}

std::string directory_of(const std::string& path) {
    std::size_t slash = path.find_last_of(platform::PATH_SEPARATORS);
    if (slash == std::string::npos) return std::string(".");
    if (slash == 0) return std::string("/");
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    std::size_t slash = path.find_last_of(platform::PATH_SEPARATORS);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new file in the target's directory, named after the target so that one
// left by a killed run is recognised. Returns its descriptor, or -1 with
// errno set; the file is tracked for the handler of interruptions.
int create_temporary(const OutputFile& output, std::string& temporary) {
    // Short enough for any file system's limit on a name.
    std::string stem = directory_of(output.target) + "/." + name_of(output.target).substr(0, 160) +
                       ".orvasm-" + std::to_string(platform::process_number()) + "-";
    for (int attempt = 0; attempt < 100; attempt++) {
        temporary = stem + std::to_string(attempt);
        InterruptionsHeld held;
        int descriptor = output.calls->create(temporary.c_str(), 0666);
        if (descriptor >= 0) track_temporary(temporary.c_str());
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

// Whether a temporary file that could not be created is a reason to write
// in place: the directory takes no new file, by permission or for good.
// Anything else (no space, no inode, no descriptor, no memory, an I/O error)
// would fail a write in place as well, after it had cut the old file short.
bool writes_in_place_after(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
}

// Whether a rename refused is a reason to write in place: the target is a
// mount point, or a sticky directory keeps its name for its owner.
bool copies_in_place_after(int error) {
    return error == EBUSY || error == EPERM;
}

bool open_in_place(OutputFile& output, const char* path) {
    output.target = path;
    output.temporary.clear();
    output.stream = platform::open_file(path, "wb");
    return output.stream != nullptr;
}

// Removes the temporary file and stops tracking it.
void remove_temporary(OutputFile& output) {
    InterruptionsHeld held;
    platform::remove_file(output.temporary.c_str());
    forget_temporary(output.temporary.c_str());
}

} // namespace

const FileCalls SYSTEM_FILE_CALLS = {platform::create_new_file, platform::rename_file};

bool open_output(OutputFile& output, const char* path) {
    output.target = platform::follow_links(path);
    if (output.target.empty()) return open_in_place(output, path);
    platform::ReplacedFile existing = platform::look_up(output.target.c_str());
    if (existing.exists && !existing.regular) return open_in_place(output, path);
    // Replacing must not get round a file that may not be written.
    if (existing.exists && !platform::may_write(output.target.c_str())) return false;
    int descriptor = create_temporary(output, output.temporary);
    if (descriptor < 0) {
        int error = errno;
        output.temporary.clear();
        errno = error;
        return writes_in_place_after(error) && open_in_place(output, path);
    }
    output.stream = platform::stream_of_new_file(descriptor, existing);
    // GCOVR_EXCL_BR_START: fdopen fails only when memory ran out
    if (output.stream) return true;
    remove_temporary(output);
    // GCOVR_EXCL_BR_STOP
    output.temporary.clear();
    return false;
}

bool commit_output(OutputFile& output) {
    bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    if (output.temporary.empty()) return closed;
    bool renamed = false;
    if (closed) {
        InterruptionsHeld held;
        renamed = output.calls->rename(output.temporary.c_str(), output.target.c_str()) == 0;
        if (renamed) forget_temporary(output.temporary.c_str());
    }
    if (renamed) return true;
    bool copied = closed && copies_in_place_after(errno) &&
                  platform::copy_over(output.temporary.c_str(), output.target.c_str());
    remove_temporary(output);
    return copied;
}

void abandon_output(OutputFile& output) {
    std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary.empty()) remove_temporary(output);
}

void remove_open_temporaries() {
    for (auto& slot : open_temporaries) {
        const char* name = slot.load();
        if (name) platform::remove_file(name);
    }
}

namespace {

// Where a path's file is, or would be: the identity of its directory and
// its name there, links followed.
bool locate(const char* path, FileIdentity& directory, std::string& name) {
    std::string target = platform::follow_links(path);
    name = name_of(target);
    if (target.empty()) return false;
    return identify_path(directory_of(target).c_str(), directory);
}

} // namespace

bool names_same_file(const char* a, const char* b) {
    FileIdentity first;
    FileIdentity second;
    bool first_exists = identify_path(a, first);
    bool second_exists = identify_path(b, second);
    if (first_exists || second_exists) return first_exists && second_exists && first == second;
    std::string first_name;
    std::string second_name;
    return locate(a, first, first_name) && locate(b, second, second_name) && first == second &&
           first_name == second_name;
}
