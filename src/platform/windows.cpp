// The platform seam on Windows (built with MinGW-w64). Paths arrive in
// UTF-8 and reach the system as wide characters; the C runtime's
// descriptors and streams stand in for POSIX's, always in binary mode; a
// file is the same as another when its volume serial number and file index
// are; a new file takes the place of the old one with MoveFileExW.
#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/file_identity.hpp"
#include "platform/platform.hpp"

namespace {

std::wstring wide(const char* text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring converted(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, converted.data(), length);
    converted.resize(static_cast<std::size_t>(length - 1));
    return converted;
}

std::string utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string converted(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), length, nullptr, nullptr);
    converted.resize(static_cast<std::size_t>(length - 1));
    return converted;
}

bool identity_of(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return false;
    identity = {information.dwVolumeSerialNumber,
                std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
    return true;
}

} // namespace

namespace platform {

// --- The process ---

void utf8_arguments(int argc, char** argv, Arguments& arguments) {
    int count = 0;
    wchar_t** wide_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide_arguments) {
        arguments.count = argc;
        arguments.values = argv;
        return;
    }
    for (int i = 0; i < count; i++) arguments.texts.push_back(utf8(wide_arguments[i]));
    LocalFree(wide_arguments);
    for (std::string& text : arguments.texts) arguments.pointers.push_back(text.data());
    arguments.pointers.push_back(nullptr);
    arguments.count = count;
    arguments.values = arguments.pointers.data();
}

void use_binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void fail_writes_past_size_limit() {}

void fail_writes_to_closed_pipes() {}

long process_number() {
    return static_cast<long>(GetCurrentProcessId());
}

std::string working_directory() {
    wchar_t* directory = _wgetcwd(nullptr, 0);
    std::string text = directory ? utf8(directory) : std::string();
    std::free(directory);
    return text;
}

const char* system_reason(int error, char* buffer, std::size_t size) {
    buffer[0] = '\0';
    return strerror_s(buffer, size, error) == 0 ? buffer : "";
}

// --- Interruptions ---
// A console program gets Ctrl-C as a console event, which ends it without
// running anything of the C runtime's signals that could remove a file
// safely; an interrupted run may leave its temporary file, which is named
// after its output so that it is recognised.

void on_interruption(void (*)(int)) {}

void end_as_interrupted(int) {}

unsigned hold_interruptions() {
    return 0;
}

void release_interruptions(unsigned) {}

// --- Files by path ---

std::FILE* open_file(const char* path, const char* mode) {
    std::wstring name = wide(path);
    std::FILE* stream = _wfopen(name.c_str(), wide(mode).c_str());
    if (stream || mode[0] != 'r') return stream;
    // A directory opens on POSIX, and reading it fails; so it does here,
    // through a handle of the directory itself, which keeps the program's
    // lines the same.
    struct _stat64 status;
    if (_wstat64(name.c_str(), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFDIR)
        return nullptr;
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    stream = _fdopen(descriptor, "rb");
    if (!stream) _close(descriptor);
    return stream;
}

bool is_terminal(std::FILE* stream) {
    int descriptor = _fileno(stream);
    return descriptor >= 0 && _isatty(descriptor);
}

// --- Files in memory ---

// The C runtime has no streams of its own making, so the bytes go to a
// temporary file that is deleted when the stream is closed.
std::FILE* open_memory_reader(MemoryReader& reader) {
    wchar_t directory[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameW(directory, L"orv", 0, name))
        return nullptr;
    std::FILE* stream = _wfopen(name, L"w+bD");
    if (!stream) {
        DeleteFileW(name);
        return nullptr;
    }
    std::size_t left = reader.size - reader.position;
    if ((left > 0 && std::fwrite(reader.data + reader.position, 1, left, stream) != left) ||
        std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_SET) != 0) {
        std::fclose(stream);
        return nullptr;
    }
    reader.position = reader.size;
    // The reader's bytes are copied; it is free again at once.
    reader.in_use = false;
    return stream;
}

// --- Reading a file through a descriptor ---

int open_for_reading(const char* path, bool) {
    return _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

std::ptrdiff_t read_some(int descriptor, void* buffer, std::size_t size) {
    constexpr std::size_t most = 1u << 30;
    return _read(descriptor, buffer, static_cast<unsigned>(size < most ? size : most));
}

void close_descriptor(int descriptor) {
    _close(descriptor);
}

bool regular_file_size(int descriptor, std::uint64_t& size) {
    struct _stat64 status;
    if (_fstat64(descriptor, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG ||
        status.st_size < 0)
        return false;
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

// --- Replacing a file ---

std::string follow_links(const char* path) {
    // Windows opens through its links as it replaces them: the new file
    // takes the link's own place.
    return path;
}

ReplacedFile look_up(const char* path) {
    ReplacedFile file;
    struct _stat64 existing;
    if (_wstat64(wide(path).c_str(), &existing) != 0) return file;
    file.exists = true;
    file.regular = (existing.st_mode & _S_IFMT) == _S_IFREG;
    return file;
}

bool may_write(const char* path) {
    int probe = _wopen(wide(path).c_str(), _O_WRONLY | _O_BINARY);
    if (probe < 0) return false;
    _close(probe);
    return true;
}

int create_new_file(const char* path, std::uint32_t) {
    return _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

std::FILE* stream_of_new_file(int descriptor, const ReplacedFile&) {
    // Windows gives a new file the permissions its directory passes on.
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (!stream) _close(descriptor);
    return stream;
}

namespace {

// errno for why a file could not be moved: EBUSY where another program
// holds the target open (writing in place then fails the same way),
// EACCES where it may not be replaced.
int error_of_move(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    default: return EIO;
    }
}

} // namespace

int rename_file(const char* from, const char* to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return 0;
    errno = error_of_move(GetLastError());
    return -1;
}

bool copy_over(const char* from_path, const char* to_path) {
    int from = _wopen(wide(from_path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    // The old file is emptied only once there is something to copy.
    int to = from >= 0
                 ? _wopen(wide(to_path).c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT)
                 : -1;
    bool copied = from >= 0 && to >= 0;
    char block[2048];
    for (int got; copied && (got = _read(from, block, sizeof block)) != 0;) {
        copied = got > 0;
        for (int put = 0, done = 0; copied && done < got; done += put) {
            put = _write(to, block + done, static_cast<unsigned>(got - done));
            copied = put > 0;
        }
    }
    if (from >= 0) _close(from);
    if (to >= 0 && _close(to) != 0) copied = false;
    return copied;
}

void remove_file(const char* path) {
    _wunlink(wide(path).c_str());
}

} // namespace platform

// --- Identities (platform/file_identity.hpp) ---

bool identify_path(const char* path, FileIdentity& identity) {
    // Backup semantics open directories too; no access is asked for, so a
    // file another program holds open is identified all the same.
    HANDLE handle =
        CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool known = identity_of(handle, identity);
    CloseHandle(handle);
    return known;
}

bool identify_stream(std::FILE* stream, FileIdentity& identity) {
    int descriptor = _fileno(stream);
    if (descriptor < 0) return false;
    return identity_of(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), identity);
}

#endif
