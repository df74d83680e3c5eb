// The one error of the rendering layer: a card could not be turned into PNG bytes.
#pragma once

#include <cstdint>
#include <exception>

namespace zaro {

class RenderError : public std::exception {
public:
    /// In this order; the position is the error code.
    enum class Code : std::uint8_t {
        context,  // the bitmap could not be created
        image,    // no image could be taken from the bitmap after drawing
        png,      // the PNG could not be encoded
    };

    explicit RenderError(Code code) : code_(code) {}

    Code code() const { return code_; }
    /// A generic sentence naming the error type and code; the error carries no text of its own.
    const char* what() const noexcept override;

    friend bool operator==(const RenderError& a, const RenderError& b) { return a.code_ == b.code_; }

private:
    Code code_;
};

}  // namespace zaro
