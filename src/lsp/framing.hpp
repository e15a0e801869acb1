// The transport of the Language Server Protocol: each message is a header of
// "Name: value" lines ended by CRLF, an empty line, then exactly
// Content-Length bytes of body. Only Content-Length is read; other headers,
// such as Content-Type, are accepted and ignored. A stream that breaks these
// rules cannot be resynchronised, so every failure ends the session.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The largest body accepted, 64 MiB: a whole source file many times over.
// A longer one is taken as a broken client rather than read into memory.
constexpr std::size_t MAX_MESSAGE_SIZE = std::size_t{64} << 20;
// The longest header line, without its line end.
constexpr std::size_t MAX_HEADER_LINE = 1024;

enum class FrameStatus {
    Message,       // `body` holds one message
    End,           // the input ended between two messages
    Truncated,     // the input ended inside a header or a body
    BadHeader,     // a header line without ":", too long, or a Content-Length that is no number
    MissingLength, // the header ended without Content-Length
    TooLarge,      // Content-Length is over MAX_MESSAGE_SIZE
};

// What each status means, for the server's log; indexed by FrameStatus.
extern const char* const FRAME_STATUS_TEXT[];

// Reads the next message into `body`. Memory grows with the bytes that
// really arrive, not with the length the header announces.
FrameStatus read_message(std::FILE* input, std::string& body);

// Writes `body` with its header and flushes; false when the output failed.
bool write_message(std::FILE* output, const std::string& body);
