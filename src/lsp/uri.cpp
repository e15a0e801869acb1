#include "lsp/uri.hpp"

#include <filesystem>
#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes "%XX" escapes; a "%" not followed by two hexadecimal digits stays
// as it is, as clients that forget to escape it mean it. False for "%00".
bool percent_decode(const std::string& text, std::string& decoded) {
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); i++) {
        bool escape = text[i] == '%' && i + 2 < text.size();
        int high = escape ? hex_digit_value(text[i + 1]) : -1;
        int low = high >= 0 ? hex_digit_value(text[i + 2]) : -1;
        if (low < 0) {
            decoded.push_back(text[i]);
            continue;
        }
        if (high == 0 && low == 0) return false;
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

} // namespace

std::string path_of_uri(const std::string& uri) {
    constexpr std::size_t SCHEME_LENGTH = 7; // "file://"
    if (uri.size() < SCHEME_LENGTH || strncasecmp(uri.c_str(), "file://", SCHEME_LENGTH) != 0)
        return {};
    std::size_t path_start = uri.find('/', SCHEME_LENGTH);
    if (path_start == std::string::npos) return {};
    std::string host = uri.substr(SCHEME_LENGTH, path_start - SCHEME_LENGTH);
    if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0) return {};
    std::string path;
    if (!percent_decode(uri.substr(path_start), path)) return {};
    return std::filesystem::path(path).lexically_normal().string();
}

std::string uri_of_path(const std::string& path) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-._~", c)) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(DIGITS[byte >> 4]);
            uri.push_back(DIGITS[byte & 0xf]);
        }
    }
    return uri;
}
