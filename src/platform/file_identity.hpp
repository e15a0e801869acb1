// Which file a path or an open stream names: its device and inode, so that
// two paths that reach one file (links, "./", "..") compare equal. Outputs
// are checked against every file the assembly read before they are written.
#pragma once

#include <cstdint>
#include <cstdio>

struct FileIdentity {
    std::uint64_t device;
    std::uint64_t inode;
};

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

// The identity of the file `path` names, following links; false when the
// path names no file.
bool identify_path(const char* path, FileIdentity& identity);

// The identity of the file behind an open stream; false for a stream that
// has no file descriptor (one served from memory, say).
bool identify_stream(std::FILE* stream, FileIdentity& identity);
