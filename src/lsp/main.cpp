// orvasm-lsp: the language server, on standard input and output. Arguments
// are ignored (clients commonly pass "--stdio").
#include <csignal>
#include <cstdio>

#include "lsp/server.hpp"

int main() {
    // A client that goes away closes the pipe; the failed write ends the
    // session instead of the signal ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    return run_server(stdin, stdout, stderr);
}
