// Reading back rendered PNG bytes: pixels at points, expected colours, and where ink fell.
#pragma once

#include <cmath>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "png.hpp"
#include "surface.hpp"

namespace zaro::testing {

struct Rgba8 {
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 255;

    friend bool operator==(const Rgba8&, const Rgba8&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Rgba8& c)
    {
        return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
    }
};

inline int to8(double component) { return static_cast<int>(std::lround(component * 255)); }

/// An opaque colour as 8-bit components.
inline Rgba8 opaque(Rgba c) { return {to8(c.red), to8(c.green), to8(c.blue), 255}; }

/// `over` composited onto the opaque `under`.
inline Rgba8 over(Rgba top, Rgba8 under)
{
    const auto mix = [&](double t, int u) { return static_cast<int>(std::lround(t * 255 * top.alpha + u * (1 - top.alpha))); };
    return {mix(top.red, under.r), mix(top.green, under.g), mix(top.blue, under.b), 255};
}

inline bool near(Rgba8 a, Rgba8 b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance
        && std::abs(a.a - b.a) <= tolerance;
}

class Picture {
public:
    explicit Picture(const std::vector<unsigned char>& pngBytes, double scale = 2.0) : scale_(scale)
    {
        std::optional<png::Image> image = png::decode(pngBytes);
        if (!image) {
            ADD_FAILURE() << "not a PNG";
            return;
        }
        image_ = std::move(*image);
    }

    int width() const { return static_cast<int>(image_.width); }
    int height() const { return static_cast<int>(image_.height); }

    Rgba8 pixel(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * image_.width + static_cast<std::size_t>(x)) * 4;
        const auto& p = image_.rgba;
        return {p[i], p[i + 1], p[i + 2], p[i + 3]};
    }

    /// The pixel that covers the point (x, y).
    Rgba8 at(double x, double y) const { return pixel(static_cast<int>(x * scale_), static_cast<int>(y * scale_)); }

    bool allOpaque() const
    {
        for (std::size_t i = 3; i < image_.rgba.size(); i += 4) {
            if (image_.rgba[i] != 255) return false;
        }
        return true;
    }

    /// Whether any pixel of the region (in points) is near `ink`.
    bool hasColor(Rect region, Rgba8 ink, int tolerance = 24) const
    {
        return count(region, [&](Rgba8 p) { return near(p, ink, tolerance); }) > 0;
    }

    /// Whether any pixel of the region (in points) differs from `background`.
    bool hasInk(Rect region, Rgba8 background, int tolerance = 3) const
    {
        return count(region, [&](Rgba8 p) { return !near(p, background, tolerance); }) > 0;
    }

    /// The right-most pixel column of the region that differs from `background`, or -1.
    int lastInkColumn(Rect region, Rgba8 background) const
    {
        int last = -1;
        forEach(region, [&](int x, int, Rgba8 p) {
            if (!near(p, background, 3)) last = std::max(last, x);
        });
        return last;
    }

private:
    template <typename F>
    void forEach(Rect region, F f) const
    {
        const int x0 = std::max(0, static_cast<int>(std::floor(region.x * scale_)));
        const int y0 = std::max(0, static_cast<int>(std::floor(region.y * scale_)));
        const int x1 = std::min(width(), static_cast<int>(std::ceil(region.maxX() * scale_)));
        const int y1 = std::min(height(), static_cast<int>(std::ceil(region.maxY() * scale_)));
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) f(x, y, pixel(x, y));
        }
    }

    template <typename P>
    int count(Rect region, P predicate) const
    {
        int n = 0;
        forEach(region, [&](int, int, Rgba8 p) { n += predicate(p) ? 1 : 0; });
        return n;
    }

    png::Image image_;
    double scale_;
};

}  // namespace zaro::testing
