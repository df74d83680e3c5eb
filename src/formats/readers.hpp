// The readers of other loggers' exports, one per family of files, each recognising its files by a
// signature of their own: a preamble line, a section name, the shape of a header.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "model/zaro_session.hpp"

namespace zaro::formats {

struct Reader {
    std::string_view family;
    /// Whether the first bytes of a file (UTF-8, a whole file or its start) bear the family's
    /// signature. A reader that is unsure says no.
    bool (*recognises)(std::string_view head);
    /// The session in a whole file of the family. Throws ParseError: missingTelemetry when no row
    /// holds a position, missingColumns or unsupportedFormat for a header it cannot read. `threads`:
    /// how many a family whose rows stand alone may read them on (0: one per processor).
    ZaroSession (*read)(std::string_view text, std::string fileName, unsigned threads);
};

/// Every reader, the most specific signatures first and the plain GPS track last.
std::span<const Reader> readers();

bool recognisesRaceChrono(std::string_view head);
ZaroSession readRaceChrono(std::string_view text, std::string fileName, unsigned threads);
bool recognisesTrackAddict(std::string_view head);
ZaroSession readTrackAddict(std::string_view text, std::string fileName, unsigned threads);
bool recognisesAim(std::string_view head);
ZaroSession readAim(std::string_view text, std::string fileName, unsigned threads);
bool recognisesVbox(std::string_view head);
ZaroSession readVbox(std::string_view text, std::string fileName, unsigned threads);
bool recognisesHarrys(std::string_view head);
ZaroSession readHarrys(std::string_view text, std::string fileName, unsigned threads);
bool recognisesRaceCapture(std::string_view head);
ZaroSession readRaceCapture(std::string_view text, std::string fileName, unsigned threads);
bool recognisesAlfano(std::string_view head);
ZaroSession readAlfano(std::string_view text, std::string fileName, unsigned threads);
bool recognisesGpsTrack(std::string_view head);
ZaroSession readGpsTrack(std::string_view text, std::string fileName, unsigned threads);

}  // namespace zaro::formats
