// The preview extension: answers a preview request with the session's card as a PNG, made later.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/provider.hpp"
#include "host/service.hpp"

namespace zaro {

class PreviewProvider final : public PreviewProviderBase {
public:
    /// Replies at once with a PNG of the card's size titled after the file; the card is made later.
    void providePreview(const FilePreviewRequest& request, const PreviewCompletion& handler) override;
};

/// The PNG of the summary card of the file at `url`, or of the error card with the failure's
/// message; throws only when even the error card cannot be rendered. `name`, when given, is the file's
/// name the card shows instead of the file's own ("" for none). The session comes from `readAhead`
/// when it read the file.
std::vector<unsigned char> previewPng(const std::filesystem::path& url,
                                      const std::optional<std::string>& name = std::nullopt,
                                      const ReadAheadResult& readAhead = {});

/// The preview extension as its bundle declares it, with its classes registered.
Extension previewExtension();

}  // namespace zaro
