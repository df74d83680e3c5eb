#include "preview/preview_provider.hpp"

#include <exception>
#include <new>
#include <string>
#include <system_error>

#include "host/system_log.hpp"
#include "formats/packed_reading.hpp"
#include "formats/session_reading.hpp"
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
    PreviewReply reply(ContentType::png, ZaroSessionPreviewCard::defaultSize,
                       [url, name, readAhead](const PreviewReply&) { return previewPng(url, name, readAhead); });
    // A name whose only full stop leads it (".csv") has no extension to remove.
    reply.setTitle(std::filesystem::path(name.value_or(url.filename().string())).stem().string());
    handler(std::move(reply), nullptr);
}

std::vector<unsigned char> previewPng(const std::filesystem::path& url, const std::optional<std::string>& name,
                                      const ReadAheadResult& readAhead)
{
    std::string message;
    try {
        std::optional<std::string> packed;
        if (readAhead) packed = readAhead();
        ZaroSession session = packed ? formats::unpackSessionReading(*packed) : formats::readSessionFile(url);
        if (name) session.fileName = *name;
        return ZaroSessionPreviewCard::pngData(session);
    } catch (const std::bad_alloc&) {
        message = "There is not enough memory to preview the ZARO Session file.";
    } catch (const std::exception& error) {
        message = error.what();
    }
    previewLog().error("preview failed: %{public}s", message);
    return ZaroSessionPreviewCard::errorPngData(message);
}

Extension previewExtension()
{
    Extension extension{ExtensionPoint::preview, std::string(logSubsystem), "PreviewProvider", {}, {}, {}, {}, {}};
    extension.prepare = [](const std::string&, std::optional<int>) { ZaroSessionPreviewCard::prepareText(); };
    extension.classes.registerClass<PreviewProvider>("PreviewProvider");
    extension.readAhead = [](const std::string&) -> ReadAhead::Work {
        // Only what the card shows crosses over: a preamble of millions of laps stays in the child.
        return [](const std::filesystem::path& input) {
            return formats::packedSessionReading(input, [](ZaroSession session) {
                return ZaroSessionPreviewCard::shownPart(std::move(session), ZaroSessionPreviewCard::defaultSize);
            });
        };
    };
    return extension;
}

}  // namespace zaro
