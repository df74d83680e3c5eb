#include "preview/preview_provider.hpp"

#include <exception>
#include <future>
#include <string>

#include "host/system_log.hpp"
#include "parser/zaro_session_parser.hpp"
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
    previewLog().info("preview %{public}s", url.filename().string());
    PreviewReply reply(ContentType::png, ZaroSessionPreviewCard::defaultSize,
                       [url](const PreviewReply&) { return previewPng(url); });
    // A name whose only full stop leads it (".csv") has no extension to remove.
    reply.setTitle(url.filename().stem().string());
    handler(std::move(reply), nullptr);
}

std::vector<unsigned char> previewPng(const std::filesystem::path& url)
{
    // The text system's set-up needs nothing from the file, so it runs while the file is parsed.
    const std::future<void> text = std::async(std::launch::async, ZaroSessionPreviewCard::prepareText);
    std::string message;
    try {
        return ZaroSessionPreviewCard::pngData(ZaroSessionParser::parseFile(url));
    } catch (const std::exception& error) {
        message = error.what();
    }
    previewLog().error("preview failed: %{public}s", message);
    return ZaroSessionPreviewCard::errorPngData(message);
}

Extension previewExtension()
{
    Extension extension{ExtensionPoint::preview, "PreviewProvider", {}, {}};
    extension.classes.registerClass<PreviewProvider>("PreviewProvider");
    return extension;
}

}  // namespace zaro
