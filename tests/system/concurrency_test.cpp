// Many previews through the provider at once give, byte for byte, what one preview alone gives.
#include <filesystem>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "preview/preview_provider.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> preview(const fs::path& file)
{
    std::optional<PreviewReply> answer;
    PreviewProvider().providePreview({file}, [&answer](std::optional<PreviewReply> reply, std::exception_ptr) {
        answer = std::move(reply);
    });
    return answer.value().createData();
}

TEST(Concurrency, EightThreadsOfFiftyPreviewsMatchSingleThreadedBytes)
{
    const support::TemporaryFolder folder;
    support::writeFile(folder / "empty.csv", "");
    support::writeFile(folder / "plain.csv", support::plainTrack);
    std::vector<fs::path> files = {folder / "empty.csv", folder / "plain.csv", folder / "missing.csv"};
    for (const auto& entry : fs::directory_iterator(support::examples)) files.push_back(entry.path());
    std::map<fs::path, std::vector<unsigned char>> alone;
    for (const fs::path& file : files) alone[file] = preview(file);

    constexpr int threads = 8, previewsEach = 50;
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
    EXPECT_EQ(mismatches, std::vector<int>(threads, 0));
}

}  // namespace
}  // namespace zaro
