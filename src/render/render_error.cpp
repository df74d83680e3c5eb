#include "render/render_error.hpp"

namespace zaro {

const char* RenderError::what() const noexcept
{
    switch (code_) {
    case Code::context: return "The operation could not be completed. (RenderError error 0.)";
    case Code::image: return "The operation could not be completed. (RenderError error 1.)";
    case Code::png: return "The operation could not be completed. (RenderError error 2.)";
    case Code::fonts: return "No font could be loaded to draw the card's text.";
    case Code::memory: return "There is not enough memory to draw the card.";
    }
    return "The operation could not be completed. (RenderError)";
}

}  // namespace zaro
