// An extension as its bundle declares it, and the service that runs one request through it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/principal_class.hpp"
#include "host/provider.hpp"
#include "host/read_ahead.hpp"

namespace zaro {

/// The host's own failure: the extension could not be run or gave no usable answer.
class ServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Draws a thumbnail reply on a surface of `width` × `height` pixels at `scale` pixels per point,
/// made the calling thread's current graphics context, and returns the surface as PNG bytes; throws
/// ServiceError when the reply's callback did not draw.
using ThumbnailRasteriser =
    std::function<std::vector<unsigned char>(const ThumbnailReply& reply, int width, int height, double scale)>;

/// What an extension's bundle declares, and the classes its program registers.
struct Extension {
    ExtensionPoint point = ExtensionPoint::preview;
    /// The reverse-DNS name the extension logs under.
    std::string bundleIdentifier;
    /// The registered name of the class the service creates for each request.
    std::string principalClass;
    /// Other classes a command line may choose by name (`--style NAME`), each with its class name.
    std::vector<std::pair<std::string, std::string>> styles;
    ClassRegistry classes;
    /// The files the extension is registered for; every file when empty.
    std::function<bool(const std::filesystem::path&)> supportsFile;
    /// What the principal class of this name needs done before the process confines itself (its
    /// fonts found and loaded, say), for a thumbnail of `side` pixels or a preview (no side); may
    /// throw, which ends the request before anything is written.
    std::function<void(const std::string& principalClass, std::optional<int> side)> prepare;
    /// How a thumbnail extension's drawings become pictures (`rasteriseOnCanvas`, or a way to reach
    /// it); without one, only thumbnails made ahead can be served.
    ThumbnailRasteriser rasterise;
    /// What the principal class of this name reads of the input, done by a child process while this
    /// one prepares (ReadAhead); its result reaches the provider with the request. None when the class
    /// reads nothing, or reads it itself.
    std::function<ReadAhead::Work(const std::string& principalClass)> readAhead{};
};

/// Creates the principal class, asks it for a preview and returns the reply it completes with.
//
// The provider object is gone before this returns. Throws ServiceError when the class is missing,
// is no preview provider, or answers without a reply; an error it completes with is rethrown.
PreviewReply requestPreview(const Extension& extension, const FilePreviewRequest& request);

/// Runs the reply's data callback on a thread of its own; throws what it throws, and ServiceError
/// when the bytes are not of the announced type.
std::vector<unsigned char> previewData(const PreviewReply& reply);

/// Creates the principal class, asks it for a thumbnail and returns the reply it completes with.
/// Fails as `requestPreview` does.
ThumbnailReply requestThumbnail(const Extension& extension, const FileThumbnailRequest& request);

/// The bytes the reply made ahead for its context size at `scale` pixels per point; else the reply
/// drawn by `rasterise` on a thread of its own.
/// Throws ServiceError when the size gives no surface, there is nothing to draw it with, or the
/// callback reports that it did not draw.
std::vector<unsigned char> thumbnailPng(const ThumbnailReply& reply, double scale, const ThumbnailRasteriser& rasterise);

}  // namespace zaro
