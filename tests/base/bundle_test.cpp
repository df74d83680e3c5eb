#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(Bundle, MainIsTheFolderTheVariableNamesOrElseTheSourceTreesResources)
{
    const TemporaryFolder folder;
    ::setenv(resourcesVariable, folder.path().c_str(), 1);
    EXPECT_EQ(Bundle::main().resourceDirectory(), folder.path());
    ::unsetenv(resourcesVariable);
    EXPECT_EQ(Bundle::main().resourceDirectory(), std::filesystem::path(ZARO_EXAMPLES_DIR).parent_path() / "resources");
}

}  // namespace
}  // namespace zaro
