// The graphics context a drawing callback finds current on its thread.
#pragma once

#include "render/drawing_context.hpp"

namespace zaro {

/// A drawing destination, made current for one thread while a drawing callback runs.
class GraphicsContext {
public:
    /// A graphics context that draws through `cgContext` (which may be absent).
    explicit GraphicsContext(DrawingContext* cgContext) : cgContext_(cgContext) {}

    /// Its 2-D drawing context, or null.
    DrawingContext* cgContext() const { return cgContext_; }

    /// The calling thread's current graphics context, or null.
    static GraphicsContext* current();
    /// Makes `context` (or none) the calling thread's current graphics context.
    static void setCurrent(GraphicsContext* context);

private:
    DrawingContext* cgContext_;
};

/// Makes a graphics context current on this thread for a scope and then restores the previous one.
class CurrentGraphicsContext {
public:
    explicit CurrentGraphicsContext(GraphicsContext* context) : previous_(GraphicsContext::current())
    {
        GraphicsContext::setCurrent(context);
    }
    CurrentGraphicsContext(const CurrentGraphicsContext&) = delete;
    CurrentGraphicsContext& operator=(const CurrentGraphicsContext&) = delete;
    ~CurrentGraphicsContext() { GraphicsContext::setCurrent(previous_); }

private:
    GraphicsContext* previous_;
};

}  // namespace zaro
