// Many previews through the provider at once give, byte for byte, what one preview alone gives.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

#include "preview_provider.hpp"

namespace fs = std::filesystem;
using namespace zaro;

namespace {

std::vector<unsigned char> preview(const fs::path& file)
{
    PreviewProvider provider;
    std::optional<PreviewReply> answer;
    provider.providePreview({file}, [&answer](std::optional<PreviewReply> reply, std::exception_ptr) {
        answer = std::move(reply);
    });
    return answer ? answer->createData() : std::vector<unsigned char>{};
}

}  // namespace

TEST(Concurrency, EightThreadsOfFiftyPreviewsMatchSingleThreadedBytes)
{
    const fs::path dir = fs::temp_directory_path() / ("zaro-concurrency-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ZARO_EXAMPLES_DIR)) files.push_back(entry.path());
    std::ofstream(dir / "empty.csv").flush();
    std::ofstream(dir / "one point.csv") << "Time,Latitude,Longitude\nt,52,-1\n";
    files.push_back(dir / "empty.csv");
    files.push_back(dir / "one point.csv");
    files.push_back(dir / "missing.csv");
    std::sort(files.begin(), files.end());

    std::map<fs::path, std::vector<unsigned char>> alone;
    for (const fs::path& file : files) alone[file] = preview(file);

    constexpr int threads = 8;
    constexpr int previewsEach = 50;
    std::vector<int> mismatches(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < previewsEach; ++i) {
                const fs::path& file = files[static_cast<std::size_t>(t + i) % files.size()];
                if (preview(file) != alone.at(file)) ++mismatches[static_cast<std::size_t>(t)];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    fs::remove_all(dir);

    for (int t = 0; t < threads; ++t) EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
    for (const auto& [file, bytes] : alone) EXPECT_GT(bytes.size(), 1000u) << file;
}
