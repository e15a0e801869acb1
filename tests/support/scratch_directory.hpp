// A directory of a test's own under the system's temporary directory.
#pragma once

#include <filesystem>
#include <string>

// Made new and empty (open to its owner only, as mkdtemp makes one) by the constructor, with a
// name that starts with `prefix`; removed with all it holds by the
// destructor. Throws std::runtime_error when none can be made. Standard
// library only, so that the platform tests use it on Windows too.
class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::string& prefix);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};
