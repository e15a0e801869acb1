// The workspace around a document: its root, and the files the sources
// below that root include, as far as the bounded look goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "lsp/workspace.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class Workspace : public testing::Test {
  protected:
    ScratchDirectory scratch_{"orvasm-workspace"};
    const fs::path root_ = scratch_.path();
    std::string at(const std::string& relative) { return (root_ / relative).string(); }
};

TEST_F(Workspace, TheRootIsTheNearestRepositoryElseTheDocumentsDirectory) {
    put(root_ / "repo/src/deep/main.orv", "");
    put(root_ / "loose/main.orv", "");
    fs::create_directory(root_ / "repo/.git");
    EXPECT_EQ(root_of_document(at("repo/src/deep/main.orv")), at("repo"));
    EXPECT_EQ(root_of_document(at("loose/main.orv")), at("loose"));
    EXPECT_EQ(root_of_document("main.orv"), ""); // a bare name has no directory
}

TEST_F(Workspace, IncludesOutsideCommentsOfVisibleSourcesAreFound) {
    put(root_ / "main.orv", "~lib/a.orv ( ~commented.orv ) ~ ~/abs/b.orv ~sub/../c.orv");
    put(root_ / "sub/two.orv", "~d.orv");
    put(root_ / "notes.txt", "~not-a-source.orv");
    put(root_ / ".hidden/h.orv", "~hidden-dir.orv");
    put(root_ / ".h.orv", "~hidden-file.orv");
    fs::create_directories(root_ / "dir.orv"); // a directory named as a source
    put(root_ / "big.orv", "~big.orv " + std::string(1 << 20, ' '));
    // Eight directories deep at most: the ninth is not entered.
    put(root_ / "1/2/3/4/5/6/7/8/9/deep.orv", "~deepest.orv");
    put(root_ / "1/2/3/4/5/6/7/8/shallow.orv", "~shallow.orv");
    std::set<std::string> expected = {at("lib/a.orv"), "/abs/b.orv", at("c.orv"), at("d.orv"),
                                      at("shallow.orv")};
    EXPECT_EQ(included_below(root_.string()), expected);
}

TEST_F(Workspace, AtMost1000SourcesAreSearched) {
    for (int i = 0; i <= MAX_SOURCES_SEARCHED; i++)
        put(root_ / ("s" + std::to_string(i) + ".orv"), "~i" + std::to_string(i) + ".orv");
    EXPECT_EQ(included_below(root_.string()).size(), std::size_t{MAX_SOURCES_SEARCHED});
}

TEST_F(Workspace, ARootThatIsNoDirectoryHasNoIncludes) {
    EXPECT_TRUE(included_below(at("missing")).empty());
}

} // namespace
