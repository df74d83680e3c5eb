#include "render/cairo_canvas.hpp"


#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "base/c_handle.hpp"
#include "base/zeroed_buffer.hpp"
#include "fonts.hpp"
#include "image_scaling.hpp"
#include "render/render_error.hpp"
#include "text.hpp"

namespace zaro {

namespace {

using CairoHandle = CHandle<cairo_t, cairo_destroy>;
using PathHandle = CHandle<cairo_path_t, cairo_path_destroy>;
// Pixels in memory of their own, handed over zeroed, so that no pass clears them before the first
// drawing does.
using PixelBuffer = ZeroedBuffer;

// Cairo's image surfaces are at most 32767 pixels on a side.
constexpr int maxSide = 32767;

bool isFinite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

bool isFinite(Rect r) { return isFinite(r.x, r.y) && isFinite(r.w, r.h); }

Rect standardized(Rect r)
{
    if (r.w < 0) r = {r.x + r.w, r.y, -r.w, r.h};
    if (r.h < 0) r = {r.x, r.y + r.h, r.w, -r.h};
    return r;
}

void setSource(cairo_t* cr, Rgba c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

// High is cairo's GOOD (box-filtered when shrinking): its BEST takes six times as long on a
// 1024-pixel image shrunk to 256 with no difference to see at that size.
cairo_filter_t cairoFilter(InterpolationQuality quality)
{
    switch (quality) {
    case InterpolationQuality::none: return CAIRO_FILTER_NEAREST;
    case InterpolationQuality::low: return CAIRO_FILTER_FAST;
    case InterpolationQuality::medium: return CAIRO_FILTER_BILINEAR;
    case InterpolationQuality::high: return CAIRO_FILTER_GOOD;
    }
    return CAIRO_FILTER_BILINEAR;
}

// Where a region context's pixels lie in the surface it was cut from, in device pixels.
struct Region {
    cairo_surface_t* surface = nullptr;  // the surface cut from, which outlives the region
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class CairoContext final : public DrawingContext {
public:
    explicit CairoContext(cairo_surface_t* surface, Region region = {}) : cr_(cairo_create(surface)), region_(region) {}
    CairoContext(const CairoContext&) = delete;
    CairoContext& operator=(const CairoContext&) = delete;
    ~CairoContext() override
    {
        if (region_.surface) {
            // The pixels changed under the surface cut from, which is told so on its own thread.
            cairo_surface_flush(cairo_get_target(cr_.get()));
            cairo_surface_mark_dirty_rectangle(region_.surface, region_.x, region_.y, region_.width, region_.height);
        }
        if (!pango_) return;
        const std::lock_guard guard(fonts::lock());
        pango_.reset();
    }

    cairo_status_t status() const { return cairo_status(cr_.get()); }

    void saveGState() override
    {
        cairo_save(cr_.get());
        saved_.push_back(state_);
    }

    void restoreGState() override
    {
        if (saved_.empty()) return;
        cairo_restore(cr_.get());
        state_ = saved_.back();
        saved_.pop_back();
    }

    void translate(double dx, double dy) override
    {
        concat([&](cairo_matrix_t& m) { cairo_matrix_translate(&m, dx, dy); }, isFinite(dx, dy));
    }

    void scale(double sx, double sy) override
    {
        concat([&](cairo_matrix_t& m) { cairo_matrix_scale(&m, sx, sy); }, isFinite(sx, sy));
    }

    void setFillColor(Rgba color) override { state_.fill = color; }
    void setStrokeColor(Rgba color) override { state_.stroke = color; }
    void setLineWidth(double width) override
    {
        cairo_set_line_width(cr_.get(), std::isfinite(width) ? std::max(width, 0.0) : 0.0);
    }

    void setLineJoin(LineJoin join) override
    {
        cairo_set_line_join(cr_.get(), join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                       : join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                 : CAIRO_LINE_JOIN_MITER);
    }

    void setLineCap(LineCap cap) override
    {
        cairo_set_line_cap(cr_.get(), cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                                      : cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                               : CAIRO_LINE_CAP_BUTT);
    }

    void setShapeAntialias(Antialias antialias) override
    {
        cairo_set_antialias(cr_.get(), antialias == Antialias::fast ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_DEFAULT);
    }

    // Shapes and points that are not finite are skipped: cairo would stop drawing altogether.
    void fillRect(Rect rect) override
    {
        if (!isFinite(rect)) return;
        KeptPath kept(cr_.get());
        cairo_rectangle(cr_.get(), rect.x, rect.y, rect.w, rect.h);
        fillCurrentPath();
    }

    void fillEllipse(Rect rect) override
    {
        const Rect r = standardized(rect);
        if (!isFinite(r) || !(r.w > 0) || !(r.h > 0)) return;
        KeptPath kept(cr_.get());
        cairo_save(cr_.get());
        cairo_translate(cr_.get(), r.x + r.w / 2, r.y + r.h / 2);
        cairo_scale(cr_.get(), r.w / 2, r.h / 2);
        cairo_arc(cr_.get(), 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr_.get());
        fillCurrentPath();
    }

    void fillRoundedRect(Rect rect, double radius) override
    {
        KeptPath kept(cr_.get());
        if (!addRoundedRect(rect, radius)) return;
        fillCurrentPath();
    }

    void strokeRoundedRect(Rect rect, double radius) override
    {
        KeptPath kept(cr_.get());
        if (!addRoundedRect(rect, radius)) return;
        setSource(cr_.get(), state_.stroke);
        cairo_stroke(cr_.get());
    }

    void beginPath() override { cairo_new_path(cr_.get()); }

    void moveTo(double x, double y) override
    {
        if (isFinite(x, y)) cairo_move_to(cr_.get(), x, y);
    }

    void addLineTo(double x, double y) override
    {
        if (isFinite(x, y)) cairo_line_to(cr_.get(), x, y);
    }

    void strokePath() override
    {
        setSource(cr_.get(), state_.stroke);
        cairo_stroke(cr_.get());
    }

    void setInterpolationQuality(InterpolationQuality quality) override { state_.interpolation = quality; }

    void drawImage(const ImageView& image, Rect rect) override;

    Rect drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color) override
    {
        const std::lock_guard guard(fonts::lock());
        if (!pango_) pango_ = makeTextContext(fonts::fontMap());
        return zaro::drawTextBlock(cr_.get(), pango_.get(), text, frame, font, color);
    }

    std::unique_ptr<DrawingContext> regionContext(Rect rect) override;

private:
    // What cairo's own state does not keep for us, saved and restored alongside it.
    struct State {
        Rgba fill{0, 0, 0, 1};
        Rgba stroke{0, 0, 0, 1};
        InterpolationQuality interpolation = InterpolationQuality::medium;
        bool clipped = false;  // by a transform without an inverse
    };

    // Shape fills leave the path under construction alone, as the drawing model promises.
    class KeptPath {
    public:
        explicit KeptPath(cairo_t* cr) : cr_(cr)
        {
            if (cairo_has_current_point(cr_)) path_.reset(cairo_copy_path(cr_));
            cairo_new_path(cr_);
        }
        KeptPath(const KeptPath&) = delete;
        KeptPath& operator=(const KeptPath&) = delete;
        ~KeptPath()
        {
            cairo_new_path(cr_);
            if (path_ && path_->status == CAIRO_STATUS_SUCCESS) cairo_append_path(cr_, path_.get());
        }

    private:
        cairo_t* cr_;
        PathHandle path_;
    };

    void fillCurrentPath()
    {
        setSource(cr_.get(), state_.fill);
        cairo_set_fill_rule(cr_.get(), CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr_.get());
    }

    // A transform without an inverse shows nothing; cairo would instead stop drawing for good.
    template <typename Change>
    void concat(Change change, bool finite)
    {
        cairo_matrix_t matrix;
        cairo_get_matrix(cr_.get(), &matrix);
        change(matrix);
        cairo_matrix_t inverse = matrix;
        if (finite && cairo_matrix_invert(&inverse) == CAIRO_STATUS_SUCCESS) {
            cairo_set_matrix(cr_.get(), &matrix);
        } else {
            KeptPath kept(cr_.get());
            cairo_clip(cr_.get());
            state_.clipped = true;
        }
    }

    bool addRoundedRect(Rect rect, double radius)
    {
        const Rect r = standardized(rect);
        if (!isFinite(r) || !(r.w > 0) || !(r.h > 0) || !isFinite(r.maxX(), r.maxY())) return false;
        const double rad = std::clamp(std::isfinite(radius) ? radius : 0.0, 0.0, std::min(r.w, r.h) / 2);
        constexpr double quarter = std::numbers::pi / 2;
        cairo_t* cr = cr_.get();
        cairo_new_sub_path(cr);
        cairo_arc(cr, r.maxX() - rad, r.y + rad, rad, -quarter, 0);
        cairo_arc(cr, r.maxX() - rad, r.maxY() - rad, rad, 0, quarter);
        cairo_arc(cr, r.x + rad, r.maxY() - rad, rad, quarter, 2 * quarter);
        cairo_arc(cr, r.x + rad, r.y + rad, rad, 2 * quarter, 3 * quarter);
        cairo_close_path(cr);
        return true;
    }

    CairoHandle cr_;
    Region region_;
    PangoContextHandle pango_;
    State state_;
    std::vector<State> saved_;
};

std::unique_ptr<DrawingContext> CairoContext::regionContext(Rect rect)
{
    cairo_t* cr = cr_.get();
    cairo_surface_t* target = cairo_get_target(cr);
    const Rect r = standardized(rect);
    if (state_.clipped || !isFinite(r) || cairo_status(cr) != CAIRO_STATUS_SUCCESS
        || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) {
        return nullptr;
    }
    // The rectangle's corners in device space, widened to whole pixels and kept within the surface:
    // cut at whole pixels, the region samples each pixel exactly where the surface does.
    double left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
    for (const auto& [x, y] : {std::pair{r.x, r.y}, {r.maxX(), r.y}, {r.x, r.maxY()}, {r.maxX(), r.maxY()}}) {
        double dx = x, dy = y;
        cairo_user_to_device(cr, &dx, &dy);
        left = std::min(left, dx);
        top = std::min(top, dy);
        right = std::max(right, dx);
        bottom = std::max(bottom, dy);
    }
    const int surfaceWidth = cairo_image_surface_get_width(target);
    const int surfaceHeight = cairo_image_surface_get_height(target);
    if (!isFinite(left, top) || !isFinite(right, bottom)) return nullptr;
    const int x0 = static_cast<int>(std::clamp(std::floor(left), 0.0, static_cast<double>(surfaceWidth)));
    const int y0 = static_cast<int>(std::clamp(std::floor(top), 0.0, static_cast<double>(surfaceHeight)));
    const int x1 = static_cast<int>(std::clamp(std::ceil(right), 0.0, static_cast<double>(surfaceWidth)));
    const int y1 = static_cast<int>(std::clamp(std::ceil(bottom), 0.0, static_cast<double>(surfaceHeight)));
    if (x1 <= x0 || y1 <= y0) return nullptr;

    cairo_surface_flush(target);
    const int stride = cairo_image_surface_get_stride(target);
    unsigned char* const origin = cairo_image_surface_get_data(target) + static_cast<std::ptrdiff_t>(y0) * stride
                                + static_cast<std::ptrdiff_t>(x0) * 4;
    const SurfaceHandle surface(
        cairo_image_surface_create_for_data(origin, cairo_image_surface_get_format(target), x1 - x0, y1 - y0, stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    auto region = std::make_unique<CairoContext>(surface.get(), Region{target, x0, y0, x1 - x0, y1 - y0});
    cairo_t* rc = region->cr_.get();
    if (region->status() != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_matrix_t matrix;
    cairo_get_matrix(cr, &matrix);
    matrix.x0 -= x0;
    matrix.y0 -= y0;
    cairo_set_matrix(rc, &matrix);
    cairo_set_line_width(rc, cairo_get_line_width(cr));
    cairo_set_line_join(rc, cairo_get_line_join(cr));
    cairo_set_line_cap(rc, cairo_get_line_cap(cr));
    cairo_set_miter_limit(rc, cairo_get_miter_limit(cr));
    cairo_set_antialias(rc, cairo_get_antialias(cr));
    region->state_ = state_;
    return region;
}

void CairoContext::drawImage(const ImageView& image, Rect rect)
{
    const Rect r = standardized(rect);
    if (!image.rgba || image.width <= 0 || image.height <= 0 || image.width > maxSide || image.height > maxSide) return;
    if (!isFinite(r) || !(r.w > 0) || !(r.h > 0)) return;
    // The image's rows run down from the rectangle's top edge in a y-up space.
    cairo_t* cr = cr_.get();
    cairo_matrix_t userToDevice;
    cairo_get_matrix(cr, &userToDevice);
    cairo_matrix_translate(&userToDevice, r.x, r.maxY());

    int stepX = 1;
    int stepY = 1;
    if (state_.interpolation != InterpolationQuality::none) {
        const double sx = r.w / image.width;
        const double sy = r.h / image.height;
        stepX = reductionStep(userToDevice.xx * sx, userToDevice.yx * sx, image.width);
        stepY = reductionStep(userToDevice.xy * sy, userToDevice.yy * sy, image.height);
    }
    const SurfaceHandle source = premultipliedSurface(image, stepX, stepY);
    if (cairo_surface_status(source.get()) != CAIRO_STATUS_SUCCESS) return;
    const int width = cairo_image_surface_get_width(source.get());
    const int height = cairo_image_surface_get_height(source.get());

    // A transform without an inverse would put cairo into an error state for good: such a draw shows nothing.
    cairo_matrix_t matrix = userToDevice;
    cairo_matrix_scale(&matrix, r.w / width, -r.h / height);
    cairo_matrix_t inverse = matrix;
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) return;

    KeptPath kept(cr);
    cairo_save(cr);
    cairo_set_matrix(cr, &matrix);
    cairo_set_source_surface(cr, source.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), cairoFilter(state_.interpolation));
    // Padding, not transparency, beyond the edges: a stretched image keeps solid borders.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace

struct CairoCanvas::Impl {
    int width = 0;
    int height = 0;
    int stride = 0;
    PixelBuffer pixels;
    SurfaceHandle surface;
    std::unique_ptr<CairoContext> context;
};

CairoCanvas::CairoCanvas(int width, int height) : impl_(std::make_unique<Impl>())
{
    if (width <= 0 || height <= 0 || width > maxSide || height > maxSide) {
        throw RenderError(RenderError::Code::context);
    }
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0) throw RenderError(RenderError::Code::context);
    impl_->width = width;
    impl_->height = height;
    impl_->stride = stride;
    impl_->pixels = PixelBuffer(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    if (!impl_->pixels) throw RenderError(RenderError::Code::context);
    impl_->surface.reset(
        cairo_image_surface_create_for_data(impl_->pixels.get(), CAIRO_FORMAT_ARGB32, width, height, stride));
    if (cairo_surface_status(impl_->surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw RenderError(RenderError::Code::context);
    }
    impl_->context = std::make_unique<CairoContext>(impl_->surface.get());
    if (impl_->context->status() != CAIRO_STATUS_SUCCESS) throw RenderError(RenderError::Code::context);
    // A fresh bitmap has its origin at the bottom-left with y up; cards flip it themselves.
    impl_->context->translate(0, height);
    impl_->context->scale(1, -1);
}

CairoCanvas::CairoCanvas(CairoCanvas&&) noexcept = default;
CairoCanvas& CairoCanvas::operator=(CairoCanvas&&) noexcept = default;
CairoCanvas::~CairoCanvas() = default;

int CairoCanvas::width() const { return impl_->width; }
int CairoCanvas::height() const { return impl_->height; }
DrawingContext& CairoCanvas::context() { return *impl_->context; }

void CairoCanvas::writePixels(const std::function<void(unsigned char* data, std::size_t stride)>& write)
{
    pixels();
    write(impl_->pixels.get(), static_cast<std::size_t>(impl_->stride));
    cairo_surface_mark_dirty(impl_->surface.get());
}

PixelView CairoCanvas::pixels()
{
    if (impl_->context->status() != CAIRO_STATUS_SUCCESS) throw RenderError(RenderError::Code::image);
    cairo_surface_flush(impl_->surface.get());
    if (cairo_surface_status(impl_->surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw RenderError(RenderError::Code::image);
    }
    return PixelView{impl_->pixels.get(), impl_->width, impl_->height, static_cast<std::size_t>(impl_->stride)};
}

}  // namespace zaro
