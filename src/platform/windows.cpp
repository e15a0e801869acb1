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

std::FILE* create_beside(const std::string& target, const ReplacedFile&, std::string& temporary) {
    std::size_t separator = target.find_last_of("/\\");
    std::string directory = separator == std::string::npos ? "" : target.substr(0, separator + 1);
    std::string name = separator == std::string::npos ? target : target.substr(separator + 1);
    // Short enough for any file system's limit on a name.
    std::string stem = directory + "." + name.substr(0, 160) + ".orvasm-" +
                       std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; attempt++) {
        temporary = stem + std::to_string(attempt);
        int descriptor =
            _wopen(wide(temporary.c_str()).c_str(),
                   _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (descriptor < 0 && errno == EEXIST) continue;
        if (descriptor < 0) return nullptr;
        std::FILE* stream = _fdopen(descriptor, "wb");
        if (stream) return stream;
        _close(descriptor);
        remove_file(temporary);
        return nullptr;
    }
    return nullptr;
}

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from.c_str()).c_str(), wide(to.c_str()).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void remove_file(const std::string& path) {
    _wunlink(wide(path.c_str()).c_str());
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
