// Turns the end-to-end cases and the examples into fuzz seeds, so that the
// fuzzer starts from every construct the suite already knows about.
//
//   orvasm_fuzz_seeds ROOT OUT_DIR FILE...
//
// A *.case file (read by tests/support/case_file.cpp; its "--- copy" paths
// are taken from under ROOT) gives its source, in.orv, followed by the first
// three other files it creates, renamed "a", "b" and "c" (and the includes
// naming them rewritten to match), in the harness's input layout. Any other
// file is a source as is.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "support/case_file.hpp"
#include "support/files.hpp"

namespace fs = std::filesystem;

namespace {

const std::string SEPARATOR = "\n--8<--\n";

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string seed_of_case(const Case& c) {
    static const char* const names[] = {"a", "b", "c"};
    const CaseFile* source = find_case_file(c.files, CASE_SOURCE);
    std::string seed = source ? source->bytes : "";
    std::vector<const CaseFile*> included;
    for (const CaseFile& file : c.files)
        if (&file != source && included.size() < 3) included.push_back(&file);
    for (const CaseFile* file : included) seed += SEPARATOR + file->bytes;
    for (std::size_t i = 0; i < included.size(); i++)
        replace_all(seed, "~" + included[i]->name, std::string("~") + names[i]);
    return seed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: orvasm_fuzz_seeds ROOT OUT_DIR FILE...\n";
        return 1;
    }
    fs::path root = argv[1];
    fs::path out_dir = argv[2];
    try {
        fs::create_directories(out_dir);
        for (int i = 3; i < argc; i++) {
            fs::path input = argv[i];
            std::string seed = input.extension() == ".case" ? seed_of_case(read_case(input, root))
                                                            : read_file(input);
            write_file(out_dir / (input.stem().string() + ".seed"), seed);
        }
    } catch (const std::exception& error) {
        std::cerr << "orvasm_fuzz_seeds: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
