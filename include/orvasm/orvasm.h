/* liborvasm: the orvasm assembler as a library.
 *
 * One call assembles a source, given as a path or as bytes in memory, into a
 * result that holds everything the program `orvasm` would produce: the
 * status, the rom bytes and their start address, the symbols, every line it
 * prints (as records and as the exact text), and on request the positions
 * of definitions, a listing and the files read. The interface is plain C99
 * and compiles as C++; every type but the records is opaque.
 *
 * Memory. orvasm_assemble allocates the assembly's working state (about
 * 6 MiB, reserved zero-filled and touched only where the source uses it)
 * and a result; nothing is allocated per token. With an assembler handle
 * the state is kept between calls: a further call clears only what the
 * previous assembly used (the rom bytes written, the labels, references,
 * macros and files it defined) instead of allocating and zeroing it all
 * again. Diagnostics and listing records are kept in tables that grow (in
 * blocks, or by doubling), up to ORVASM_MAX_DIAGNOSTICS and
 * ORVASM_MAX_LISTING records.
 *
 * Ownership. A result belongs to the caller until orvasm_result_free, which
 * is called once per result (NULL is ignored; a second call on the same
 * pointer is undefined, as for free). Every pointer a result hands out
 * (rom, names, paths, records) stays valid until that call. A result that
 * is never freed leaks its memory and nothing else. An assembler lends its
 * state to one result at a time: while that result lives, a further
 * orvasm_assemble on the same assembler allocates a state of its own.
 * orvasm_assembler_free may come before or after the results it made.
 *
 * Threads. The library keeps no process-wide state: assemblies on different
 * threads run at once without locks. One assembler, or one result, is used
 * by one thread at a time. Callbacks run on the calling thread.
 */
#ifndef ORVASM_ORVASM_H
#define ORVASM_ORVASM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#if defined(ORVASM_BUILDING_SHARED) && defined(_WIN32)
#define ORVASM_API __declspec(dllexport)
#elif defined(ORVASM_BUILDING_SHARED)
#define ORVASM_API __attribute__((visibility("default")))
#else
#define ORVASM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* --- Version --------------------------------------------------------- */

#define ORVASM_VERSION_MAJOR 1
#define ORVASM_VERSION_MINOR 4
#define ORVASM_VERSION_PATCH 0
/* MAJOR * 10000 + MINOR * 100 + PATCH: compare it with orvasm_version_number
 * to find the library older than the header a program was built with. */
#define ORVASM_VERSION_NUMBER                                                                      \
    (ORVASM_VERSION_MAJOR * 10000 + ORVASM_VERSION_MINOR * 100 + ORVASM_VERSION_PATCH)

/* The library's version as "MAJOR.MINOR.PATCH", and as a number. */
ORVASM_API const char* orvasm_version(void);
ORVASM_API int orvasm_version_number(void);

/* --- Limits ---------------------------------------------------------- */

#define ORVASM_PROGRAM_START 0x0100  /* address of the first rom byte */
#define ORVASM_MAX_SYMBOL_FILE 67584 /* 1,024 labels of 63 characters, in bytes */
#define ORVASM_MAX_DIAGNOSTICS 65536 /* lines kept as records; the rest are counted */
#define ORVASM_MAX_LISTING 16777216  /* listing records kept; the rest are counted */

/* --- Options --------------------------------------------------------- */

/* What a resolver answers for a path. */
enum orvasm_resolution {
    ORVASM_NOT_FOUND = 0,      /* the file is missing: "Include missing: PATH" */
    ORVASM_FOUND = 1,          /* *data and *size hold the file's bytes */
    ORVASM_USE_FILE_SYSTEM = 2 /* open the path on the file system, as the program does */
};

/* Serves the bytes of a file the assembly reads: an included file, and the
 * source when it is given by path. On ORVASM_FOUND, `*data` points to
 * `*size` bytes (any bytes, any size; NULL with a size of 0 is an empty
 * file) that must stay valid until orvasm_assemble returns. Any other
 * answer, or NULL data with a size above 0, is ORVASM_NOT_FOUND. */
typedef int (*orvasm_resolver)(void* context, const char* path, const unsigned char** data,
                               size_t* size);

/* Extras a result can hold, for options.flags. */
#define ORVASM_POSITIONS 0x1u    /* lines and columns of the symbols' definitions */
#define ORVASM_LISTING 0x2u      /* listing records (implies positions) */
#define ORVASM_DEPENDENCIES 0x4u /* the files read */
/* Located diagnostics (implies positions), as the program's --locations:
 * records carry positions and notes, and lines start "FILE:LINE:COLUMN: ". */
#define ORVASM_LOCATIONS 0x8u

/* Start from ORVASM_OPTIONS_INIT (or all zero) and set what is needed.
 * Exactly one of source_path and source_data names the source. */
typedef struct orvasm_options {
    const char* source_path;          /* read through the resolver, then the file system */
    const unsigned char* source_data; /* or the source's bytes (NULL with size 0: empty) */
    size_t source_size;
    const char* source_name;  /* with source_data: the name messages give it ("" if NULL) */
    orvasm_resolver resolver; /* NULL: included files come from the file system */
    void* resolver_context;
    unsigned flags;       /* ORVASM_POSITIONS | ORVASM_LISTING | ... */
    FILE* print_to;       /* also print the lines there as the program does; NULL: don't */
    const char* rom_name; /* non-NULL: end with the report, as after writing this rom */
} orvasm_options;

#define ORVASM_OPTIONS_INIT                                                                        \
    { NULL, NULL, 0, NULL, NULL, NULL, 0u, NULL, NULL }

/* --- Assembling ------------------------------------------------------ */

typedef struct orvasm_assembler orvasm_assembler;
typedef struct orvasm_result orvasm_result;

/* A handle that keeps the working state between assemblies. NULL when out
 * of memory. Freeing NULL does nothing; free each assembler once. */
ORVASM_API orvasm_assembler* orvasm_assembler_new(void);
ORVASM_API void orvasm_assembler_free(orvasm_assembler* assembler);

/* Assembles the source the options name. `assembler` may be NULL: the
 * call then allocates a fresh state. Returns NULL only when memory runs
 * out; otherwise a result, whose status says how it went (NULL options or
 * a missing source give ORVASM_INVALID). Free it with orvasm_result_free. */
ORVASM_API orvasm_result* orvasm_assemble(orvasm_assembler* assembler,
                                          const orvasm_options* options);

ORVASM_API void orvasm_result_free(orvasm_result* result);

enum orvasm_status {
    ORVASM_OK = 0,     /* assembled; with a report, into a rom of at least one byte */
    ORVASM_FAILED = 1, /* the source could not be read or assembled; the lines say why */
    ORVASM_EMPTY = 2,  /* reported: "Assembly: Output rom is empty." */
    ORVASM_INVALID = 3 /* NULL options or result, or not exactly one source */
};

ORVASM_API int orvasm_result_status(const orvasm_result* result);

/* The report the program prints once it has written the rom `rom_name`:
 * "Assembly: Output rom is empty." and ORVASM_EMPTY when no byte was
 * written, else a "-- Unused label: NAME" line for each unused label whose
 * name does not start with "A" to "Z" and the summary line "Assembled ..."
 * (kept with severity ORVASM_SUMMARY). Returns the new status; a failed
 * result, or a second report, is left as it was. */
ORVASM_API int orvasm_result_report(orvasm_result* result, const char* rom_name);

/* --- The rom and the symbols ----------------------------------------- */

/* The rom: bytes from ORVASM_PROGRAM_START up to the last byte written,
 * gaps zero. Sets *size (which may be NULL) to their count, 0 when none. */
ORVASM_API const unsigned char* orvasm_result_rom(const orvasm_result* result, size_t* size);
ORVASM_API unsigned orvasm_result_start(const orvasm_result* result);

/* Where a token lies: a file and a 1-based line and column in bytes. A
 * line of 0 (positions not asked for, or not known) means nowhere, and
 * `file` is then NULL. */
typedef struct orvasm_position {
    const char* file;
    uint32_t line;
    uint32_t column;
} orvasm_position;

typedef struct orvasm_symbol {
    const char* name;
    uint16_t address;
    uint16_t uses;              /* references to it; 0 means unused */
    orvasm_position definition; /* with ORVASM_POSITIONS */
} orvasm_symbol;

/* Labels in definition order; index from 0 below the count, else NULL. */
ORVASM_API size_t orvasm_result_symbol_count(const orvasm_result* result);
ORVASM_API const orvasm_symbol* orvasm_result_symbol(const orvasm_result* result, size_t index);

/* The symbol file the program writes beside the rom: per label the address
 * high byte first, the name and a 0x00. Copies at most `capacity` bytes to
 * `buffer` (which may be NULL) and returns the full size, as snprintf. */
ORVASM_API size_t orvasm_result_symbol_file(const orvasm_result* result, unsigned char* buffer,
                                            size_t capacity);

/* --- References and macros (since 1.1) -------------------------------- */

/* A reference as the pass recorded it, in source order: the label it names,
 * with a "&" sublabel already formed "scope/name" from the scope in force
 * where it was written. A reference written in a macro body is recorded at
 * each use of the macro, each time with the body token's position. */
typedef struct orvasm_reference {
    const char* name;
    char sigil;               /* ',' '_' '.' '-' ';' ':' '=' '!' '?', or 0 for a label call */
    uint16_t address;         /* the first byte of its placeholder */
    orvasm_position position; /* of the token, with ORVASM_POSITIONS */
} orvasm_reference;

/* References in the order read; index from 0 below the count, else NULL.
 * They are kept up to a failure, so a source that does not assemble still
 * has those read before it. */
ORVASM_API size_t orvasm_result_reference_count(const orvasm_result* result);
ORVASM_API const orvasm_reference* orvasm_result_reference(const orvasm_result* result,
                                                           size_t index);

/* A macro definition and one token of its body, as stored. */
typedef struct orvasm_macro {
    const char* name;
    orvasm_position position; /* of its "%name" token, with ORVASM_POSITIONS */
    uint32_t body_length;     /* tokens in its body, at most 64 */
} orvasm_macro;

typedef struct orvasm_token {
    const char* text;
    orvasm_position position; /* with ORVASM_POSITIONS */
} orvasm_token;

/* Macros in definition order, and token `token` of the body of macro
 * `macro`; NULL past the ends. */
ORVASM_API size_t orvasm_result_macro_count(const orvasm_result* result);
ORVASM_API const orvasm_macro* orvasm_result_macro(const orvasm_result* result, size_t index);
ORVASM_API const orvasm_token* orvasm_result_macro_body(const orvasm_result* result, size_t macro,
                                                        size_t token);

/* --- Instructions (since 1.1) ----------------------------------------- */

/* The opcode `word` assembles to (a mnemonic with its mode letters "2",
 * "r" and "k", or "BRK"), 0 to 255, or -1 when the word is no instruction. */
ORVASM_API int orvasm_opcode(const char* word);
/* The mnemonic whose base opcode is `index` (0 "LIT" to 31 "SFT"), or NULL. */
ORVASM_API const char* orvasm_mnemonic(unsigned index);

/* --- Tokens (since 1.2) ------------------------------------------------ */

/* What a token is from its text alone, as the assembly decides it: by its
 * first byte, from the table the assembly dispatches on, and for a word by
 * what it holds. Context can say more: a word is a macro use where a macro
 * of its name exists (else the call of a label), and in a macro definition
 * "{" and "}" are its braces. */
enum orvasm_token_kind {
    ORVASM_TOKEN_WORD = 0,              /* a macro use or a label call; "" too */
    ORVASM_TOKEN_COMMENT = 1,           /* "(": opens a comment, up to a lone ")" */
    ORVASM_TOKEN_MALFORMED_COMMENT = 2, /* "(text": the same, with a warning */
    ORVASM_TOKEN_INCLUDE = 3,           /* "~path": the tokens of the file */
    ORVASM_TOKEN_MACRO = 4,             /* "%name": defines a macro; its body follows */
    ORVASM_TOKEN_ABSOLUTE_PADDING = 5,  /* "|hex": writing goes on at hex */
    ORVASM_TOKEN_RELATIVE_PADDING = 6,  /* "$hex": writing goes on hex bytes later */
    ORVASM_TOKEN_LABEL = 7,             /* "@name": a label, and the scope from here */
    ORVASM_TOKEN_SUBLABEL = 8,          /* "&name": the label "scope/name" */
    ORVASM_TOKEN_LITERAL = 9,           /* "#hex": a byte or short pushed by a literal */
    ORVASM_TOKEN_TEXT = 10,             /* "\"text": the bytes after the quote */
    ORVASM_TOKEN_BRACKET = 11,          /* "[" or "]" alone: ignored */
    ORVASM_TOKEN_INSTRUCTION = 12,      /* a mnemonic with its mode letters, or "BRK" */
    ORVASM_TOKEN_RAW_BYTE = 13,         /* two lower-case hexadecimal digits */
    ORVASM_TOKEN_RAW_SHORT = 14,        /* four */
    /* References: a sigil, then a label's name, or "&" and a sublabel of
     * the scope. With "," "." ";" "!" "?" an opcode comes first. */
    ORVASM_TOKEN_RELATIVE_REFERENCE = 15,      /* "," "_": a byte, the distance */
    ORVASM_TOKEN_ZERO_PAGE_REFERENCE = 16,     /* "." "-": a byte, the address's low byte */
    ORVASM_TOKEN_ABSOLUTE_REFERENCE = 17,      /* ";" ":" "=": a short, the address */
    ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE = 18 /* "!" "?": a short, the distance */
};
#define ORVASM_TOKEN_KINDS 19 /* kinds from 0 to ORVASM_TOKEN_KINDS - 1 */

/* The kind of the token whose text is the `length` bytes at `text` (which
 * need not be terminated); as in the assembly, a 0x00 ends the text. */
ORVASM_API int orvasm_token_kind(const char* text, size_t length);

/* Where the name starts in such a token, in bytes: 1 after the sigil of a
 * label, sublabel, macro definition or reference, and of an include (its
 * path); 2 after a reference's sigil and "&", where the name is that of a
 * sublabel of the scope in force; 0 in a word. Past the text's end (the
 * text's length) for a token that names nothing. */
ORVASM_API size_t orvasm_token_name_start(const char* text, size_t length);

/* The length of the token that begins at `text`, among `size` bytes, as the
 * assembly reads it: the bytes up to the first whitespace (blank, tab, line
 * feed, vertical tab, form feed or carriage return) or the end, any other
 * byte included, ")" and 0x00 (which ends the text, not the token) too. 0
 * when `text` starts with whitespace. A run longer than a token may be
 * (62 bytes) is read in pieces, whose first fails; its length is the run's,
 * all that was written. */
ORVASM_API size_t orvasm_token_length(const char* text, size_t size);

/* --- Diagnostics ----------------------------------------------------- */

enum orvasm_severity {
    ORVASM_ERROR = 0,   /* "MESSAGE: DETAIL" */
    ORVASM_WARNING = 1, /* "-- MESSAGE: DETAIL" */
    ORVASM_NOTE = 2,    /* "note: MESSAGE DETAIL", a step of the chain before it */
    ORVASM_SUMMARY = 3  /* the summary line; `message` is its text */
};

/* One line the program prints. Errors come innermost first, each failing
 * token adding its line after the cause. With ORVASM_LOCATIONS, lines carry
 * their positions and the first failure its chain: a record with `notes`
 * above 0 is followed by that many notes (the macro uses and includes it
 * happened in, where a duplicate was first defined, and the hints: a name
 * it may have meant, lower-case hexadecimal, the reason a file could not be
 * read, where a write went back). `text` is the line exactly as printed
 * (with its newline), `length` bytes.
 *
 * `fix` (since 1.2) is NULL except on a hint note whose fix is certain
 * (the one name within reach, hexadecimal in lower case): the text that
 * replaces the whole failing token, the token at the position of the error
 * record whose `notes` count this note, as ";message" for ";mesage".
 *
 * `chain` (since 1.4) is nonzero on a note that is a step of the include or
 * macro-use chain ("included from here", "in expansion of macro"), 0 on
 * every other record: a hint, where a duplicate was first defined, where a
 * write went back. New members come at the end of the record, which is read
 * through the pointer orvasm_result_diagnostic gives (the records are not
 * promised to lie in one array, and no size of theirs is): a program built
 * with an older header reads the members it knows; one built with this
 * header reads `chain` only from a library whose orvasm_version_number is
 * 10400 or more. */
typedef struct orvasm_diagnostic {
    int severity;
    const char* message;
    const char* detail;
    orvasm_position position;
    uint32_t notes;
    const char* text;
    size_t length;
    const char* fix;
    int chain;
} orvasm_diagnostic;

ORVASM_API size_t orvasm_result_diagnostic_count(const orvasm_result* result);
ORVASM_API const orvasm_diagnostic* orvasm_result_diagnostic(const orvasm_result* result,
                                                             size_t index);
/* Lines printed but not kept, past ORVASM_MAX_DIAGNOSTICS. */
ORVASM_API size_t orvasm_result_diagnostics_dropped(const orvasm_result* result);

/* Prints one line (since 1.3) to `to` (NULL: standard error) as the lines
 * of an assembly are printed: "MESSAGE: DETAIL" for ORVASM_ERROR,
 * "-- MESSAGE: DETAIL" for ORVASM_WARNING, nothing for any other severity.
 * On a terminal, control bytes of the detail are shown as "\xHH". For a
 * program's own lines beside an assembly's (its options, the files it
 * writes), which then read as the library's. NULL texts print as "". */
ORVASM_API void orvasm_print_line(FILE* to, int severity, const char* message, const char* detail);

/* Problems (since 1.2): what an editor shows, one per mistake. Each
 * warning is a problem, and a failure is one: its innermost cause, the
 * first error line (the error lines after it each name an enclosing token
 * and say nothing more). Summary and note lines are none. Problems come in
 * the order printed. orvasm_result_problem gives the index of the record
 * that heads problem `index`, whose `notes` notes follow it; past the
 * count it gives orvasm_result_diagnostic_count, which names no record.
 * Read in order, each call takes constant time. */
ORVASM_API size_t orvasm_result_problem_count(const orvasm_result* result);
ORVASM_API size_t orvasm_result_problem(const orvasm_result* result, size_t index);

/* --- Listing and files ------------------------------------------------ */

enum orvasm_listing_kind {
    ORVASM_LIST_BYTES = 0,     /* wrote `size` bytes from `address` */
    ORVASM_LIST_LABEL = 1,     /* defined a label at `address` */
    ORVASM_LIST_PADDING = 2,   /* moved the write position to `address` */
    ORVASM_LIST_EXPANSION = 3, /* a macro use: `target` names the macro; its body follows */
    ORVASM_LIST_INCLUDE = 4    /* an include: `target` names the file; its tokens follow */
};

/* The most bytes of a source line a listing keeps (since 1.2). */
#define ORVASM_LISTED_TEXT 256

/* One token as the pass handled it, with ORVASM_LISTING, in order. `depth`
 * counts the expansions and includes around it (0 for the source's own).
 * Since 1.2, `text` holds the first `text_length` bytes (at most
 * ORVASM_LISTED_TEXT) of the token's source line, without its line end and
 * the carriage returns before it, and `cut` is 1 when the line is longer
 * (its text is then its first ORVASM_LISTED_TEXT bytes). A macro body
 * token's line is that of the body, kept once per macro. */
typedef struct orvasm_listing_record {
    int kind;
    orvasm_position position;
    uint32_t address;
    uint32_t size;
    uint32_t depth;
    const char* target;
    const char* text;   /* since 1.2; "" when the line was not kept */
    size_t text_length; /* since 1.2 */
    int cut;            /* since 1.2 */
} orvasm_listing_record;

/* The records lie in one array: record `index` is at
 * orvasm_result_listing(result, 0) + index, for as long as the result
 * lives, so that a binding may read them all from the first. */
ORVASM_API size_t orvasm_result_listing_count(const orvasm_result* result);
ORVASM_API const orvasm_listing_record* orvasm_result_listing(const orvasm_result* result,
                                                              size_t index);
ORVASM_API size_t orvasm_result_listing_dropped(const orvasm_result* result);

/* One line of the listing (since 1.2): the records of one source line that
 * are shown together, as the program's --listing prints them. Consecutive
 * records of a line at one depth join it while bytes follow on from the
 * bytes before, labels stand where the line has got to, and padding comes
 * before any byte; a macro use or an include is a line of its own. */
typedef struct orvasm_listing_line {
    orvasm_position position;   /* of its first record: the file and line shown */
    uint32_t address;           /* where it starts; for padding alone, where it moved to */
    uint32_t size;              /* bytes written from `address` */
    const unsigned char* bytes; /* those bytes, in the rom; NULL when `size` is 0 */
    uint32_t depth;             /* expansions and includes around it */
    uint32_t expansions;        /* the macro expansions among them ("+" marks) */
    const char* text;           /* the source line, as in orvasm_listing_record */
    size_t text_length;
    int cut;           /* 1: the line is longer than its text, ORVASM_LISTED_TEXT bytes */
    int resumes;       /* 1: an include ended before this line, back in its file */
    const char* opens; /* an include: the file whose lines follow; else NULL */
} orvasm_listing_line;

/* The listing's lines in order, with ORVASM_LISTING; index from 0 below
 * the count, else NULL. Formed on first use; 0 lines when memory runs out
 * or records were dropped. Like the records, the lines lie in one array
 * from line 0 while the result lives. */
ORVASM_API size_t orvasm_result_listing_line_count(const orvasm_result* result);
ORVASM_API const orvasm_listing_line* orvasm_result_listing_line(const orvasm_result* result,
                                                                 size_t index);

/* Bytes written (since 1.2): `size` bytes of memory from `address`. */
typedef struct orvasm_span {
    uint32_t address;
    uint32_t size;
} orvasm_span;

/* With ORVASM_LISTING: the bytes written by the tokens of `file` (a path as
 * positions give it) that begin from line `first_line`, column
 * `first_column` to line `last_line`, column `last_column`, both included,
 * in the order written: a token's own bytes and, for a macro use or an
 * include, those of all it holds. A macro body's token, handled at each use
 * of the macro, has its bytes at each use. Spans that touch are joined.
 * Copies at most `capacity` spans to `spans` (which may be NULL) and
 * returns their full count, as snprintf. One token: its start at both
 * ends; a whole line: columns 1 and UINT32_MAX. After a failure, the bytes
 * of the tokens read before it, with placeholders still 0xff. */
ORVASM_API size_t orvasm_result_bytes_at(const orvasm_result* result, const char* file,
                                         uint32_t first_line, uint32_t first_column,
                                         uint32_t last_line, uint32_t last_column,
                                         orvasm_span* spans, size_t capacity);

/* With ORVASM_DEPENDENCIES: the files read, the source first, then each
 * included file once in the order first opened, by the path as written. */
ORVASM_API size_t orvasm_result_file_count(const orvasm_result* result);
ORVASM_API const char* orvasm_result_file(const orvasm_result* result, size_t index);

/* 1 when `path` names, on the file system, the source or a file an include
 * opened (the same file, however named): writing an output there would
 * replace an input. 0 otherwise, and for files a resolver served. */
ORVASM_API int orvasm_result_read_file(const orvasm_result* result, const char* path);

#ifdef __cplusplus
}
#endif

#endif /* ORVASM_ORVASM_H */
