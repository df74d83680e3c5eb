#include "preview/preview_provider.hpp"

#include <exception>
#include <string>

#include "formats/packed_reading.hpp"
#include "host/system_log.hpp"
#include "preview/preview_drawing.hpp"
#include "render/preview_card.hpp"

namespace zaro {

namespace {

// Made on first use and never destroyed: a data callback may still log while the process exits.
const Logger& previewLog()
{
    static const Logger* const log = new Logger(std::string(logSubsystem), "preview");
    return *log;
}

}  // namespace

void PreviewProvider::providePreview(const FilePreviewRequest& request, const PreviewCompletion& handler)
{
    const std::filesystem::path url = request.fileURL;
    const std::optional<std::string> name = request.displayName;
    const ReadAheadResult readAhead = request.readAhead;
    previewLog().info("preview %{public}s", name.value_or(url.filename().string()));
    PreviewReply reply(ContentType::png, ZaroSessionPreviewCard::defaultSize, [url, name, readAhead](const PreviewReply&) {
        return previewDrawing().cardPng(url, name, readAhead);
    });
    // A name whose only full stop leads it (".csv") has no extension to remove.
    reply.setTitle(std::filesystem::path(name.value_or(url.filename().string())).stem().string());
    handler(std::move(reply), nullptr);
}

Extension previewExtension()
{
    Extension extension{ExtensionPoint::preview, std::string(logSubsystem), "PreviewProvider", {}, {}, {}, {}, {}};
    // The drawing is loaded while the process may still read its libraries and fonts, after the
    // child that reads the session has started.
    extension.prepare = [](const std::string&, std::optional<int>) { previewDrawing().prepareText(); };
    extension.classes.registerClass<PreviewProvider>("PreviewProvider");
    // Only what the card shows is worked out, and only that crosses over: a preamble of millions of
    // laps stays in the child.
    extension.readAhead = [](const std::string&) -> ReadAhead::Work {
        return [](const std::filesystem::path& input) {
            return formats::packedSessionReading(
                input,
                [](ZaroSession session) {
                    return ZaroSessionPreviewCard::shownPart(std::move(session), ZaroSessionPreviewCard::defaultSize);
                },
                ZaroSessionParser::Statistics::card);
        };
    };
    return extension;
}

}  // namespace zaro
