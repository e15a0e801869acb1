// The workspace around a document: where its included paths are taken
// from, and which sources below that root include which files.
#pragma once

#include <set>
#include <string>

// The root of a document at `path` when the client names no workspace
// folder: the nearest directory above it that holds ".git", else its own.
std::string root_of_document(const std::string& path);

// The full paths of the files that the sources below `root` include, as
// the assembler reads their include tokens (outside comments). A bounded
// look, since a document without a repository may lie in a home directory
// or at "/": at most MAX_SOURCES_SEARCHED ".orv" files of at most 1 MiB,
// among the first MAX_ENTRIES_VISITED entries, eight directories deep,
// hidden directories left out.
constexpr int MAX_SOURCES_SEARCHED = 1000;
constexpr int MAX_ENTRIES_VISITED = 5000;
std::set<std::string> included_below(const std::string& root);
