#include "text_fit.hpp"

#include <algorithm>
#include <cmath>

#include "unicode.hpp"

namespace zaro {

namespace {

// Lower bounds that hold for ordinary fonts: ascent plus descent is at least 0.8 em, and a visible
// cluster advances at least 0.1 em (Inter's narrowest glyphs are about 0.25 em).
constexpr double minLineHeightEm = 0.8;
constexpr double minAdvanceEm = 0.1;
constexpr double maxBound = 4.0 * 1024 * 1024;
constexpr std::size_t maxBytesPerCluster = 32;

constexpr std::string_view replacement = "\uFFFD";

}  // namespace

std::size_t textBlockClusterBound(double fontSize, double width, double limit)
{
    if (!(fontSize > 0) || !(width > 0) || !(limit > 0)) return 0;
    const double lines = std::floor(limit / (fontSize * minLineHeightEm));
    const double perLine = std::ceil(width / (fontSize * minAdvanceEm));
    // One extra line keeps the word that decides where the last shown line breaks.
    const double bound = (std::min(lines, maxBound) + 1) * std::min(perLine, maxBound);
    return static_cast<std::size_t>(std::min(bound, maxBound));
}

std::string textForLayout(std::string_view text, std::size_t maxClusters)
{
    const std::size_t maxBytes =
        maxClusters > text.size() / maxBytesPerCluster ? text.size() : maxClusters * maxBytesPerCluster;
    const std::string_view head = text.substr(0, maxBytes);

    std::string clean;
    if (text::isValidUtf8(head)) {
        clean.assign(head);
    } else {
        // A code point cut by the byte bound lies past anything shown, so its U+FFFD never shows.
        text::appendUtf8Lossy(head, clean);
    }
    if (clean.find('\0') != std::string::npos) {
        std::string out;
        for (char c : clean) {
            if (c == '\0') {
                out += replacement;
            } else {
                out += c;
            }
        }
        clean = std::move(out);
    }
    // A cluster has at least one byte, so a text this short is within the bound already.
    if (clean.size() <= maxClusters) return clean;

    text::GraphemeCursor cursor(clean);
    std::size_t end = 0;
    for (std::size_t n = 0; n < maxClusters && end < clean.size(); ++n) end = cursor.next(end);
    clean.resize(end);
    return clean;
}

}  // namespace zaro
