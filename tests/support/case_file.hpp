// The .case format of the end-to-end tests (tests/cases/README.md): one run
// of the program, its files and what it must leave. Read by the case runner
// and by the fuzz seed maker, so that both see the same bytes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct CaseFile {
    std::string name; // a path relative to the run's directory
    std::string bytes;
};

struct Case {
    std::vector<CaseFile> files;   // created before the run, in the order of the case
    std::vector<std::string> dirs; // empty directories created before the run
    std::vector<std::string> args = {"in.orv", "out.rom"};
    int status = 0;
    std::string stderr_text;
    std::string stdout_text;        // only --help and --version write there
    std::vector<CaseFile> expected; // files that must hold these bytes after the run
};

// The file a "--- source" section creates.
inline const std::string CASE_SOURCE = "in.orv";

// The case in `text`; `name` (usually the file name) begins every error, and
// "--- copy" paths are read from under `root`. Throws std::runtime_error on
// anything the format does not allow, naming the section: an unknown or
// repeated section, a header with the wrong words, a bad status, bad bytes.
Case parse_case(const std::string& text, const std::string& name,
                const std::filesystem::path& root);

// parse_case of the file at `path`, named by its file name.
Case read_case(const std::filesystem::path& path, const std::filesystem::path& root);

// The bytes written in the byte notation: whitespace-separated items, each
// two hexadecimal digits ("a0"), a repeated byte ("00*256") or text in double
// quotes, taken byte for byte up to the next quote ("\"a  b\"" keeps both
// blanks). Throws std::runtime_error starting with `where` on a bad item.
std::string parse_bytes(const std::string& text, const std::string& where);

// The file called `name` in `files`, or nullptr.
const CaseFile* find_case_file(const std::vector<CaseFile>& files, const std::string& name);
