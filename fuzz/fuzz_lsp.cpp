// libFuzzer entry for the language server: each input is the whole byte
// stream a client sends, framed messages and all, fed to one session from
// memory. The answers go to /dev/null; a finding is a crash, a sanitizer
// report, a leak or a timeout. Documents may include files, which are looked
// up in an empty directory the harness makes its working directory (in
// TMPDIR, removed again at exit), unless the input names another root.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "lsp/server.hpp"

namespace {

std::FILE* null_output;
std::string directory;

void remove_directory() {
    std::error_code ignored;
    std::filesystem::current_path("/", ignored);
    std::filesystem::remove_all(directory, ignored);
}

[[noreturn]] void stop(const char* why) {
    std::fprintf(stderr, "harness: %s\n", why);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    null_output = std::fopen("/dev/null", "w");
    if (!null_output) stop("/dev/null cannot be opened");
    const char* temporary = std::getenv("TMPDIR");
    std::string name =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/orvasm-lsp-fuzz-XXXXXX";
    if (!mkdtemp(name.data()) || chdir(name.c_str()) != 0) stop("no empty working directory");
    directory = name;
    std::atexit(&remove_directory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0; // fmemopen refuses an empty buffer
    std::FILE* input = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!input) stop("fmemopen failed");
    run_server(input, null_output, null_output);
    std::fclose(input);
    return 0;
}
