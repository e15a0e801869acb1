// Whole files as byte strings, for the tests and the fuzz seed maker.
#pragma once

#include <filesystem>
#include <string>

// The bytes of the file at `path`. Throws std::runtime_error naming the path
// when it cannot be opened or read, so that a wrong path is never mistaken
// for an empty file.
std::string read_file(const std::filesystem::path& path);

// Creates or truncates the file at `path` and writes `bytes` to it. Throws
// std::runtime_error naming the path when that fails.
void write_file(const std::filesystem::path& path, const std::string& bytes);
