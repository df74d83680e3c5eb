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

/// The preview extension as its bundle declares it, with its classes registered. Its provider draws
/// through previewDrawing().
Extension previewExtension();

}  // namespace zaro
