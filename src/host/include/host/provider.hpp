// What the preview and thumbnail services hand an extension's provider, and what it answers with.
#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/principal_class.hpp"
#include "render/drawing_context.hpp"

namespace zaro {

/// What the extension's read-ahead made of the request's file (see Extension::readAhead), waited for;
/// no value when it did nothing, and the provider then reads the file itself. Throws ServiceError
/// when the reading ended early. Empty when nothing was read ahead.
using ReadAheadResult = std::function<std::optional<std::string>()>;

/// The two kinds of extension a service runs.
enum class ExtensionPoint : std::uint8_t { preview, thumbnail };

/// A request for the full preview of one file.
struct FilePreviewRequest {
    std::filesystem::path fileURL;
    std::optional<std::string> displayName{};  // the name to show for the file instead of its own ("" for none)
    ReadAheadResult readAhead{};
};

enum class ContentType : std::uint8_t { png };

/// The answer to a preview request: what the content will be, and the callback that makes it later.
class PreviewReply {
public:
    /// Makes the content's bytes when the service asks for them; may throw. Gets its own reply.
    using DataCallback = std::function<std::vector<unsigned char>(const PreviewReply&)>;

    PreviewReply(ContentType contentType, Size contentSize, DataCallback createData)
        : contentType_(contentType), contentSize_(contentSize), createData_(std::move(createData))
    {
    }

    /// The type of the bytes the data callback returns.
    ContentType contentType() const { return contentType_; }
    /// The content's size in points.
    Size contentSize() const { return contentSize_; }
    /// The name the service shows for the preview.
    const std::string& title() const { return title_; }
    /// Sets the name the service shows for the preview.
    void setTitle(std::string title) { title_ = std::move(title); }
    /// Runs the data callback; what it throws passes through.
    std::vector<unsigned char> createData() const { return createData_(*this); }

private:
    ContentType contentType_;
    Size contentSize_;
    DataCallback createData_;
    std::string title_;
};

/// Takes the reply, or the error, of a preview request.
using PreviewCompletion = std::function<void(std::optional<PreviewReply> reply, std::exception_ptr error)>;

/// A request for a thumbnail of one file.
struct FileThumbnailRequest {
    std::filesystem::path fileURL;
    Size maximumSize;
    Size minimumSize;
    double scale = 1;  // pixels per point of the surface the reply will draw into
    ReadAheadResult readAhead{};
};

/// The answer to a thumbnail request: the size of the surface to draw and the callback that draws.
class ThumbnailReply {
public:
    /// Draws into the calling thread's current graphics context; true when it drew.
    using DrawingCallback = std::function<bool()>;
    /// The PNG bytes the drawing callback's surface of `width` × `height` pixels would encode to,
    /// when they were made ahead; no value otherwise.
    using DrawnAheadCallback = std::function<std::optional<std::vector<unsigned char>>(int width, int height)>;

    ThumbnailReply(Size contextSize, DrawingCallback draw, DrawnAheadCallback drawnAhead = {})
        : contextSize_(contextSize), draw_(std::move(draw)), drawnAhead_(std::move(drawnAhead))
    {
    }

    /// The drawing surface's size in points.
    Size contextSize() const { return contextSize_; }
    /// Runs the drawing callback.
    bool draw() const { return draw_(); }
    /// The bytes made ahead for a surface of this many pixels, if any.
    std::optional<std::vector<unsigned char>> drawnAhead(int width, int height) const
    {
        return drawnAhead_ ? drawnAhead_(width, height) : std::nullopt;
    }

private:
    Size contextSize_;
    DrawingCallback draw_;
    DrawnAheadCallback drawnAhead_;
};

/// Takes the reply, or the error, of a thumbnail request.
using ThumbnailCompletion = std::function<void(std::optional<ThumbnailReply> reply, std::exception_ptr error)>;

/// The class a preview extension names as its principal class derives from this.
class PreviewProviderBase : public PrincipalObject {
public:
    /// Answers a request by calling `handler` once with a reply or an error.
    virtual void providePreview(const FilePreviewRequest& request, const PreviewCompletion& handler) = 0;
};

/// The class a thumbnail extension names as its principal class derives from this.
class ThumbnailProviderBase : public PrincipalObject {
public:
    /// Answers a request by calling `handler` once with a reply or an error.
    virtual void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) = 0;
};

}  // namespace zaro
