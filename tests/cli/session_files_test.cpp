// The files that list and bests take from a folder: session logs by their names' endings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/session_files.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

TEST(SessionFiles, AFolderGivesItsCsvAndVboFilesInAnyCase)
{
    const support::TemporaryFolder folder;
    for (const char* name : {"a.csv", "b.VBO", "c.vbo", "d.txt", "e.vbox", "vbo", "f.Csv"}) support::writeFile(folder / name, "");
    const std::vector<std::string> operands{folder.path().string()};
    const cli::FoundFiles found = cli::findSessionFiles(operands);
    std::vector<std::string> expected;
    for (const char* name : {"a.csv", "b.VBO", "c.vbo", "f.Csv"}) expected.push_back((folder / name).string());
    EXPECT_EQ(found.paths, expected);
    EXPECT_TRUE(found.unread.empty());
}

}  // namespace
}  // namespace zaro
