// The file names behind the protocol's document URIs.
#pragma once

#include <string>

// The path a "file:" URI names, percent-decoded and lexically normal
// ("/a/./b/../c" is "/a/c"), so that two spellings of one file compare
// equal. Empty for other schemes, for hosts other than "localhost", and for
// a path that would hold a NUL byte.
std::string path_of_uri(const std::string& uri);

// The "file:" URI of an absolute path, with every byte but letters, digits
// and "/-._~" percent-encoded.
std::string uri_of_path(const std::string& path);
