// The `summary` command: session files as what the card shows and the lap analysis, as text or JSON.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "format/zaro_session_format.hpp"
#include "model/zaro_session.hpp"

namespace zaro::cli {

enum class OutputMode : std::uint8_t { text, json };

/// How the text is written: its units, and whether the best sectors may be shown in bold colour
/// (on a terminal that allows colour) rather than marked with a '*'.
struct TextStyle {
    ZaroSessionFormat::Units units = ZaroSessionFormat::Units::metric;
    bool colour = false;
};

/// The text summary: title, file and source, the statistics and analysis the file has, then every
/// completed lap with its gap to the best lap and its sectors, the best of each marked.
void writeSummary(std::ostream& out, const ZaroSession& session, const TextStyle& style = {});

/// Summarises each file ("-" is standard input) to `out`; failures go to `err` as "FILE: message",
/// or to `out` as error objects. Returns the exit status: 0, or 1 when any file failed.
int summarizeFiles(std::span<const std::string> files, OutputMode mode, const TextStyle& style, std::ostream& out,
                   std::ostream& err);

}  // namespace zaro::cli
