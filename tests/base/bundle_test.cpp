#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/bundle.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

using support::TemporaryFolder;
using support::writeFile;

TEST(Bundle, FindsAResourceByNameAndExtensionWhenItIsThere)
{
    const TemporaryFolder folder;
    writeFile(folder / "zaro-mark.png", "png");
    std::filesystem::create_directory(folder / "folder.png");
    const Bundle bundle(folder.path());
    EXPECT_EQ(bundle.urlForResource("zaro-mark", "png"), folder / "zaro-mark.png");
    EXPECT_EQ(bundle.urlForResource("zaro-mark", "jpg"), std::nullopt);
    EXPECT_EQ(bundle.urlForResource("other", "png"), std::nullopt);
    EXPECT_EQ(bundle.urlForResource("folder", "png"), std::nullopt);
    EXPECT_EQ(bundle.urlForResource("", "png"), std::nullopt);
    EXPECT_EQ(Bundle(std::nullopt).urlForResource("zaro-mark", "png"), std::nullopt);
}

// The test program lies in the build's tests/, beside which the build lays out share/zaro-session as
// an install does; the source tree is never looked at.
TEST(Bundle, MainIsTheFolderTheVariableNamesOrElseTheOneBesideTheProgram)
{
    const TemporaryFolder folder;
    const char* given = std::getenv(resourcesVariable);
    const std::string kept = given ? given : "";
    ::setenv(resourcesVariable, folder.path().c_str(), 1);
    EXPECT_EQ(Bundle::main().resourceDirectory(), folder.path());
    ::unsetenv(resourcesVariable);
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(Bundle::main().resourceDirectory(), (program.parent_path() / "../share/zaro-session").lexically_normal());
    if (given) ::setenv(resourcesVariable, kept.c_str(), 1);
}

}  // namespace
}  // namespace zaro
