#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/installed_tree.hpp"
#include "png.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using desktop::RunResult;

const std::string bwrap = "/usr/bin/bwrap";

// The names GNOME's thumbnail factory gives the input and the output inside its sandbox.
const std::string sandboxInput = "/tmp/gnome-desktop-file-to-thumbnail.csv";
const std::string sandboxOutput = "/tmp/gnome-desktop-thumbnailer.png";
// Where `cmake --install build --prefix /usr/local` puts the project, inside the sandbox's /usr.
const fs::path sandboxPrefix = "/usr/local";

// What a desktop session passes down; HOME names a folder the sandbox does not show.
std::vector<std::string> sessionEnvironment()
{
    std::vector<std::string> env{"PATH=" + desktop::binDir(sandboxPrefix).string() + ":/usr/bin:/bin",
                                 "HOME=/home/desktop-user", "LANG=C.UTF-8"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

// The sandbox GNOME's thumbnail factory builds: the system's /usr read-only, /bin, /lib, /lib64 and
// /sbin as the links of a /usr-merged system, the loader's cache and nothing else of /etc (no fonts
// configuration), fresh /proc and /dev, every namespace unshared (no network), no home, and a private
// /tmp holding the input read-only and the output. Our scratch install is shown at /usr/local, where
// a user's `cmake --install build --prefix /usr/local` puts it.
std::vector<std::string> gnomeSandbox(const fs::path& prefix, const fs::path& outDir,
                                      const fs::path& input, const std::vector<std::string>& command)
{
    std::vector<std::string> argv{bwrap, "--ro-bind", "/usr", "/usr", "--ro-bind", "/etc/ld.so.cache", "/etc/ld.so.cache"};
    for (const char* dir : {"/bin", "/lib64", "/lib", "/sbin"}) {
        if (!fs::exists(dir)) continue;
        if (fs::is_symlink(dir)) argv.insert(argv.end(), {"--symlink", std::string("/usr") + dir, dir});
        else argv.insert(argv.end(), {"--ro-bind", dir, dir});
    }
    argv.insert(argv.end(), {"--proc", "/proc", "--dev", "/dev", "--chdir", "/", "--setenv", "GIO_USE_VFS", "local",
                             "--unshare-all", "--die-with-parent"});
    argv.insert(argv.end(), {"--ro-bind", prefix.string(), sandboxPrefix.string()});
    argv.insert(argv.end(), {"--bind", outDir.string(), "/tmp", "--ro-bind", input.string(), sandboxInput});
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}

std::optional<png::Image> decodeFile(const fs::path& file)
{
    return png::decode(testing::readBytes(file));
}

// Mean difference per colour channel, in levels of 255, between `image` and `reference` averaged down to
// the image's size; a few levels for the same picture, tens for a different one.
double meanDifference(const png::Image& image, const png::Image& reference)
{
    double total = 0;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint32_t x0 = x * reference.width / image.width, x1 = (x + 1) * reference.width / image.width;
            const std::uint32_t y0 = y * reference.height / image.height, y1 = (y + 1) * reference.height / image.height;
            for (int channel = 0; channel < 3; ++channel) {
                double sum = 0;
                for (std::uint32_t ry = y0; ry < std::max(y1, y0 + 1); ++ry) {
                    for (std::uint32_t rx = x0; rx < std::max(x1, x0 + 1); ++rx) {
                        sum += reference.rgba[(std::size_t{ry} * reference.width + rx) * 4 + channel];
                    }
                }
                const double area = std::max(x1 - x0, 1u) * std::max(y1 - y0, 1u);
                total += std::abs(image.rgba[(std::size_t{y} * image.width + x) * 4 + channel] - sum / area);
            }
        }
    }
    return total / (3.0 * image.width * image.height);
}

// One scratch install per test suite; each test gets an empty output folder, the sandbox's /tmp.
class GnomeSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch_ = std::make_unique<testing::TemporaryFolder>();
        installed_ = desktop::installInto(prefix());
    }

    static void TearDownTestSuite() { scratch_.reset(); }

    static fs::path prefix() { return scratch_->path() / "prefix"; }

    void SetUp() override
    {
        if (!fs::exists(bwrap)) GTEST_SKIP() << "bwrap is not installed";
        const RunResult probe =
            desktop::run({bwrap, "--unshare-all", "--die-with-parent", "--ro-bind", "/", "/", "/bin/true"},
                         sessionEnvironment());
        if (probe.exitCode != 0) GTEST_SKIP() << "bwrap cannot make a sandbox here: " << probe.err;
        ASSERT_EQ(installed_.exitCode, 0) << installed_.err;
        static int count = 0;
        outDir_ = scratch_->path() / ("out-" + std::to_string(++count));
        fs::create_directory(outDir_);
    }

    fs::path writeInput(std::string_view content) const
    {
        const fs::path file = outDir_.parent_path() / (outDir_.filename().string() + "-input.csv");
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    RunResult runInSandbox(const fs::path& input, const std::vector<std::string>& command) const
    {
        return desktop::run(gnomeSandbox(prefix(), outDir_, input, command), sessionEnvironment());
    }

    std::vector<std::string> thumbnailCommand(int size) const
    {
        const auto entry = desktop::readThumbnailerEntry(desktop::dataDir(prefix()) / "thumbnailers/zaro-session.thumbnailer");
        return desktop::expandExec(entry.exec, size, sandboxInput, sandboxOutput);
    }

    static inline std::unique_ptr<testing::TemporaryFolder> scratch_;
    static inline RunResult installed_;
    fs::path outDir_;
};

// bwrap makes an empty file in the sandbox's /tmp to mount the input on; the factory removes it.
const std::string inputMountPoint = "gnome-desktop-file-to-thumbnail.csv";

// Every example, plain track CSV (which the MIME database calls text/csv) among them, gets the mark.
TEST_F(GnomeSandbox, ThumbnailerRunFromTheInstalledEntryDrawsTheMarkForEverySessionFile)
{
    const auto mark = decodeFile(desktop::dataDir(prefix()) / "zaro-session/zaro-mark.png");
    ASSERT_TRUE(mark);
    ASSERT_TRUE(fs::exists(fs::path(ZARO_EXAMPLES_DIR) / "plain-track.csv"));
    for (const auto& item : fs::directory_iterator(ZARO_EXAMPLES_DIR)) {
        if (item.path().extension() != ".csv") continue;
        SCOPED_TRACE(item.path().filename().string());
        const RunResult exit = runInSandbox(item.path(), thumbnailCommand(256));
        ASSERT_EQ(exit.exitCode, 0) << exit.err;
        EXPECT_EQ(testing::folderEntries(outDir_), (std::vector<std::string>{inputMountPoint, "gnome-desktop-thumbnailer.png"}));

        const auto thumbnail = decodeFile(outDir_ / "gnome-desktop-thumbnailer.png");
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->width, 256u);
        EXPECT_EQ(thumbnail->height, 256u);
        EXPECT_LT(meanDifference(*thumbnail, *mark), 4.0);
        fs::remove(outDir_ / "gnome-desktop-thumbnailer.png");
    }
}

TEST_F(GnomeSandbox, ThumbnailerFailsAndLeavesNothingForACsvFileThatIsNoSession)
{
    const RunResult exit = runInSandbox(writeInput("Name,Price\nTea,3\nCake,4\n"), thumbnailCommand(128));
    EXPECT_NE(exit.exitCode, 0);
    EXPECT_EQ(testing::folderEntries(outDir_), std::vector<std::string>{inputMountPoint});
}

TEST_F(GnomeSandbox, PreviewDrawsTheSameCardAsOutsideWithOnlyUsrToFindFontsIn)
{
    const fs::path session = fs::path(ZARO_EXAMPLES_DIR) / "Sunday practice.csv";
    const RunResult exit = runInSandbox(session, {"zaro-session-preview", sandboxInput, "/tmp/card.png"});
    ASSERT_EQ(exit.exitCode, 0) << exit.err;
    EXPECT_EQ(exit.out, "gnome-desktop-file-to-thumbnail\n");
    const auto card = decodeFile(outDir_ / "card.png");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->width, 1680u);
    EXPECT_EQ(card->height, 1440u);

    // Outside, with the system's fonts configuration; the card names the file, so the name must match.
    const fs::path outside = scratch_->path() / "outside";
    fs::create_directories(outside);
    fs::copy_file(session, outside / inputMountPoint, fs::copy_options::overwrite_existing);
    const RunResult reference = desktop::run(
        {desktop::binDir(prefix()) / "zaro-session-preview", outside / inputMountPoint, outside / "card.png"},
        sessionEnvironment());
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const auto referenceCard = decodeFile(outside / "card.png");
    ASSERT_TRUE(referenceCard);
    EXPECT_TRUE(card->rgba == referenceCard->rgba) << "mean difference " << meanDifference(*card, *referenceCard);
}

}  // namespace
}  // namespace zaro
