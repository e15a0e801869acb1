#include "output/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

// The file a path finally names when its links are followed, as open would
// follow them; the path itself when it is no link, or a link that cannot be
// read (open then reports what is wrong); empty for links that never end.
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
// left by a killed run is recognised. Returns its descriptor, or -1.
int create_temporary(const std::string& target, std::string& temporary) {
    // Short enough for any file system's limit on a name.
    std::string stem = directory_of(target) + "/." + name_of(target).substr(0, 160) + ".orvasm-" +
                       std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100; attempt++) {
        temporary = stem + std::to_string(attempt);
        int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

bool open_in_place(OutputFile& output, const char* path) {
    output.target = path;
    output.temporary.clear();
    output.stream = std::fopen(path, "wb");
    return output.stream != nullptr;
}

} // namespace

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
    int descriptor = create_temporary(output.target, output.temporary);
    if (descriptor < 0) return open_in_place(output, path);
    if (exists) {
        fchmod(descriptor, existing.st_mode & 07777);
        // Only a privileged user can give the new file to the old one's
        // owner; for anyone else it is theirs already, or stays theirs.
        if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
            [[maybe_unused]] int owned = fchown(descriptor, existing.st_uid, existing.st_gid);
        }
    }
    output.stream = fdopen(descriptor, "wb");
    if (output.stream) return true;
    close(descriptor);
    unlink(output.temporary.c_str());
    return open_in_place(output, path);
}

bool commit_output(OutputFile& output) {
    bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    if (output.temporary.empty()) return closed;
    if (closed && rename(output.temporary.c_str(), output.target.c_str()) == 0) return true;
    unlink(output.temporary.c_str());
    return false;
}

void abandon_output(OutputFile& output) {
    std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary.empty()) unlink(output.temporary.c_str());
}
