// orvasm-lsp: the language server, on standard input and output. "--help"
// and "--version" print and exit; other arguments are ignored (clients
// commonly pass "--stdio").
#include <cstdio>
#include <cstring>

#include "lsp/server.hpp"
#include "platform/platform.hpp"

#ifndef ORVASM_VERSION
#error "ORVASM_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace {

constexpr const char* HELP =
    "usage: orvasm-lsp [--stdio]\n"
    "Serves the Language Server Protocol for orvasm sources on standard input\n"
    "and output, as an editor starts it.\n"
    "\n"
    "Options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "Other arguments, such as --stdio, are ignored.\n";

// 0 once the text is written, 1 when standard output failed.
int print(const char* text) {
    std::fputs(text, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0) return print(HELP);
        if (std::strcmp(argv[i], "--version") == 0) return print("orvasm-lsp " ORVASM_VERSION "\n");
    }
    // A client that goes away closes the pipe; the failed write ends the
    // session instead of the signal ending the process.
    platform::fail_writes_to_closed_pipes();
    platform::use_binary_standard_streams();
    return run_server(stdin, stdout, stderr);
}
