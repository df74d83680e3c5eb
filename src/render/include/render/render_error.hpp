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
        fonts,    // no usable font could be loaded for the card's text
        memory,   // the process has too little memory left to draw a card
    };

    explicit RenderError(Code code) : code_(code) {}

    Code code() const { return code_; }
    /// A generic sentence naming the error type and code for the first three, whose causes lie inside the
    /// libraries; the user's sentence for the others.
    const char* what() const noexcept override;

    friend bool operator==(const RenderError& a, const RenderError& b) { return a.code_ == b.code_; }

private:
    Code code_;
};

}  // namespace zaro
