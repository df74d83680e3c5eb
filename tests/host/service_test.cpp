#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "extension.hpp"
#include "graphics_context.hpp"
#include "png.hpp"

namespace zaro {
namespace {

const std::vector<unsigned char> pngBytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};

// What the fake providers saw, shared with the test; each test starts it afresh.
struct Seen {
    std::atomic<int> providersAlive = 0;
    std::atomic<bool> providerAliveInCallback = true;
    std::thread::id callbackThread;
    std::atomic<bool> hadCurrentContext = false;
    std::thread lateCompletion;
};
Seen* seen = nullptr;

class CountedProvider : public PreviewProviderBase {
public:
    CountedProvider() { ++seen->providersAlive; }
    ~CountedProvider() override { --seen->providersAlive; }
};

class ReplyingProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest& request, const PreviewCompletion& handler) override
    {
        PreviewReply reply(ContentType::png, {10, 20}, [](const PreviewReply&) {
            seen->callbackThread = std::this_thread::get_id();
            seen->providerAliveInCallback = seen->providersAlive > 0;
            return pngBytes;
        });
        reply.setTitle(request.fileURL.filename().string());
        handler(std::move(reply), nullptr);
    }
};

class FailingProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest&, const PreviewCompletion& handler) override
    {
        handler(std::nullopt, std::make_exception_ptr(std::invalid_argument("refused")));
    }
};

class SilentProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest&, const PreviewCompletion&) override {}
};

class TwiceProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest&, const PreviewCompletion& handler) override
    {
        PreviewReply first(ContentType::png, {1, 1}, [](const PreviewReply&) { return pngBytes; });
        first.setTitle("first");
        handler(std::move(first), nullptr);
        handler(std::nullopt, std::make_exception_ptr(std::invalid_argument("second")));
    }
};

// Completes from a thread of its own after providePreview has returned.
class LateProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest&, const PreviewCompletion& handler) override
    {
        seen->lateCompletion = std::thread([handler] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            PreviewReply reply(ContentType::png, {1, 1}, [](const PreviewReply&) { return pngBytes; });
            reply.setTitle("late");
            handler(std::move(reply), nullptr);
        });
    }
};

class NotPngProvider final : public CountedProvider {
public:
    void providePreview(const FilePreviewRequest&, const PreviewCompletion& handler) override
    {
        const auto gif = [](const PreviewReply&) { return std::vector<unsigned char>{'G', 'I', 'F'}; };
        handler(PreviewReply(ContentType::png, {1, 1}, gif), nullptr);
    }
};

class FilledThumbnails final : public ThumbnailProviderBase {
public:
    void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) override
    {
        const Size size = request.maximumSize;
        handler(ThumbnailReply(size, [size] {
                    GraphicsContext* current = GraphicsContext::current();
                    seen->hadCurrentContext = current && current->cgContext();
                    if (!seen->hadCurrentContext) return false;
                    current->cgContext()->setFillColor({1, 0, 0, 1});
                    current->cgContext()->fillRect({0, 0, size.width, size.height});
                    return true;
                }),
                nullptr);
    }
};

class RefusingThumbnails final : public ThumbnailProviderBase {
public:
    void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) override
    {
        handler(ThumbnailReply(request.maximumSize, [] { return false; }), nullptr);
    }
};

class NoProvider final : public PrincipalObject {};

Extension extensionWith(ExtensionPoint point, std::string principal)
{
    Extension extension{point, std::move(principal), {}, {}};
    extension.classes.registerClass<ReplyingProvider>("Replying");
    extension.classes.registerClass<FailingProvider>("Failing");
    extension.classes.registerClass<SilentProvider>("Silent");
    extension.classes.registerClass<TwiceProvider>("Twice");
    extension.classes.registerClass<LateProvider>("Late");
    extension.classes.registerClass<NotPngProvider>("NotPng");
    extension.classes.registerClass<FilledThumbnails>("Filled");
    extension.classes.registerClass<RefusingThumbnails>("Refusing");
    extension.classes.registerClass<NoProvider>("Nothing");
    return extension;
}

std::string serviceErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ServiceError& error) {
        return error.what();
    }
    return "(no ServiceError)";
}

class Service : public ::testing::Test {
protected:
    void SetUp() override { seen = &seen_; }
    void TearDown() override { seen = nullptr; }

    Seen seen_;
};

TEST_F(Service, CreatesTheDeclaredClassAndTakesTheReplyItCompletesWith)
{
    const PreviewReply reply = requestPreview(extensionWith(ExtensionPoint::preview, "Replying"), {"/x/a.b.csv"});
    EXPECT_EQ(reply.title(), "a.b.csv");
    EXPECT_EQ(reply.contentSize(), (Size{10, 20}));
    EXPECT_EQ(reply.contentType(), ContentType::png);
    EXPECT_EQ(seen_.providersAlive, 0);
}

TEST_F(Service, RunsTheDataCallbackLaterOnAnotherThreadWithTheProviderGone)
{
    const PreviewReply reply = requestPreview(extensionWith(ExtensionPoint::preview, "Replying"), {"/x/a.csv"});
    EXPECT_EQ(previewData(reply), pngBytes);
    EXPECT_NE(seen_.callbackThread, std::this_thread::get_id());
    EXPECT_FALSE(seen_.providerAliveInCallback);
}

TEST_F(Service, ReportsAMissingOrUnsuitableClass)
{
    EXPECT_EQ(serviceErrorOf([] { requestPreview(extensionWith(ExtensionPoint::preview, "Nope"), {"/a.csv"}); }),
              "No class is registered under the name \"Nope\".");
    EXPECT_EQ(serviceErrorOf([] { requestPreview(extensionWith(ExtensionPoint::preview, "Nothing"), {"/a.csv"}); }),
              "The class \"Nothing\" is no preview provider.");
    EXPECT_EQ(serviceErrorOf([] { requestThumbnail(extensionWith(ExtensionPoint::thumbnail, "Replying"), {}); }),
              "The class \"Replying\" is no thumbnail provider.");
}

TEST_F(Service, PassesOnTheErrorAProviderCompletesWith)
{
    const Extension extension = extensionWith(ExtensionPoint::preview, "Failing");
    EXPECT_THROW(
        {
            try {
                requestPreview(extension, {"/a.csv"});
            } catch (const std::invalid_argument& error) {
                EXPECT_STREQ(error.what(), "refused");
                throw;
            }
        },
        std::invalid_argument);
}

TEST_F(Service, FailsAtOnceWhenTheProviderDropsTheCompletionUncalled)
{
    EXPECT_EQ(serviceErrorOf([] { requestPreview(extensionWith(ExtensionPoint::preview, "Silent"), {"/a.csv"}); }),
              "The preview extension did not answer.");
}

TEST_F(Service, KeepsTheFirstCompletionOnly)
{
    EXPECT_EQ(requestPreview(extensionWith(ExtensionPoint::preview, "Twice"), {"/a.csv"}).title(), "first");
}

TEST_F(Service, WaitsForACompletionThatComesFromAnotherThread)
{
    EXPECT_EQ(requestPreview(extensionWith(ExtensionPoint::preview, "Late"), {"/a.csv"}).title(), "late");
    seen_.lateCompletion.join();
}

TEST_F(Service, RefusesDataThatIsNotOfTheAnnouncedType)
{
    const PreviewReply reply = requestPreview(extensionWith(ExtensionPoint::preview, "NotPng"), {"/a.csv"});
    EXPECT_EQ(serviceErrorOf([&] { previewData(reply); }), "The preview's data is not a PNG image.");
}

TEST_F(Service, DrawsAThumbnailIntoACurrentSurfaceOfTheContextSizeTimesTheScale)
{
    const ThumbnailReply reply =
        requestThumbnail(extensionWith(ExtensionPoint::thumbnail, "Filled"), {"/a.csv", {30, 20}, {0, 0}, 2});
    EXPECT_EQ(reply.contextSize(), (Size{30, 20}));
    const std::optional<png::Image> image = png::decode(thumbnailPng(reply, 2));
    ASSERT_TRUE(image);
    EXPECT_TRUE(seen_.hadCurrentContext);
    EXPECT_EQ(image->width, 60u);
    EXPECT_EQ(image->height, 40u);
    for (std::size_t i = 0; i < image->rgba.size(); i += 4) {
        ASSERT_EQ((std::vector<unsigned char>(image->rgba.begin() + static_cast<std::ptrdiff_t>(i),
                                              image->rgba.begin() + static_cast<std::ptrdiff_t>(i + 4))),
                  (std::vector<unsigned char>{255, 0, 0, 255}))
            << "pixel " << i / 4;
    }
    EXPECT_EQ(GraphicsContext::current(), nullptr);
}

TEST_F(Service, FailsAThumbnailThatWasNotDrawnOrHasNoSurface)
{
    const Extension refusing = extensionWith(ExtensionPoint::thumbnail, "Refusing");
    EXPECT_EQ(serviceErrorOf([&] { thumbnailPng(requestThumbnail(refusing, {"/a.csv", {16, 16}, {0, 0}, 1}), 1); }),
              "The thumbnail extension did not draw.");
    const Extension filled = extensionWith(ExtensionPoint::thumbnail, "Filled");
    for (const Size size : {Size{0, 16}, Size{16, 0.4}, Size{40000, 16}, Size{-5, 16}}) {
        EXPECT_EQ(serviceErrorOf([&] { thumbnailPng(requestThumbnail(filled, {"/a.csv", size, {0, 0}, 1}), 1); }),
                  "The thumbnail's size gives no drawing surface.")
            << size.width << " x " << size.height;
    }
}

TEST(GraphicsContext, IsCurrentPerThreadForAScopeAndThenRestored)
{
    EXPECT_EQ(GraphicsContext::current(), nullptr);
    GraphicsContext outer(nullptr);
    GraphicsContext inner(nullptr);
    {
        const CurrentGraphicsContext first(&outer);
        EXPECT_EQ(GraphicsContext::current(), &outer);
        {
            const CurrentGraphicsContext second(&inner);
            EXPECT_EQ(GraphicsContext::current(), &inner);
            GraphicsContext* elsewhere = &outer;
            std::thread([&] { elsewhere = GraphicsContext::current(); }).join();
            EXPECT_EQ(elsewhere, nullptr);
        }
        EXPECT_EQ(GraphicsContext::current(), &outer);
    }
    EXPECT_EQ(GraphicsContext::current(), nullptr);
}

}  // namespace
}  // namespace zaro
