#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "desktop/installed_tree.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;

const std::string sessionType = "application/x-zaro-session";

template <auto destroy>
struct Destroy {
    template <typename T>
    void operator()(T* handle) const { destroy(handle); }
};

using FilePtr = std::unique_ptr<GFile, Destroy<g_object_unref>>;
using FileInfoPtr = std::unique_ptr<GFileInfo, Destroy<g_object_unref>>;
using ErrorPtr = std::unique_ptr<GError, Destroy<g_error_free>>;

// The type a GLib file manager shows for a file: what GIO reads from the name and, when that is
// ambiguous, the first bytes.
std::string contentType(const fs::path& file)
{
    FilePtr handle(g_file_new_for_path(file.c_str()));
    GError* rawError = nullptr;
    FileInfoPtr info(g_file_query_info(handle.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                       nullptr, &rawError));
    ErrorPtr error(rawError);
    if (!info) return "(error: " + std::string(error ? error->message : "unknown") + ")";
    const char* type = g_file_info_get_content_type(info.get());
    return type ? type : "(none)";
}

// One scratch install per test suite. GLib reads its data folders once per process, so they are pointed
// at the install before anything asks GLib for a type.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch_ = std::make_unique<testing::TemporaryFolder>();
        installed_ = desktop::installInto(prefix());
        setenv("XDG_DATA_HOME", desktop::dataDir(prefix()).c_str(), 1);
        setenv("XDG_DATA_DIRS", "/usr/share", 1);
        setenv("GIO_USE_VFS", "local", 1);
    }

    static void TearDownTestSuite() { scratch_.reset(); }

    static fs::path prefix() { return scratch_->path() / "prefix"; }

    void SetUp() override
    {
        ASSERT_EQ(installed_.exitCode, 0) << installed_.err;
    }

    static desktop::ThumbnailerEntry entry()
    {
        return desktop::readThumbnailerEntry(desktop::dataDir(prefix()) / "thumbnailers/zaro-session.thumbnailer");
    }

    static void requireMimeCache()
    {
        if (!fs::exists(desktop::dataDir(prefix()) / "mime/mime.cache")) {
            GTEST_SKIP() << "update-mime-database is not installed, so the install built no MIME cache";
        }
    }

    static inline std::unique_ptr<testing::TemporaryFolder> scratch_;
    static inline desktop::RunResult installed_;
};

TEST_F(InstalledTree, PutsTheProgramsTheEntryTheTypeAndTheMarkWhereTheDesktopLooks)
{
    const fs::path bin = fs::relative(desktop::binDir(prefix()), prefix());
    const fs::path share = fs::relative(desktop::dataDir(prefix()), prefix());
    const std::set<fs::path> expected{
        bin / "zaro-session",
        bin / "zaro-session-preview",
        bin / "zaro-session-thumbnailer",
        share / "mime/packages/zaro-session.xml",
        share / "thumbnailers/zaro-session.thumbnailer",
        share / "zaro-session/zaro-mark.png",
    };
    // The MIME database that update-mime-database compiles at install time is not ours to list.
    std::set<fs::path> installed;
    for (const auto& item : fs::recursive_directory_iterator(prefix())) {
        const fs::path relative = fs::relative(item.path(), prefix());
        const bool compiledMime = relative.string().starts_with((share / "mime/").string()) &&
                                  !relative.string().starts_with((share / "mime/packages/").string());
        if (item.is_regular_file() && !compiledMime) installed.insert(relative);
    }
    EXPECT_EQ(installed, expected);

    const desktop::ThumbnailerEntry thumbnailer = entry();
    EXPECT_EQ(thumbnailer.tryExec, "zaro-session-thumbnailer");
    ASSERT_FALSE(thumbnailer.exec.empty());
    EXPECT_EQ(desktop::expandExec(thumbnailer.exec, 256, "/tmp/in.csv", "/tmp/out.png"),
              (std::vector<std::string>{"zaro-session-thumbnailer", "-s", "256", "file:///tmp/in.csv", "/tmp/out.png"}));
}

TEST_F(InstalledTree, GlibTellsSessionFilesFromOtherCsvFilesByTheirFirstLine)
{
    requireMimeCache();
    struct Case {
        const char* name;
        const char* content;
        std::string type;
    };
    const Case cases[] = {
        {"zaro.csv", "Format,ZARO CSV\nTrack,Home Circuit\n", sessionType},
        {"racebox.csv", "Format,RaceBox CSV\r\nTrack,Home Circuit\r\n", sessionType},
        {"zaro-bom.csv", "\xEF\xBB\xBF" "Format,ZARO CSV\n", sessionType},
        {"racebox-bom.csv", "\xEF\xBB\xBF" "Format,RaceBox CSV\n", sessionType},
        {"no-extension", "Format,ZARO CSV\nTrack,Home Circuit\n", sessionType},
        {"plain-track.csv", "Time,Latitude,Longitude\n2024-06-01T10:15:00Z,52.0,-1.0\n", "text/csv"},
        {"prices.csv", "Name,Price\nTea,3\n", "text/csv"},
        {"format-later.csv", "Track,Home Circuit\nFormat,ZARO CSV\n", "text/csv"},
        {"other-format.csv", "Format,Other CSV\n", "text/csv"},
    };
    const fs::path folder = scratch_->path() / "typed";
    fs::create_directories(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(folder / c.name, std::ios::binary) << c.content;
        EXPECT_EQ(contentType(folder / c.name), c.type);
    }
}

TEST_F(InstalledTree, ThumbnailerEntryTakesTheTypeGlibGivesEveryExampleSession)
{
    requireMimeCache();
    const std::vector<std::string> types = entry().mimeTypes;
    EXPECT_NE(std::find(types.begin(), types.end(), sessionType), types.end());
    for (const auto& item : fs::directory_iterator(ZARO_EXAMPLES_DIR)) {
        if (item.path().extension() != ".csv") continue;
        SCOPED_TRACE(item.path().filename().string());
        const std::string type = contentType(item.path());
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type << " is not in the entry";
    }
}

}  // namespace
}  // namespace zaro
