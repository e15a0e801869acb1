// Assembles sources held in memory with a fresh state, capturing the
// diagnostics instead of printing them.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"

// Collects everything an assembly prints while it is alive.
class CapturedDiagnostics {
  public:
    explicit CapturedDiagnostics(AssemblerState& state)
        : state_(state), file_(open_memstream(&buffer_, &size_)) {
        previous_ = state_.diagnostics.file;
        state_.diagnostics.file = file_;
    }
    ~CapturedDiagnostics() {
        state_.diagnostics.file = previous_;
        std::fclose(file_);
        std::free(buffer_);
    }
    CapturedDiagnostics(const CapturedDiagnostics&) = delete;
    CapturedDiagnostics& operator=(const CapturedDiagnostics&) = delete;

    std::string text() {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    AssemblerState& state_;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
    std::FILE* previous_;
};

// Serves included files from a map; a name that is not there cannot be opened.
struct MemoryFiles {
    std::map<std::string, std::string> files;

    static std::FILE* open(const char* path, void* context) {
        auto& files = static_cast<MemoryFiles*>(context)->files;
        auto found = files.find(path);
        if (found == files.end()) return nullptr;
        std::string& text = found->second;
        // fmemopen refuses a zero size; an empty file is served as /dev/null.
        if (text.empty()) return std::fopen("/dev/null", "r");
        return fmemopen(text.data(), text.size(), "r");
    }
};

// Finds a name as the assembler does, from a zero-filled field of NAME_SIZE
// bytes; names of more than NAME_SIZE - 1 characters are no name.
inline Label* label_named(AssemblerState& state, const std::string& name) {
    char field[NAME_SIZE] = {};
    name.copy(field, NAME_SIZE - 1);
    return lookup_label(state, field, static_cast<int>(name.size()));
}

inline Macro* macro_named(AssemblerState& state, const std::string& name) {
    char field[NAME_SIZE] = {};
    name.copy(field, NAME_SIZE - 1);
    return lookup_macro(state, field, static_cast<int>(name.size()));
}

struct Assembly {
    std::unique_ptr<AssemblerState> state = std::make_unique<AssemblerState>();
    MemoryFiles files;
    int result = 0;
    std::string diagnostics;

    explicit Assembly(std::string source, std::map<std::string, std::string> included = {}) {
        files.files = std::move(included);
        files.files["in.orv"] = std::move(source);
        state->opener = {&MemoryFiles::open, &files};
        CapturedDiagnostics captured(*state);
        std::FILE* stream = MemoryFiles::open("in.orv", &files);
        result = assemble_source(*state, stream, "in.orv");
        std::fclose(stream);
        diagnostics = captured.text();
    }

    // The rom bytes: the image from 0x0100 up to the high-water mark.
    std::string rom() const {
        if (state->length <= PROGRAM_START) return {};
        return std::string(reinterpret_cast<const char*>(state->image) + PROGRAM_START,
                           state->length - PROGRAM_START);
    }
};

// Whether the system refuses to open the running program's file `program`
// for writing. An emulator of another machine (qemu-user) runs the program
// by mapping it, and then nothing holds the file busy.
inline bool running_program_is_held(const char* program) {
    int descriptor = open(program, O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) return errno == ETXTBSY;
    close(descriptor);
    return false;
}
