// The library's answers about tokens, for agree_test.py: reads one token a
// line, written in hexadecimal so that any byte survives, and prints for
// each its kind, where its name starts and its length as the assembly reads
// it, separated by blanks.
#include <cstdio>
#include <string>

#include "orvasm/orvasm.h"

int main() {
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string token;
        unsigned byte = 0;
        for (const char* at = line; std::sscanf(at, "%2x", &byte) == 1; at += 2)
            token.push_back(static_cast<char>(byte));
        std::printf("%d %zu %zu\n", orvasm_token_kind(token.data(), token.size()),
                    orvasm_token_name_start(token.data(), token.size()),
                    orvasm_token_length(token.data(), token.size()));
    }
    return 0;
}
