// Writing an output file so that a failure never loses the old one. The
// bytes go to a new file beside the target, which is renamed over the
// target once it is whole and closed: a failed write, a full disk or a kill
// at any moment leaves the old file as it was, and two runs writing the same
// output at once leave one of the two whole. Writers only ever see the open
// stream; the caller opens, then commits or abandons.
#pragma once

#include <cstdio>
#include <string>

struct OutputFile {
    std::FILE* stream = nullptr;
    std::string target;    // the file that is replaced: the path, links followed
    std::string temporary; // empty when the target is written in place
};

// Opens `path` for writing. The target is a new file beside it, created with
// the permission bits of the file it replaces (or as fopen would create it);
// a link is followed to the file it names. Falls back to writing in place,
// as fopen(path, "wb") would, when the path names something other than a
// regular file (a device, say) or no file can be created in its directory.
// False when the path cannot be written either way: an existing file that
// may not be written is never replaced.
bool open_output(OutputFile& output, const char* path);

// Closes the stream and puts the new file in place of the old. False when
// writing, closing or renaming failed; the old file is then left as it was
// and the new one removed (written in place, it holds what reached it).
bool commit_output(OutputFile& output);

// Closes the stream and removes the new file; the old one stays as it was.
void abandon_output(OutputFile& output);
