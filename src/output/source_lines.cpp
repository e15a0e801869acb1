#include "output/source_lines.hpp"

#include <cstdio>
#include <cstdlib>
#include <set>

FileLines::FileLines(const AssemblerState& state, const ListingRecord* records,
                     std::size_t count) {
    std::map<std::uint16_t, std::set<std::uint32_t>> wanted;
    for (std::size_t i = 0; i < count; i++)
        wanted[records[i].position.file].insert(records[i].position.line);
    for (const auto& [file, numbers] : wanted) {
        std::FILE* stream = std::fopen(file_path(state, file), "rb");
        if (!stream) continue;
        char* line = nullptr;
        std::size_t capacity = 0;
        auto next = numbers.begin();
        for (std::uint32_t number = 1; next != numbers.end(); number++) {
            ssize_t length = getline(&line, &capacity, stream);
            if (length < 0) break;
            if (number != *next) continue;
            std::size_t kept = static_cast<std::size_t>(length);
            while (kept > 0 && (line[kept - 1] == '\n' || line[kept - 1] == '\r')) kept--;
            lines_[{file, number}].assign(line, kept);
            ++next;
        }
        std::free(line);
        std::fclose(stream);
    }
}

const char* FileLines::text(void* context, std::uint16_t file, std::uint32_t line,
                            std::size_t* length) {
    const auto& lines = static_cast<FileLines*>(context)->lines_;
    auto found = lines.find({file, line});
    if (found == lines.end()) return nullptr;
    *length = found->second.size();
    return found->second.data();
}
