// orvasm-lsp: the language server, on standard input and output. Arguments
// are ignored (clients commonly pass "--stdio").
#include <cstdio>

#include "lsp/server.hpp"
#include "platform/platform.hpp"

int main() {
    // A client that goes away closes the pipe; the failed write ends the
    // session instead of the signal ending the process.
    platform::fail_writes_to_closed_pipes();
    platform::use_binary_standard_streams();
    return run_server(stdin, stdout, stderr);
}
