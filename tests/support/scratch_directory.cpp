// A fresh name is tried until one is not taken: create_directory makes it
// only where nothing stood, so two tests never share one.
#include "support/scratch_directory.hpp"

#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const fs::path base = fs::temp_directory_path();
    static const char DIGITS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = prefix + "-";
        for (int i = 0; i < 8; i++) name += DIGITS[random() % (sizeof DIGITS - 1)];
        if (fs::create_directory(base / name)) {
            path_ = base / name;
            fs::permissions(path_, fs::perms::owner_all);
            return;
        }
    }
    throw std::runtime_error("no new directory could be made in " + base.string());
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored; // a test that failed may have left it half removed
    fs::remove_all(path_, ignored);
}
