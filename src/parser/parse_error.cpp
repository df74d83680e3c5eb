#include "parser/parse_error.hpp"

namespace zaro {

namespace {

std::string messageOf(ParseError::Kind kind, const std::vector<std::string>& columns)
{
    switch (kind) {
    case ParseError::Kind::empty:
        return "The ZARO Session file is empty.";
    case ParseError::Kind::tooLarge:
        return "The ZARO Session file is too large to preview.";
    case ParseError::Kind::missingColumns: {
        std::string message = "The ZARO Session file is missing columns: ";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) message += ", ";
            message += columns[i];
        }
        return message + ".";
    }
    case ParseError::Kind::missingTelemetry:
        return "The ZARO Session file has no GPS rows.";
    case ParseError::Kind::unsupportedFormat:
        return "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.";
    }
    return {};
}

}  // namespace

ParseError::ParseError(Kind kind, std::vector<std::string> columns)
    : kind_(kind), columns_(std::move(columns)), message_(messageOf(kind_, columns_))
{
}

}  // namespace zaro
