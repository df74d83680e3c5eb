// Previews made on eight threads at once, their failures logged, match byte for byte those made one at a time.
#include <filesystem>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "preview/preview_drawing.hpp"
#include "preview/preview_provider.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;

TEST(Concurrency, EightThreadsOfFiftyPreviewsMatchSingleThreadedBytes)
{
    const support::TemporaryFolder folder;
    support::writeFile(folder / "empty.csv", "");
    support::writeFile(folder / "plain.csv", support::plainTrack);
    std::vector<fs::path> files = {folder / "empty.csv", folder / "plain.csv", folder / "missing.csv"};
    for (const auto& entry : fs::directory_iterator(support::examples)) files.push_back(entry.path());
    std::map<fs::path, std::vector<unsigned char>> alone;
    for (const fs::path& file : files) alone[file] = previewPng(file);

    constexpr int threads = 8, previewsEach = 50;
    std::vector<int> mismatches(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < previewsEach; ++i) {
                const fs::path& file = files[static_cast<std::size_t>(t + i) % files.size()];
                if (previewPng(file) != alone.at(file)) ++mismatches[static_cast<std::size_t>(t)];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(mismatches, std::vector<int>(threads, 0));
}

}  // namespace
}  // namespace zaro
