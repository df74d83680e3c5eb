// The preview provider: a PNG card titled after its file at once, made from the file when asked for.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/cases.hpp"
#include "support/files.hpp"
#include "render/preview_card.hpp"
#include "preview/preview_drawing.hpp"
#include "preview/preview_provider.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro {
namespace {

using support::TemporaryFolder;
using support::writeFile;

std::vector<unsigned char> errorCard(std::string_view message) { return ZaroSessionPreviewCard::errorPngData(message); }

// The reply the provider completes with, checking that it completes once, before returning, without error.
PreviewReply replyFor(const std::filesystem::path& file)
{
    PreviewProvider provider;
    int calls = 0;
    std::optional<PreviewReply> reply;
    provider.providePreview({file}, [&](std::optional<PreviewReply> r, std::exception_ptr error) {
        ++calls;
        EXPECT_FALSE(error);
        reply = std::move(r);
    });
    EXPECT_EQ(calls, 1);
    if (!reply) throw std::runtime_error("no reply");
    return std::move(*reply);
}

TEST(PreviewProvider, RepliesAtOnceWithAPngCardTitledWithTheNameWithoutItsLastExtension)
{
    const PreviewReply reply = replyFor("/nowhere/never-read.csv");
    EXPECT_EQ(reply.contentType(), ContentType::png);
    EXPECT_EQ(reply.contentSize(), (Size{840, 720}));
    for (const support::Case& c : support::readCases("preview/titles.cases")) {
        EXPECT_EQ(replyFor(c[0]).title(), c[1]) << c.where;
    }
}

// The file is read each time the data is made, and every failure's message is shown alike.
TEST(PreviewProvider, DataIsTheCardOfTheFileAsItIsWhenAskedForOrTheErrorCardWithTheFailuresMessage)
{
    const TemporaryFolder folder;
    writeFile(folder / "letter.csv", "Dear Ana,\nsee you at the track.\n");
    EXPECT_EQ(replyFor(folder / "letter.csv").createData(),
              errorCard("Unsupported ZARO Session format. Expected ZARO or RaceBox CSV."));
    std::filesystem::copy_file(support::examples / "Sunday practice.csv", folder / "practice.csv");
    const PreviewReply reply = requestPreview(previewExtension(), {folder / "practice.csv"});
    EXPECT_EQ(previewData(reply),
              ZaroSessionPreviewCard::pngData(ZaroSessionParser::parseFile(folder / "practice.csv")));
    std::filesystem::remove(folder / "practice.csv");
    EXPECT_EQ(previewData(reply), errorCard("No such file or directory"));
}

}  // namespace
}  // namespace zaro
