#include "preview/preview_drawing.hpp"

#include <exception>
#include <new>
#include <string>

#include "formats/packed_reading.hpp"
#include "formats/session_reading.hpp"
#include "host/system_log.hpp"
#include "render/preview_card.hpp"

namespace zaro {

namespace {

// Made on first use and never destroyed: a data callback may still log while the process exits.
const Logger& previewLog()
{
    static const Logger* const log = new Logger(std::string(logSubsystem), "preview");
    return *log;
}

std::vector<unsigned char> failurePng(std::string_view message)
{
    previewLog().error("preview failed: %{public}s", std::string(message));
    return ZaroSessionPreviewCard::errorPngData(message);
}

}  // namespace

std::vector<unsigned char> previewPng(const std::filesystem::path& url, const std::optional<std::string>& name,
                                      const PackedSession& packed)
{
    std::string message;
    try {
        return ZaroSessionPreviewCard::pngDataWhileReading([&] {
            const std::optional<std::string> bytes = packed ? packed() : std::nullopt;
            ZaroSession session = bytes ? formats::unpackSessionReading(*bytes)
                                        : formats::readSessionFile(url, 0, ZaroSessionParser::Statistics::card);
            if (name) session.fileName = *name;
            return session;
        });
    } catch (const std::bad_alloc&) {
        message = "There is not enough memory to preview the ZARO Session file.";
    } catch (const std::exception& error) {
        message = error.what();
    }
    return failurePng(message);
}

const PreviewDrawing& linkedPreviewDrawing()
{
    static constexpr PreviewDrawing drawing{
        ZARO_VERSION,
        [] { ZaroSessionPreviewCard::prepareText(); },
        [](const std::filesystem::path& url, const std::optional<std::string>& name, const PackedSession& packed) {
            return previewPng(url, name, packed);
        },
        [](std::string_view message) { return failurePng(message); },
    };
    return drawing;
}

}  // namespace zaro
