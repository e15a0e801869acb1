#include "output/output_file.hpp"

#include "platform/platform.hpp"

namespace {

bool open_in_place(OutputFile& output, const char* path) {
    output.target = path;
    output.temporary.clear();
    output.stream = platform::open_file(path, "wb");
    return output.stream != nullptr;
}

} // namespace

bool open_output(OutputFile& output, const char* path) {
    output.target = platform::follow_links(path);
    if (output.target.empty()) return open_in_place(output, path);
    platform::ReplacedFile existing = platform::look_up(output.target.c_str());
    if (existing.exists && !existing.regular) return open_in_place(output, path);
    // Replacing must not get round a file that may not be written.
    if (existing.exists && !platform::may_write(output.target.c_str())) return false;
    output.stream = platform::create_beside(output.target, existing, output.temporary);
    if (output.stream) return true;
    return open_in_place(output, path);
}

bool commit_output(OutputFile& output) {
    bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    if (output.temporary.empty()) return closed;
    if (closed && platform::replace_file(output.temporary, output.target)) return true;
    platform::remove_file(output.temporary);
    return false;
}

void abandon_output(OutputFile& output) {
    std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary.empty()) platform::remove_file(output.temporary);
}
