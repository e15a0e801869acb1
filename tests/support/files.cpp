// Reading and writing whole files through <cstdio>; every failure is an
// exception that names the path.
#include "support/files.hpp"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

} // namespace

std::string read_file(const std::filesystem::path& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) throw std::runtime_error("cannot open " + path.string());
    std::string bytes;
    char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;)
        bytes.append(block, got);
    // A directory opens but fails on its first read.
    if (std::ferror(file.get())) throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot create " + path.string());
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written)
        throw std::runtime_error("cannot write " + path.string());
}
