// Fuzz target for the whole preview path: any bytes end as a whole 1680 × 1440 PNG, of the summary
// card or of the error card with the parser's sentence; anything else aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

#include "render/png.hpp"
#include "render/preview_card.hpp"
#include "formats/session_reading.hpp"

namespace {

constexpr std::uint32_t cardWidth = 1680;
constexpr std::uint32_t cardHeight = 1440;

[[noreturn]] void fail(const char* broken)
{
    std::fprintf(stderr, "preview_fuzzer: %s\n", broken);
    std::abort();
}

// The same choice the preview provider makes: the summary card, or the error card when parsing fails.
std::vector<unsigned char> previewOf(std::string_view bytes)
{
    try {
        const zaro::ZaroSession session = zaro::formats::readSession(bytes, "fuzz.csv");
        return zaro::ZaroSessionPreviewCard::pngData(session);
    } catch (const zaro::ParseError& error) {
        return zaro::ZaroSessionPreviewCard::errorPngData(error.what());
    }
}

void checkPicture(const std::vector<unsigned char>& png)
{
    const std::optional<zaro::png::Image> image = zaro::png::decode(png);
    if (!image) {
        fail("the preview is not a PNG the decoder can read whole");
    }
    if (image->width != cardWidth || image->height != cardHeight) {
        std::fprintf(stderr, "preview_fuzzer: the preview is %u × %u pixels\n", image->width, image->height);
        fail("the preview is not 1680 × 1440 pixels");
    }
    if (image->rgba.size() != std::size_t{cardWidth} * cardHeight * 4) {
        fail("the decoded preview does not hold one RGBA pixel per pixel");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        checkPicture(previewOf(bytes));
    } catch (const std::exception& error) {
        // A RenderError lands here too: drawing never fails, so a card that cannot be rendered is a fault.
        std::fprintf(stderr, "preview_fuzzer: unexpected exception: %s\n", error.what());
        std::abort();
    } catch (...) {
        fail("unexpected exception of unknown type");
    }
    return 0;
}
