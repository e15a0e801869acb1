// How long tokens and names may be: one ladder of widths, 61 to 64, each for
// a reason. A reader takes at most its width of characters per token, so a
// longer run of non-whitespace arrives as several tokens; every reader reads
// one character more than it accepts, so that a run too long is seen and
// refused on its first piece instead of being cut silently into tokens.
#pragma once

// 61: the longest token of the source file named on the command line.
constexpr int TOP_LEVEL_MAX_TOKEN = 61;

// 62: the width the source file is read with; its 62-character pieces fail
// with "Invalid token" in assemble_source.
constexpr int TOP_LEVEL_WIDTH = TOP_LEVEL_MAX_TOKEN + 1;

// 62: the longest token handle_token accepts. Tokens of included files and
// macro bodies may have one character more than the source file's own; the
// source file's loop refuses its longer ones before handle_token sees them.
constexpr int MAX_TOKEN_LENGTH = 62;

// 63: the width included files, comment text and macro bodies are read with,
// whose 63-character pieces handle_token refuses; the widest any reader asks
// for. A name may have as many characters: a sublabel "scope/name" fills it.
constexpr int MAX_TOKEN_WIDTH = MAX_TOKEN_LENGTH + 1;

// 64: the bytes of every token buffer and name field, the widest token or
// longest name and its terminator.
constexpr int NAME_SIZE = MAX_TOKEN_WIDTH + 1;
