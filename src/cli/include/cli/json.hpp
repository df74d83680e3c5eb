// The JSON objects zaro-session prints for a session or a failure.
#pragma once

#include <string_view>

#include "cli/json_writer.hpp"
#include "cli/session_reading.hpp"
#include "model/zaro_session.hpp"

namespace zaro::json {

/// The record's fields in their order, its analysis under "analysis", then the card's texts and
/// the lap rows with their gaps to the best lap under "display".
void writeSession(Writer& writer, const ZaroSession& session);

/// {"fileName": ..., "error": {"kind": ..., "message": ...}}, with "columns" for missing columns.
void writeFailure(Writer& writer, std::string_view fileName, const cli::FileFailure& failure);

}  // namespace zaro::json
