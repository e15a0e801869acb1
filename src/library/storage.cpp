// Where a result keeps copies of strings: blocks of at least 64 KiB, a
// longer string in a block of its own, up to MAX_TEXT in all.
#include <cstdlib>
#include <cstring>

#include "library/result.hpp"

constexpr std::size_t TEXT_BLOCK_SIZE = 65536;

void* allocate_block(std::size_t size) {
    return std::malloc(size);
}

void release_block(void* block) {
    std::free(block);
}

char* reserve_text(TextArena& arena, std::size_t length) {
    TextBlock* block = arena.blocks;
    if (!block || block->size - block->used <= length) {
        std::size_t size = length < TEXT_BLOCK_SIZE ? TEXT_BLOCK_SIZE : length + 1;
        if (size > MAX_TEXT - arena.total) return nullptr;
        block = static_cast<TextBlock*>(allocate_block(sizeof(TextBlock) + size));
        if (!block) return nullptr; // GCOVR_EXCL_BR_LINE: memory ran out
        *block = {arena.blocks, 0, size};
        arena.blocks = block;
        arena.total += size;
    }
    char* space = reinterpret_cast<char*>(block + 1) + block->used;
    space[length] = '\0';
    block->used += length + 1;
    return space;
}

const char* keep_text(TextArena& arena, const char* text, std::size_t length) {
    char* copy = reserve_text(arena, length);
    if (copy && length > 0) std::memcpy(copy, text, length);
    return copy;
}

void release_text(TextArena& arena) {
    while (TextBlock* block = arena.blocks) {
        arena.blocks = block->next;
        release_block(block);
    }
    arena.total = 0;
}
