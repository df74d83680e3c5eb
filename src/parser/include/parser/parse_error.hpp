// The parser's own failure: one of five cases, each with the sentence the user reads.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace zaro {

class ParseError : public std::exception {
public:
    enum class Kind { empty, tooLarge, missingColumns, missingTelemetry, unsupportedFormat };

    static ParseError empty() { return ParseError(Kind::empty, {}); }
    static ParseError tooLarge() { return ParseError(Kind::tooLarge, {}); }
    static ParseError missingColumns(std::vector<std::string> columns)
    {
        return ParseError(Kind::missingColumns, std::move(columns));
    }
    static ParseError missingTelemetry() { return ParseError(Kind::missingTelemetry, {}); }
    static ParseError unsupportedFormat() { return ParseError(Kind::unsupportedFormat, {}); }

    Kind kind() const { return kind_; }
    /// The missing required columns, for `missingColumns`; empty otherwise.
    const std::vector<std::string>& columns() const { return columns_; }
    /// The user-facing sentence.
    const std::string& errorDescription() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    friend bool operator==(const ParseError& a, const ParseError& b)
    {
        return a.kind_ == b.kind_ && a.columns_ == b.columns_;
    }

private:
    ParseError(Kind kind, std::vector<std::string> columns);

    Kind kind_;
    std::vector<std::string> columns_;
    std::string message_;
};

}  // namespace zaro
