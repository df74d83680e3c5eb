#include "host/service.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

#include "base/background.hpp"

namespace zaro {

namespace {

// How long a provider may keep the completion callback before its request counts as unanswered.
constexpr std::chrono::seconds replyTimeout{30};
// Canvases are at most this many pixels on a side, as cairo's image surfaces are.
constexpr double maxSurfaceSide = 32767;

constexpr unsigned char pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// What a provider completes a request with; the first call counts and later ones are ignored.
template <typename Reply>
class Answer {
public:
    void complete(std::optional<Reply> reply, std::exception_ptr error)
    {
        const std::lock_guard lock(mutex_);
        if (done_) return;
        reply_ = std::move(reply);
        error_ = error;
        done_ = true;
        changed_.notify_all();
    }

    // Every copy of the completion callback is gone without a call: no answer can come any more.
    void abandon()
    {
        const std::lock_guard lock(mutex_);
        if (done_) return;
        done_ = true;
        abandoned_ = true;
        changed_.notify_all();
    }

    Reply take(const char* kind)
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, replyTimeout, [this] { return done_; }) || abandoned_) {
            throw ServiceError(std::string("The ") + kind + " extension did not answer.");
        }
        if (error_) std::rethrow_exception(error_);
        if (!reply_) throw ServiceError(std::string("The ") + kind + " extension answered without a reply.");
        return std::move(*reply_);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool abandoned_ = false;
    std::optional<Reply> reply_;
    std::exception_ptr error_;
};

// The completion callback handed to a provider; copies share one guard that gives up the answer
// when the last of them goes.
template <typename Reply>
class Completion {
public:
    explicit Completion(const std::shared_ptr<Answer<Reply>>& answer) : guard_(std::make_shared<Guard>(answer)) {}

    void operator()(std::optional<Reply> reply, std::exception_ptr error) const
    {
        guard_->answer->complete(std::move(reply), error);
    }

private:
    struct Guard {
        explicit Guard(std::shared_ptr<Answer<Reply>> a) : answer(std::move(a)) {}
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { answer->abandon(); }
        std::shared_ptr<Answer<Reply>> answer;
    };
    std::shared_ptr<Guard> guard_;
};

// Creates the principal class, lets it answer through `provide` and releases it before the answer
// is taken.
template <typename Reply, typename Provider, typename Request, typename Handler>
Reply ask(const Extension& extension, const Request& request, const char* kind,
          void (Provider::*provide)(const Request&, const Handler&))
{
    const auto answer = std::make_shared<Answer<Reply>>();
    {
        const std::unique_ptr<PrincipalObject> object = extension.classes.create(extension.principalClass);
        if (!object) throw ServiceError("No class is registered under the name \"" + extension.principalClass + "\".");
        auto* provider = dynamic_cast<Provider*>(object.get());
        if (!provider) {
            throw ServiceError("The class \"" + extension.principalClass + "\" is no " + kind + " provider.");
        }
        (provider->*provide)(request, Completion<Reply>(answer));
    }
    return answer->take(kind);
}

// Runs `work` on a thread of its own, as the services run reply callbacks, or here when no thread can
// be had, and hands back its result or its exception.
template <typename Work>
auto onOtherThread(Work work) -> decltype(work())
{
    std::optional<decltype(work())> result;
    Background([&] { result.emplace(work()); }).wait();
    return std::move(*result);
}

int pixelSide(double points, double scale)
{
    const double pixels = std::round(points * scale);
    if (!std::isfinite(pixels) || pixels < 1 || pixels > maxSurfaceSide) return 0;
    return static_cast<int>(pixels);
}

}  // namespace

PreviewReply requestPreview(const Extension& extension, const FilePreviewRequest& request)
{
    return ask<PreviewReply>(extension, request, "preview", &PreviewProviderBase::providePreview);
}

std::vector<unsigned char> previewData(const PreviewReply& reply)
{
    std::vector<unsigned char> bytes = onOtherThread([&reply] { return reply.createData(); });
    const bool isPng = bytes.size() >= sizeof pngSignature
                    && std::equal(std::begin(pngSignature), std::end(pngSignature), bytes.begin());
    if (reply.contentType() == ContentType::png && !isPng) {
        throw ServiceError("The preview's data is not a PNG image.");
    }
    return bytes;
}

ThumbnailReply requestThumbnail(const Extension& extension, const FileThumbnailRequest& request)
{
    return ask<ThumbnailReply>(extension, request, "thumbnail", &ThumbnailProviderBase::provideThumbnail);
}

std::vector<unsigned char> thumbnailPng(const ThumbnailReply& reply, double scale, const ThumbnailRasteriser& rasterise)
{
    const Size size = reply.contextSize();
    const int width = pixelSide(size.width, scale);
    const int height = pixelSide(size.height, scale);
    if (width == 0 || height == 0) throw ServiceError("The thumbnail's size gives no drawing surface.");
    if (std::optional<std::vector<unsigned char>> bytes = reply.drawnAhead(width, height)) return std::move(*bytes);
    if (!rasterise) throw ServiceError("The thumbnail extension has nothing to draw with.");
    return onOtherThread([&] { return rasterise(reply, width, height, scale); });
}

}  // namespace zaro
