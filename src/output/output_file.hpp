// Writing an output file so that a failure never loses the old one. The
// bytes go to a new file beside the target, which is renamed over the
// target once it is whole and closed: a failed write, a full disk or a kill
// at any moment leaves the old file as it was, and two runs writing the same
// output at once leave one of the two whole. Writers only ever see the open
// stream; the caller opens, then commits or abandons.
//
// Where that cannot be done the file is written in place, and only then:
// the target is no regular file (a device), its directory takes no new file
// for want of permission (EACCES, EPERM, EROFS), or the new file may not be
// renamed over the target (EBUSY for a mount point, EPERM in a sticky
// directory). A temporary file that cannot be created for any other reason
// (no space, no inode, no descriptor, an I/O error) fails the output and
// leaves the old file alone: writing in place then would lose it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The two calls whose failure decides between replacing and writing in
// place, so that a test can make them fail as a file system would.
struct FileCalls {
    // Creates a new file, failing if it exists, as
    // platform::create_new_file does: a descriptor, or -1 with errno set.
    int (*create)(const char* path, std::uint32_t mode);
    // Renames as platform::rename_file does: 0, or -1 with errno set.
    int (*rename)(const char* from, const char* to);
};

// The calls of the system.
extern const FileCalls SYSTEM_FILE_CALLS;

struct OutputFile {
    std::FILE* stream = nullptr;
    std::string target;    // the file that is replaced: the path, links followed
    std::string temporary; // empty when the target is written in place
    const FileCalls* calls = &SYSTEM_FILE_CALLS;
};

// Opens `path` for writing. The target is a new file beside it, named
// ".NAME.orvasm-PID-N", given the owner and then the permission bits of the
// file it replaces (or created as fopen would create it); a link is followed
// to the file it names. Falls back to writing in place, as fopen(path, "wb")
// would, in the cases above. False, with errno set, when the path cannot be
// written: an existing file that may not be written is never replaced.
bool open_output(OutputFile& output, const char* path);

// Closes the stream and puts the new file in place of the old, copying its
// bytes over the old file where the rename is refused as above. False when
// writing, closing or renaming failed; the old file is then left as it was
// and the new one removed (written in place, it holds what reached it).
bool commit_output(OutputFile& output);

// Closes the stream and removes the new file; the old one stays as it was.
void abandon_output(OutputFile& output);

// Removes the temporary files of the outputs open now. Only calls that are
// safe in a signal handler: the handler of interruptions calls it.
void remove_open_temporaries();

// True when the two paths name one file, or would once written: the same
// existing file (through links, or hard links), or the same name in the same
// directory for a file that does not exist yet.
bool names_same_file(const char* a, const char* b);
