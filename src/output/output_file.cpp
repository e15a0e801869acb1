#include "output/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>

namespace {

int create_file(const char* path, mode_t mode) {
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int rename_file(const char* from, const char* to) {
    return rename(from, to);
}

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
    InterruptionsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~InterruptionsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

  private:
    sigset_t before_;
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

// The file a path finally names when its links are followed, as open would
// follow them; the path itself when it is no link, or a link that cannot be
// read (open then reports what is wrong); empty for links that never end.
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

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string(".");
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new file in the target's directory, named after the target so that one
// left by a killed run is recognised. Returns its descriptor, or -1 with
// errno set; the file is tracked for the handler of interruptions.
int create_temporary(const OutputFile& output, std::string& temporary) {
    // Short enough for any file system's limit on a name.
    std::string stem = directory_of(output.target) + "/." + name_of(output.target).substr(0, 160) +
                       ".orvasm-" + std::to_string(getpid()) + "-";
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
    output.stream = std::fopen(path, "wb");
    return output.stream != nullptr;
}

// Removes the temporary file and stops tracking it.
void remove_temporary(OutputFile& output) {
    InterruptionsHeld held;
    unlink(output.temporary.c_str());
    forget_temporary(output.temporary.c_str());
}

// Gives the new file the owner, then the permission bits, of the file it
// replaces: a change of owner clears the set-user-ID and set-group-ID bits.
void take_owner_and_mode(int descriptor, const struct stat& existing) {
    // Only a privileged user can give the new file to the old one's owner;
    // for anyone else it is theirs already, or stays theirs.
    if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
        [[maybe_unused]] int owned = fchown(descriptor, existing.st_uid, existing.st_gid);
    }
    fchmod(descriptor, existing.st_mode & 07777);
}

// Writes the whole temporary file over the target, which stays where it is.
bool copy_in_place(const OutputFile& output) {
    int from = open(output.temporary.c_str(), O_RDONLY | O_CLOEXEC);
    int to = open(output.target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
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

} // namespace

const FileCalls SYSTEM_FILE_CALLS = {create_file, rename_file};

bool open_output(OutputFile& output, const char* path) {
    output.target = follow_links(path);
    if (output.target.empty()) return open_in_place(output, path);
    struct stat existing;
    bool exists = stat(output.target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return open_in_place(output, path);
    if (exists) {
        // Replacing must not get round a file that may not be written.
        int probe = open(output.target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) return false;
        close(probe);
    }
    int descriptor = create_temporary(output, output.temporary);
    if (descriptor < 0) {
        int error = errno;
        output.temporary.clear();
        errno = error;
        return writes_in_place_after(error) && open_in_place(output, path);
    }
    if (exists) take_owner_and_mode(descriptor, existing);
    output.stream = fdopen(descriptor, "wb");
    if (output.stream) return true;
    close(descriptor);
    remove_temporary(output);
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
    bool copied = closed && copies_in_place_after(errno) && copy_in_place(output);
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
        if (name) unlink(name);
    }
}

namespace {

// Where a path's file is, or would be: the identity of its directory and
// its name there, links followed.
bool locate(const char* path, struct stat& directory, std::string& name) {
    std::string target = follow_links(path);
    name = name_of(target);
    return !target.empty() && stat(directory_of(target).c_str(), &directory) == 0;
}

} // namespace

bool names_same_file(const char* a, const char* b) {
    struct stat first;
    struct stat second;
    bool first_exists = stat(a, &first) == 0;
    bool second_exists = stat(b, &second) == 0;
    if (first_exists || second_exists)
        return first_exists && second_exists && first.st_dev == second.st_dev &&
               first.st_ino == second.st_ino;
    std::string first_name;
    std::string second_name;
    return locate(a, first, first_name) && locate(b, second, second_name) &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino &&
           first_name == second_name;
}
