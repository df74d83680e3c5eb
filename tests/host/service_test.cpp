// The service that runs one request through an extension: its providers made by class name, the
// reply they complete with, the reply's data made on a thread of its own, and every failure named.
#include "host/service.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/canvas_rasteriser.hpp"
#include "support/failure.hpp"

namespace zaro {
namespace {

const std::vector<unsigned char> pngBytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};

// What the fake providers saw.
struct Seen {
    std::atomic<int> providersAlive = 0;
    std::atomic<bool> providerAliveInCallback = true;
    std::thread::id callbackThread;
    std::thread lateCompletion;
} seen;

PreviewReply pngReply(std::string title, std::vector<unsigned char> bytes = pngBytes)
{
    PreviewReply reply(ContentType::png, {10, 20}, [bytes](const PreviewReply&) {
        seen.callbackThread = std::this_thread::get_id();
        seen.providerAliveInCallback = seen.providersAlive > 0;
        return bytes;
    });
    reply.setTitle(std::move(title));
    return reply;
}

// Behaves as the requested file's name says: fails, stays silent, completes twice, late or with a GIF.
class ScriptedProvider final : public PreviewProviderBase {
public:
    ScriptedProvider() { ++seen.providersAlive; }
    ~ScriptedProvider() override { --seen.providersAlive; }
    void providePreview(const FilePreviewRequest& request, const PreviewCompletion& handler) override
    {
        const std::string name = request.fileURL.filename().string();
        if (name == "fail") handler(std::nullopt, std::make_exception_ptr(std::invalid_argument("refused")));
        if (name == "twice") handler(pngReply("first"), nullptr);
        if (name == "twice") handler(std::nullopt, std::make_exception_ptr(std::invalid_argument("second")));
        if (name == "gif") handler(pngReply("gif", {'G', 'I', 'F'}), nullptr);
        if (name == "late") {
            seen.lateCompletion = std::thread([handler] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                handler(pngReply("late"), nullptr);
            });
        }
        if (name.ends_with(".csv")) handler(pngReply(name), nullptr);
    }
};

// Replies with a thumbnail of the size asked for that reports not drawing.
class IdleThumbnails final : public ThumbnailProviderBase {
public:
    void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) override
    {
        handler(ThumbnailReply(request.maximumSize, [] { return false; }), nullptr);
    }
};

class NoProvider final : public PrincipalObject {};

Extension extensionWith(ExtensionPoint point, std::string principal)
{
    Extension extension{point, "io.zaro.test", std::move(principal), {}, {}, {}, {}, {}};
    extension.classes.registerClass<ScriptedProvider>("Scripted");
    extension.classes.registerClass<IdleThumbnails>("Thumbnails");
    extension.classes.registerClass<NoProvider>("Nothing");
    return extension;
}

const Extension previews = extensionWith(ExtensionPoint::preview, "Scripted");
const Extension thumbnails = extensionWith(ExtensionPoint::thumbnail, "Thumbnails");

TEST(Service, TakesTheFirstReplyFromAnyThreadAndMakesItsDataLaterOnAnotherThreadWithTheProviderGone)
{
    for (const auto& [file, title] : {std::pair{"/x/a.b.csv", "a.b.csv"}, {"/twice", "first"}, {"/late", "late"}}) {
        EXPECT_EQ(requestPreview(previews, {file}).title(), title) << file;
    }
    if (seen.lateCompletion.joinable()) seen.lateCompletion.join();
    const PreviewReply reply = requestPreview(previews, {"/x/a.csv"});
    EXPECT_EQ(reply.contentSize(), (Size{10, 20}));
    EXPECT_EQ(seen.providersAlive, 0);
    EXPECT_EQ(previewData(reply), pngBytes);
    EXPECT_NE(seen.callbackThread, std::this_thread::get_id());
    EXPECT_FALSE(seen.providerAliveInCallback);
}

TEST(Service, ReportsEveryFailureWithItsOwnMessage)
{
    const Extension missing = extensionWith(ExtensionPoint::preview, "Nope");
    const Extension nothing = extensionWith(ExtensionPoint::preview, "Nothing");
    const Extension previewAsThumbnails = extensionWith(ExtensionPoint::thumbnail, "Scripted");
    const auto thumbnail = [](Size size) {
        return [=] { thumbnailPng(requestThumbnail(thumbnails, {"/a.csv", size, {0, 0}, 1}), 1, rasteriseOnCanvas); };
    };
    const std::string noSurface = "The thumbnail's size gives no drawing surface.";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { requestPreview(missing, {"/a.csv"}); }, "No class is registered under the name \"Nope\"."},
        {[&] { requestPreview(nothing, {"/a.csv"}); }, "The class \"Nothing\" is no preview provider."},
        {[&] { requestThumbnail(previewAsThumbnails, {}); }, "The class \"Scripted\" is no thumbnail provider."},
        {[] { requestPreview(previews, {"/fail"}); }, "refused"},
        {[] { requestPreview(previews, {"/silent"}); }, "The preview extension did not answer."},
        {[] { previewData(requestPreview(previews, {"/gif"})); }, "The preview's data is not a PNG image."},
        {thumbnail({16, 16}), "The thumbnail extension did not draw."},
        {thumbnail({0, 16}), noSurface}, {thumbnail({16, 0.4}), noSurface},
        {thumbnail({40000, 16}), noSurface}, {thumbnail({-5, 16}), noSurface},
    };
    for (const auto& [action, message] : cases) EXPECT_EQ(support::failureOf(action), message);
}

}  // namespace
}  // namespace zaro
