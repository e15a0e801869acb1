// The session of orvasm-lsp: reads framed messages, answers requests, keeps
// the open documents in step and publishes their diagnostics. Requests are
// answered one at a time, in order, before the next message is read, so a
// cancellation always comes too late and is ignored.
#pragma once

#include <cstdio>

// Runs a session until the "exit" notification, the end of `input`, a
// framing error or a failed write to `output`, and returns the exit status
// the protocol asks for: 0 when "shutdown" came before the end, 1 otherwise.
// Why a session ended early is written to `log`, one line.
int run_server(std::FILE* input, std::FILE* output, std::FILE* log);
