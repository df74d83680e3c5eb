#include "bitmap.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "render_error.hpp"
#include "text_fit.hpp"

namespace zaro {

namespace {

template <auto destroy>
struct Destroy {
    template <typename T>
    void operator()(T* handle) const { destroy(handle); }
};

using SurfacePtr = std::unique_ptr<cairo_surface_t, Destroy<cairo_surface_destroy>>;
using CairoPtr = std::unique_ptr<cairo_t, Destroy<cairo_destroy>>;
using PathPtr = std::unique_ptr<cairo_path_t, Destroy<cairo_path_destroy>>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, Destroy<cairo_font_options_destroy>>;
using PangoContextPtr = std::unique_ptr<PangoContext, Destroy<g_object_unref>>;
using LayoutPtr = std::unique_ptr<PangoLayout, Destroy<g_object_unref>>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, Destroy<pango_font_description_free>>;
using AttrListPtr = std::unique_ptr<PangoAttrList, Destroy<pango_attr_list_unref>>;
using LayoutIterPtr = std::unique_ptr<PangoLayoutIter, Destroy<pango_layout_iter_free>>;
using BufferPtr = std::unique_ptr<unsigned char, Destroy<std::free>>;

// Inter first; fontconfig falls back to the system sans-serif for a missing family or glyph.
constexpr const char* fontFamilies = "Inter,sans-serif";
// Pango works in int units of 1/1024; wider blocks than this would overflow them.
constexpr double maxTextWidth = 1e6;

constexpr std::size_t hugePage = std::size_t{2} << 20;
// Cairo's image surfaces are at most 32767 pixels on a side.
constexpr int maxSide = 32767;

// Touching the pages of a fresh 10 MB buffer takes about 27 ms on 4 KiB pages and 1 ms on huge pages.
BufferPtr allocatePixels(std::size_t bytes)
{
    if (bytes < hugePage) return BufferPtr(static_cast<unsigned char*>(std::calloc(bytes, 1)));
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    BufferPtr buffer(static_cast<unsigned char*>(std::aligned_alloc(hugePage, rounded)));
    if (!buffer) return buffer;
    madvise(buffer.get(), rounded, MADV_HUGEPAGE);
    std::memset(buffer.get(), 0, bytes);
    return buffer;
}

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

// Cairo's image sources are native-endian 0xAARRGGBB words with premultiplied alpha. Each block of
// stepX x stepY pixels becomes one pixel, their average: the box filter that cairo applies when it
// shrinks an image, paid here once while copying instead of on the whole image.
SurfacePtr premultipliedSurface(const ImageView& image, int stepX, int stepY)
{
    const int width = (image.width + stepX - 1) / stepX;
    const int height = (image.height + stepY - 1) / stepY;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return surface;
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    const auto sourceWidth = static_cast<std::size_t>(image.width);
    const auto blockWidth = static_cast<std::size_t>(stepX);
    if (stepX == 1 && stepY == 1) {
        for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
            const unsigned char* in = image.rgba + y * sourceWidth * 4;
            auto* out = reinterpret_cast<std::uint32_t*>(data + y * stride);
            for (std::size_t x = 0; x < sourceWidth; ++x, in += 4) {
                const std::uint32_t a = in[3];
                const auto premultiplied = [a](std::uint32_t c) { return (c * a + 127) / 255; };
                out[x] = a << 24 | premultiplied(in[0]) << 16 | premultiplied(in[1]) << 8 | premultiplied(in[2]);
            }
        }
        cairo_surface_mark_dirty(surface.get());
        return surface;
    }
    // Per output column: the sums of red, green and blue times alpha, and of alpha.
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(width) * 4);
    for (int row = 0; row < height; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        const int firstY = row * stepY;
        const int lastY = std::min(image.height, firstY + stepY);
        for (int y = firstY; y < lastY; ++y) {
            const unsigned char* in = image.rgba + static_cast<std::size_t>(y) * sourceWidth * 4;
            const unsigned char* const end = in + sourceWidth * 4;
            for (std::uint64_t* sum = sums.data(); in < end; sum += 4) {
                const unsigned char* const blockEnd = std::min(end, in + blockWidth * 4);
                std::uint32_t r = 0, g = 0, b = 0, a = 0;  // at most stepX * 65025 each
                for (; in < blockEnd; in += 4) {
                    r += in[0] * in[3];
                    g += in[1] * in[3];
                    b += in[2] * in[3];
                    a += in[3];
                }
                sum[0] += r;
                sum[1] += g;
                sum[2] += b;
                sum[3] += a;
            }
        }
        unsigned char* out = data + static_cast<std::size_t>(row) * stride;
        const auto rows = static_cast<std::uint64_t>(lastY - firstY);
        for (std::size_t column = 0; column < static_cast<std::size_t>(width); ++column, out += 4) {
            const std::uint64_t* sum = &sums[column * 4];
            const std::uint64_t columns = std::min<std::uint64_t>(blockWidth, sourceWidth - column * blockWidth);
            const std::uint64_t n = rows * columns;
            const auto channel = [n](std::uint64_t total) { return (total + 255 * n / 2) / (255 * n); };
            const auto word = static_cast<std::uint32_t>((sum[3] + n / 2) / n << 24 | channel(sum[0]) << 16
                                                         | channel(sum[1]) << 8 | channel(sum[2]));
            std::memcpy(out, &word, sizeof word);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// How many image pixels may be averaged into one along an axis: as many as fall on one device pixel.
int reductionStep(double deviceX, double deviceY, int imageSide)
{
    const double pixelSize = std::hypot(deviceX, deviceY);
    if (!(pixelSize > 0) || pixelSize >= 0.5) return 1;
    return static_cast<int>(std::clamp(std::floor(1 / pixelSize), 1.0, static_cast<double>(imageSide)));
}

PangoWeight pangoWeight(FontWeight weight)
{
    switch (weight) {
    case FontWeight::regular: return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium: return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold: return PANGO_WEIGHT_BOLD;
    }
    return PANGO_WEIGHT_NORMAL;
}

class CairoContext final : public DrawingContext {
public:
    explicit CairoContext(cairo_surface_t* surface) : cr_(cairo_create(surface)) {}

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

    Rect drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color) override;

private:
    // What cairo's own state does not keep for us, saved and restored alongside it.
    struct State {
        Rgba fill{0, 0, 0, 1};
        Rgba stroke{0, 0, 0, 1};
        InterpolationQuality interpolation = InterpolationQuality::medium;
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
        PathPtr path_;
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

    PangoContext* pangoContext();

    CairoPtr cr_;
    PangoContextPtr pango_;
    State state_;
    std::vector<State> saved_;
};

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
    const SurfacePtr source = premultipliedSurface(image, stepX, stepY);
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

// Layout happens in user space (the context's matrix stays the identity), so a scale set on the
// drawing does not move line breaks; with metric hinting off a 13-point Inter line is 15.7 points
// high rather than 17, and fits the 16-point rows it was made for.
PangoContext* CairoContext::pangoContext()
{
    if (!pango_) {
        pango_.reset(pango_font_map_create_context(pango_cairo_font_map_get_default()));
        FontOptionsPtr options(cairo_font_options_create());
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(pango_.get(), options.get());
        pango_context_set_round_glyph_positions(pango_.get(), FALSE);
    }
    return pango_.get();
}

Rect CairoContext::drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color)
{
    const double width = std::min(frame.w, maxTextWidth);
    const double limit = frame.h;
    Rect block{frame.x, frame.y, frame.width(), 0};
    const std::size_t bound = textBlockClusterBound(font.size, width, limit);
    if (text.empty() || bound == 0 || !isFinite(frame.x, frame.y)) return block;

    SavedGState saved(*this);
    const std::string shown = textForLayout(text, bound);

    LayoutPtr layout(pango_layout_new(pangoContext()));
    FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family_static(description.get(), fontFamilies);
    pango_font_description_set_weight(description.get(), pangoWeight(font.weight));
    pango_font_description_set_absolute_size(description.get(), font.size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), description.get());
    if (font.tabularDigits) {
        AttrListPtr attributes(pango_attr_list_new());
        pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(layout.get(), attributes.get());
    }
    pango_layout_set_width(layout.get(), pango_units_from_double(width));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_text(layout.get(), shown.data(), static_cast<int>(shown.size()));

    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    const double measured = std::ceil(static_cast<double>(logical.height) / PANGO_SCALE);
    block.h = std::min(measured, limit);

    cairo_t* cr = cr_.get();
    setSource(cr, color);
    const double bottom = block.h * PANGO_SCALE;
    LayoutIterPtr lines(pango_layout_get_iter(layout.get()));
    do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(lines.get(), nullptr, &line);
        if (static_cast<double>(line.y) + line.height > bottom) break;
        const double baseline = pango_layout_iter_get_baseline(lines.get());
        cairo_move_to(cr, frame.x + static_cast<double>(line.x) / PANGO_SCALE, frame.y + baseline / PANGO_SCALE);
        pango_cairo_show_layout_line(cr, pango_layout_iter_get_line_readonly(lines.get()));
    } while (pango_layout_iter_next_line(lines.get()));
    return block;
}

}  // namespace

struct Bitmap::Impl {
    int width = 0;
    int height = 0;
    int stride = 0;
    BufferPtr pixels;
    SurfacePtr surface;
    std::unique_ptr<CairoContext> context;
};

Bitmap::Bitmap(int width, int height) : impl_(std::make_unique<Impl>())
{
    if (width <= 0 || height <= 0 || width > maxSide || height > maxSide) {
        throw RenderError(RenderError::Code::context);
    }
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0) throw RenderError(RenderError::Code::context);
    impl_->width = width;
    impl_->height = height;
    impl_->stride = stride;
    impl_->pixels = allocatePixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
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

Bitmap::Bitmap(Bitmap&&) noexcept = default;
Bitmap& Bitmap::operator=(Bitmap&&) noexcept = default;
Bitmap::~Bitmap() = default;

int Bitmap::width() const { return impl_->width; }
int Bitmap::height() const { return impl_->height; }
DrawingContext& Bitmap::context() { return *impl_->context; }

PixelView Bitmap::pixels()
{
    if (impl_->context->status() != CAIRO_STATUS_SUCCESS) throw RenderError(RenderError::Code::image);
    cairo_surface_flush(impl_->surface.get());
    if (cairo_surface_status(impl_->surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw RenderError(RenderError::Code::image);
    }
    return PixelView{impl_->pixels.get(), impl_->width, impl_->height, static_cast<std::size_t>(impl_->stride)};
}

}  // namespace zaro
