// libFuzzer entry for the program's output step: each input is assembled
// through the library with a listing and the files read, then
//  - the listing is written by the program's writer into memory and read
//    back: every row's bytes are the rom's at its address, every byte of
//    every listed line is shown once, and the text stays within a bound set
//    by what it lists;
//  - the depfile is written for the files read and for names carved from
//    the input (any bytes), and whenever the writer accepts them, its rules
//    read back, with make's escapes, as exactly those paths;
//  - the input's bytes are written through the output-file layer over a
//    file in a scratch directory (made once under TMPDIR, removed at exit),
//    with an injected failure to create or rename now and then: a commit
//    leaves exactly the bytes written, an abandon or a failure the old file
//    whole, and no temporary file is left.
//
// Input layout, as for the assembler's harness (its seeds and corpus fit):
// the main source "in.orv", then the included files "a", "b" and "c", each
// part after a line "--8<--". Any path whose first byte is a, b or c is
// served that file, so the fuzzer can include it under any name.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "orvasm/orvasm.h"
#include "output/depfile_writer.hpp"
#include "output/listing_writer.hpp"
#include "output/output_file.hpp"

namespace {

constexpr char SEPARATOR[] = "\n--8<--\n";
constexpr std::size_t SEPARATOR_LENGTH = sizeof SEPARATOR - 1;
constexpr std::size_t BYTES_PER_ROW = 8;
constexpr char LABELS_HEADER[] = "\n; labels by address: address, uses, name\n";

std::string_view parts[4]; // in.orv, a, b, c
std::size_t part_count;

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "finding: %s\n", why);
    std::abort();
}

void split_input(std::string_view input) {
    part_count = 0;
    while (part_count < 4) {
        std::size_t stop = input.find(std::string_view(SEPARATOR, SEPARATOR_LENGTH));
        parts[part_count++] = input.substr(0, stop);
        if (stop == std::string_view::npos) break;
        input.remove_prefix(stop + SEPARATOR_LENGTH);
    }
}

int serve(void*, const char* path, const unsigned char** data, std::size_t* size) {
    std::size_t part = std::string_view("abc").find(path[0]);
    part = std::strcmp(path, "in.orv") == 0 ? 0 : part == std::string_view::npos ? 4 : part + 1;
    if (path[0] == '\0' || part >= part_count) return ORVASM_NOT_FOUND;
    *data = reinterpret_cast<const unsigned char*>(parts[part].data());
    *size = parts[part].size();
    return ORVASM_FOUND;
}

// A stream into memory; text() closes it and gives what was written.
class MemoryText {
  public:
    MemoryText() : file_(open_memstream(&data_, &size_)) {
        if (!file_) fail("open_memstream failed");
    }
    ~MemoryText() {
        if (file_) std::fclose(file_);
        std::free(data_);
    }
    std::FILE* file() { return file_; }
    std::string_view text() {
        std::fclose(file_);
        file_ = nullptr;
        return {data_, size_};
    }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The value of `digits` lower-case hexadecimal digits at `at`, or -1.
long hex_at(std::string_view row, std::size_t at, std::size_t digits) {
    long value = 0;
    for (std::size_t i = at; i < at + digits; i++) {
        int digit = i < row.size() ? hex_digit(row[i]) : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// Reads a row "ADDR" and up to eight " BB" back; each byte must be the
// rom's at its address. Returns how many bytes it shows.
std::size_t check_row(std::string_view row, const unsigned char* rom, std::size_t rom_size) {
    long address = hex_at(row, 0, 4);
    if (address < 0 || row.size() < 5 || row[4] != ' ') fail("a listing row without its address");
    std::size_t count = 0;
    for (; count < BYTES_PER_ROW && row.size() > 5 + 3 * count && row[5 + 3 * count] == ' ';
         count++) {
        long byte = hex_at(row, 6 + 3 * count, 2);
        if (byte < 0) break;
        std::size_t offset = static_cast<std::size_t>(address) + count - ORVASM_PROGRAM_START;
        if (address + count < ORVASM_PROGRAM_START || offset >= rom_size)
            fail("a listed byte outside the rom");
        if (rom[offset] != byte) fail("a listed byte differs from the rom");
    }
    return count;
}

// The most bytes the listing of `result` may take: a fixed share per line
// and per label, and what each shows (its bytes, text, marks and paths).
std::size_t listing_bound(const orvasm_result* result, const char* source_path) {
    std::size_t lines = orvasm_result_listing_line_count(result), widest = 0, bound = 256;
    for (std::size_t i = 0; i < lines; i++) {
        const orvasm_listing_line& line = *orvasm_result_listing_line(result, i);
        widest = std::max(widest, line.position.file ? std::strlen(line.position.file) : 0);
    }
    bound += std::strlen(source_path);
    for (std::size_t i = 0; i < lines; i++) {
        const orvasm_listing_line& line = *orvasm_result_listing_line(result, i);
        bound += 64 + 3 * widest + line.text_length + line.expansions + 4 * line.size;
        if (line.opens) bound += std::strlen(line.opens) + 32;
    }
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++)
        bound += 16 + std::strlen(orvasm_result_symbol(result, i)->name);
    return bound;
}

// Reads the listing's rows back against the rom, the lines the library
// formed, and the labels.
void check_listing_text(const orvasm_result* result, std::string_view text) {
    std::size_t labels_at = text.find(LABELS_HEADER);
    if (labels_at == std::string_view::npos) fail("a listing without its labels");
    std::string_view rows = text.substr(0, labels_at), labels = text.substr(labels_at);
    std::size_t rom_size = 0, shown = 0, expected = 0, row_count = 0, expected_rows = 0;
    const unsigned char* rom = orvasm_result_rom(result, &rom_size);
    for (std::size_t at = rows.find('\n') + 1, end; at < rows.size(); at = end + 1) {
        end = rows.find('\n', at);
        std::string_view row = rows.substr(at, end - at);
        if (row.substr(0, 2) == "; ") continue;
        shown += check_row(row, rom, rom_size);
        row_count++;
    }
    for (std::size_t i = 0; i < orvasm_result_listing_line_count(result); i++) {
        std::size_t size = orvasm_result_listing_line(result, i)->size;
        expected += size;
        expected_rows += 1 + (size > BYTES_PER_ROW ? (size - 1) / BYTES_PER_ROW : 0);
    }
    if (shown != expected || row_count != expected_rows) fail("listed bytes lost or repeated");
    std::size_t label_rows = 0;
    for (char c : labels.substr(sizeof LABELS_HEADER - 1)) label_rows += c == '\n';
    if (label_rows != orvasm_result_symbol_count(result)) fail("labels lost or repeated");
}

void check_listing(const orvasm_result* result) {
    MemoryText listing;
    bool written = write_listing(result, "in.orv", listing.file());
    std::string_view text = listing.text();
    if (text.size() > listing_bound(result, "in.orv")) fail("a listing past its bound");
    if (written && orvasm_result_status(result) != ORVASM_FAILED) check_listing_text(result, text);
}

// Reads one rule of the depfile back as make would with the escapes the
// writer uses; false on text the writer never writes.
bool read_rule(std::string_view line, std::vector<std::string>& targets,
               std::vector<std::string>& prerequisites) {
    std::vector<std::string>* words = &targets;
    std::string word;
    bool in_word = false;
    for (std::size_t i = 0; i < line.size();) {
        char c = line[i];
        std::size_t run = line.find_first_not_of('\\', i) - i;
        char after = i + run < line.size() ? line[i + run] : '\0';
        if (c == '\\' && after == ' ' && run % 2 == 1) {
            word.append(run / 2, '\\').push_back(' '); // 2N+1 backslashes and a blank
            i += run + 1;
        } else if (c == '\\' && run == 1 && (after == '#' || after == ':' || after == '%')) {
            if (after == '%' && words != &targets) return false;
            word.push_back(after);
            i += 2;
        } else if (c == '\\') {
            if (after == ' ' || after == '\0') return false;
            word.append(run, '\\');
            i += run;
        } else if (c == '$') {
            if (i + 1 >= line.size() || line[i + 1] != '$') return false;
            word.push_back('$');
            i += 2;
        } else if (c == ' ' || c == ':') {
            if (in_word) words->push_back(word);
            word.clear();
            in_word = false;
            if (c == ':' && words == &prerequisites) return false;
            if (c == ':') words = &prerequisites;
            i++;
            continue;
        } else {
            if (c == '#' || (c == '%' && words == &targets)) return false;
            word.push_back(c);
            i++;
        }
        in_word = true;
    }
    if (in_word) words->push_back(word);
    return words == &prerequisites;
}

// The depfile must read back as "ROM ROM.sym: SOURCE INCLUDED..." with
// each included path once, then an empty rule for each.
void check_depfile_text(std::string_view text, const std::vector<std::string>& included,
                        const std::string& source, const std::string& rom) {
    std::vector<std::string> unique;
    for (const std::string& path : included)
        if (std::find(unique.begin(), unique.end(), path) == unique.end()) unique.push_back(path);
    std::vector<std::string> targets, prerequisites;
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos || !read_rule(text.substr(0, end), targets, prerequisites))
        fail("a depfile rule that does not read back");
    std::vector<std::string> expected = {source};
    expected.insert(expected.end(), unique.begin(), unique.end());
    if (targets != std::vector<std::string>{rom, rom + ".sym"} || prerequisites != expected)
        fail("a depfile rule that reads back as other paths");
    for (const std::string& path : unique) {
        std::size_t start = end + 2, stop = text.find('\n', start);
        if (text.substr(end, 2) != "\n\n" || stop == std::string_view::npos)
            fail("a depfile without an empty rule");
        targets.clear();
        prerequisites.clear();
        if (!read_rule(text.substr(start, stop - start), targets, prerequisites) ||
            targets != std::vector<std::string>{path} || !prerequisites.empty())
            fail("an empty rule that reads back as another path");
        end = stop;
    }
    if (end + 1 != text.size()) fail("a depfile with text after its rules");
}

// True for a path every make reads as it is, which the writer must accept.
bool plain(const std::string& path) {
    return !path.empty() && path[0] != '~' &&
           path.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._/+-") ==
               std::string::npos;
}

// Up to `count` lines of the input, cut to 200 bytes, as extra path names.
void carve_names(std::string_view input, std::size_t count, std::vector<std::string>& names) {
    for (std::size_t i = 0; i < count && !input.empty(); i++) {
        std::size_t end = std::min(input.find('\n'), input.size());
        std::string name(input.substr(0, std::min<std::size_t>(end, 200)));
        names.push_back(name.substr(0, name.find('\0')));
        input.remove_prefix(std::min(end + 1, input.size()));
    }
}

void check_depfile(const orvasm_result* result, std::string_view input, std::uint32_t picked) {
    std::vector<std::string> included, carved;
    for (std::size_t i = 1; i < orvasm_result_file_count(result); i++)
        included.emplace_back(orvasm_result_file(result, i));
    carve_names(input, picked % 4 + 1, carved);
    // The first carved name is the rom's on some inputs; the others join
    // the included files somewhere among them.
    std::string rom = (picked & 4) && !carved.empty() ? carved[0] : "out.rom";
    auto extra = carved.begin() + (carved.empty() ? 0 : 1);
    included.insert(included.begin() + (picked >> 3) % (included.size() + 1), extra, carved.end());
    std::vector<const char*> pointers;
    for (const std::string& path : included) pointers.push_back(path.c_str());
    MemoryText depfile;
    bool written =
        write_depfile(pointers.data(), pointers.size(), "in.orv", rom.c_str(), depfile.file());
    std::string_view text = depfile.text();
    bool all_plain = plain(rom);
    for (const std::string& path : included) all_plain = all_plain && plain(path);
    if (all_plain && !written) fail("plain paths refused");
    if (written) check_depfile_text(text, included, "in.orv", rom);
}

// --- The output-file layer, over a scratch directory ---------------------

std::string scratch;                    // the directory, made on first use
std::string old_contents;               // what scratch/out holds now
int create_error = 0, rename_error = 0; // injected, 0 for none

void remove_scratch() {
    if (DIR* dir = opendir(scratch.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.' || std::strlen(entry->d_name) > 2)
                unlink((scratch + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(scratch.c_str());
}

void make_scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvasm-fuzz-outputs-XXXXXX";
    if (!mkdtemp(pattern.data())) fail("no scratch directory");
    scratch = pattern;
    std::FILE* out = std::fopen((scratch + "/out").c_str(), "wb");
    if (!out || std::fclose(out) != 0 || symlink("out", (scratch + "/link").c_str()) != 0)
        fail("the scratch directory cannot be filled");
    std::atexit(remove_scratch);
}

int create_injected(const char* path, mode_t mode) {
    errno = create_error;
    return create_error ? -1 : SYSTEM_FILE_CALLS.create(path, mode);
}

int rename_injected(const char* from, const char* to) {
    errno = rename_error;
    return rename_error ? -1 : SYSTEM_FILE_CALLS.rename(from, to);
}

const FileCalls INJECTED_CALLS = {create_injected, rename_injected};

std::string read_file(const std::string& path) {
    std::string contents;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) fail("an output file gone");
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
        contents.append(block, got);
    std::fclose(file);
    return contents;
}

// The scratch directory holds "out" and "link" (to "out") and nothing else.
void check_scratch_entries() {
    struct stat link;
    if (lstat((scratch + "/link").c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        fail("a link replaced");
    DIR* dir = opendir(scratch.c_str());
    int entries = 0;
    while (const dirent* entry = readdir(dir)) entries++;
    closedir(dir);
    if (entries != 4) fail("a temporary file left behind");
}

// Writes the input over scratch/out (or through scratch/link) with a
// failure picked by `picked`, and checks what the file holds afterwards.
void check_output_file(std::string_view input, std::uint32_t picked) {
    static const int faults[][2] = {{0, 0},      {0, 0},   {0, 0},     {EACCES, 0}, {EROFS, 0},
                                    {ENOSPC, 0}, {EIO, 0}, {0, EBUSY}, {0, EPERM},  {0, EXDEV}};
    if (scratch.empty()) make_scratch();
    const int* fault = faults[(picked >> 5) % (sizeof faults / sizeof faults[0])];
    create_error = fault[0];
    rename_error = fault[1];
    bool commit = (picked >> 9) & 1, in_place = create_error == EACCES || create_error == EROFS;
    OutputFile output;
    output.calls = &INJECTED_CALLS;
    std::string path = scratch + ((picked >> 10) & 1 ? "/link" : "/out");
    bool opened = open_output(output, path.c_str());
    if (opened != (create_error == 0 || in_place)) fail("open_output failed or not as it should");
    if (opened && std::fwrite(input.data(), 1, input.size(), output.stream) != input.size())
        fail("a write to an output failed");
    bool committed = opened && commit && commit_output(output);
    if (opened && !commit) abandon_output(output);
    bool copies = rename_error == EBUSY || rename_error == EPERM;
    if (opened && commit && committed != (rename_error == 0 || copies || in_place))
        fail("commit_output failed or not as it should");
    if (committed || (opened && in_place)) old_contents = input;
    if (read_file(scratch + "/out") != old_contents) fail("an output holds other bytes");
    check_scratch_entries();
}

std::uint32_t hash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
    return h;
}

orvasm_assembler* kept = orvasm_assembler_new();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    split_input(input);
    std::uint32_t picked = hash(data, size);
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = "in.orv";
    options.resolver = &serve;
    options.flags =
        ORVASM_LISTING | ORVASM_DEPENDENCIES | ((picked >> 11) & 1 ? ORVASM_LOCATIONS : 0);
    options.rom_name = "out.rom";
    orvasm_result* result = orvasm_assemble(kept, &options);
    if (!result) fail("no result");
    check_listing(result);
    check_depfile(result, input, picked);
    check_output_file(input, picked);
    orvasm_result_free(result);
    return 0;
}
