#include "output/source_lines.hpp"

#include <cstdio>
#include <cstdlib>

FileLines::FileLines(const AssemblerState& state, const ListingRecord* records, std::size_t count) {
    // Which lines are wanted: a text of length 1 marks one, until it is read.
    for (std::size_t i = 0; i < count; i++) {
        const SourcePosition& at = records[i].position;
        if (lines_.size() <= at.file) lines_.resize(at.file + 1u);
        std::vector<Text>& file = lines_[at.file];
        if (file.size() <= at.line) file.resize(at.line + 1u, {0, 0});
        file[at.line].length = 1;
    }
    char* text = nullptr;
    std::size_t capacity = 0;
    for (std::size_t number = 0; number < lines_.size(); number++) {
        std::vector<Text>& file = lines_[number];
        std::FILE* stream =
            file.empty() ? nullptr
                         : std::fopen(file_path(state, static_cast<std::uint16_t>(number)), "rb");
        // Each file is read once, up to the last line wanted.
        for (std::size_t line = 1; line < file.size(); line++) {
            bool wanted = file[line].length != 0;
            file[line] = {0, 0};
            ssize_t length = stream ? getline(&text, &capacity, stream) : -1;
            if (length < 0) {
                if (stream) std::fclose(stream);
                stream = nullptr;
                continue;
            }
            if (!wanted) continue;
            std::size_t kept = static_cast<std::size_t>(length);
            while (kept > 0 && (text[kept - 1] == '\n' || text[kept - 1] == '\r')) kept--;
            file[line] = {static_cast<std::uint32_t>(texts_.size()),
                          static_cast<std::uint32_t>(kept) + 1};
            texts_.append(text, kept);
        }
        if (stream) std::fclose(stream);
    }
    std::free(text);
}

const char* FileLines::text(void* context, std::uint16_t file, std::uint32_t line,
                            std::size_t* length) {
    const auto& lines = *static_cast<FileLines*>(context);
    if (file >= lines.lines_.size() || line >= lines.lines_[file].size()) return nullptr;
    const Text& found = lines.lines_[file][line];
    // A length of 0 marks a line that could not be read; a read line's is one more.
    if (found.length == 0) return nullptr;
    *length = found.length - 1;
    return lines.texts_.data() + found.offset;
}
