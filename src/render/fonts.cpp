#include "fonts.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>
#include <pango/pangofc-fontmap.h>
#include <pixman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "base/c_handle.hpp"
#include "render/drawing_context.hpp"
#include "render/render_error.hpp"
#include "text.hpp"

// Pango makes a thread for each new font's fontconfig matching and sorting, and GLib's g_thread_new
// ends the process when no thread can be had (a small address-space limit, say). The program's own
// g_thread_new stands in for GLib's: that work, which only computes and hands its result over, runs
// on the calling thread instead, which also spares a card the two dozen threads it would otherwise
// start and wait for. Any other thread is made by GLib's own function, as before.
extern "C" GThread* g_thread_new(const gchar* name, GThreadFunc func, gpointer data)
{
    static constexpr std::string_view runsAnywhere = "[pango] FcFontSet";
    if (name && std::string_view(name).starts_with(runsAnywhere)) {
        func(data);
        return g_thread_ref(g_thread_self());
    }
    using Create = GThread* (*)(const gchar*, GThreadFunc, gpointer);
    static const auto glibs = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "g_thread_new"));
    return glibs ? glibs(name, func, data) : g_thread_try_new(name, func, data, nullptr);
}

namespace zaro::fonts {

namespace {

using ConfigHandle = CHandle<FcConfig, FcConfigDestroy>;
using PatternHandle = CHandle<FcPattern, FcPatternDestroy>;
using SurfaceHandle = CHandle<cairo_surface_t, cairo_surface_destroy>;
using CairoHandle = CHandle<cairo_t, cairo_destroy>;
using LayoutHandle = CHandle<PangoLayout, g_object_unref>;
using DescriptionHandle = CHandle<PangoFontDescription, pango_font_description_free>;

// The family the cards name, in the weights they draw, where Debian's fonts-inter puts them.
constexpr const char* interFamily = "Inter";
constexpr std::array<const char*, 4> interFiles = {
    "/usr/share/fonts/opentype/inter/Inter-Regular.otf",
    "/usr/share/fonts/opentype/inter/Inter-Medium.otf",
    "/usr/share/fonts/opentype/inter/Inter-SemiBold.otf",
    "/usr/share/fonts/opentype/inter/Inter-Bold.otf",
};
constexpr std::array<FontWeight, 4> weights = {FontWeight::regular, FontWeight::medium, FontWeight::semibold,
                                               FontWeight::bold};
// The weight of the track thumbnail's badge (track_thumbnail.cpp).
constexpr FontWeight badgeWeight = FontWeight::semibold;

// Fonts for the scripts Inter lacks (Greek and Cyrillic it has), from the packages that have them,
// each used when installed. Only the first face of a collection is taken: the renderer keeps ten
// faces open at most, and a face it closes could not be opened again once the process is confined.
constexpr std::array<const char*, 6> fallbackFiles = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",       // fonts-dejavu-core: Arabic, Hebrew, symbols...
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",  // fonts-noto-cjk: Chinese, Japanese, Korean
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",  // fonts-droid-fallback: the same
    "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf",  // fonts-noto-core
    "/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf",
};

// What drawing a card takes beyond loading its fonts, with room to spare: the bitmap, the encoder's
// buffers and threads, the text's caches. Asked for before anything is loaded, so that a process
// with less fails here, with a message, rather than inside a library that cannot fail cleanly.
constexpr std::size_t drawingRoom = std::size_t{40} << 20;

constexpr std::string_view sample = "ZARO SESSION Best lap 1:23.456 0123456789";

bool isFile(const char* path)
{
    struct stat status {};
    return ::stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// The first face of `path`, as fontconfig describes it, or none.
PatternHandle query(const char* path)
{
    int count = 0;
    return PatternHandle(FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(path), 0, nullptr, &count));
}

std::string stringOf(FcPattern* pattern, const char* object)
{
    FcChar8* value = nullptr;
    return FcPatternGetString(pattern, object, 0, &value) == FcResultMatch ? reinterpret_cast<const char*>(value) : "";
}

// Where the system's font configuration finds the family's weights and a sans-serif face: asked only
// when the files are not where the packages put them.
std::vector<std::string> filesFromSystem()
{
    std::vector<std::string> files;
    const ConfigHandle system(FcInitLoadConfigAndFonts());
    if (!system) return files;
    const auto best = [&](const char* family, int weight) {
        const PatternHandle wanted(FcPatternCreate());
        FcPatternAddString(wanted.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(wanted.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
        FcConfigSubstitute(system.get(), wanted.get(), FcMatchPattern);
        FcDefaultSubstitute(wanted.get());
        FcResult result = FcResultNoMatch;
        const PatternHandle found(FcFontMatch(system.get(), wanted.get(), &result));
        if (found) {
            const std::string file = stringOf(found.get(), FC_FILE);
            if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
        }
    };
    for (const FontWeight weight : weights) best(interFamily, static_cast<int>(weight));
    best("sans-serif", 400);
    best("sans-serif", 700);
    return files;
}

// `family` at `weight`, at the size the faces are opened and tried at.
DescriptionHandle scrapFont(const std::string& family, int weight)
{
    DescriptionHandle description(pango_font_description_new());
    pango_font_description_set_family(description.get(), family.c_str());
    pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(weight));
    pango_font_description_set_absolute_size(description.get(), 13 * PANGO_SCALE);
    return description;
}

// Draws `text` in `family` at `weight` on the scrap surface `cr`; the number of characters no font had.
int drawScrap(PangoContext* pango, cairo_t* cr, const std::string& family, int weight, std::string_view text)
{
    const LayoutHandle layout(pango_layout_new(pango));
    const DescriptionHandle description = scrapFont(family, weight);
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    pango_cairo_show_layout(cr, layout.get());
    return pango_layout_get_unknown_glyphs_count(layout.get());
}

// Opens the file of the face pango takes for `family` at `weight`, for FreeType and for HarfBuzz
// alike, without laying anything out in it: what a face's first text works out (its shaping tables,
// its glyphs) needs no file, so it waits until a card draws with it, which the faces only the frame
// or other scripts draw with may never do. False when the face cannot be had.
bool openFace(PangoContext* pango, const std::string& family, int weight)
{
    const DescriptionHandle description = scrapFont(family, weight);
    const CHandle<PangoFont, g_object_unref> font(pango_context_load_font(pango, description.get()));
    if (!font || !pango_font_get_hb_font(font.get())) return false;
    // Making the font's scaled font opens its FreeType face, whose metrics it takes.
    cairo_scaled_font_t* const scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font.get()));
    return scaled && cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS;
}

struct Loaded {
    PangoFontMap* map = nullptr;
    std::exception_ptr failure;
    std::string identity;
};

Loaded loadOnce(Coverage coverage)
{
    // Only a question: the room is given back at once.
    void* room = ::mmap(nullptr, drawingRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED) throw RenderError(RenderError::Code::memory);
    ::munmap(room, drawingRoom);
    // Pango's first font map starts a thread; asking for one first makes sure it can be had (the
    // thread's stack is kept for the next one), since that one has no way to fail.
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        throw RenderError(RenderError::Code::memory);
    }

    ConfigHandle config(FcConfigCreate());
    if (!config) throw RenderError(RenderError::Code::memory);
    FcFontSet* faces = nullptr;
    // A file that cannot be read is left out.
    const auto add = [&](const char* path) {
        if (!faces) {
            // The configuration makes its set of the program's own fonts with the first of them.
            if (FcConfigAppFontAddFile(config.get(), reinterpret_cast<const FcChar8*>(path))) {
                faces = FcConfigGetFonts(config.get(), FcSetApplication);
            }
            return;
        }
        PatternHandle face = query(path);
        if (face && FcFontSetAdd(faces, face.get())) face.release();
    };
    // The badge's characters are all Inter's, in one weight: the other files would never be opened.
    const bool badge = coverage == Coverage::badge;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < interFiles.size(); ++i) {
        if ((!badge || weights[i] == badgeWeight) && isFile(interFiles[i])) files.emplace_back(interFiles[i]);
    }
    if (files.empty()) files = filesFromSystem();
    for (const char* file : fallbackFiles) {
        if (!badge && isFile(file)) files.emplace_back(file);
    }
    // A process with no descriptor left says so, rather than that it found no font.
    if (!files.empty() && ::access(files.front().c_str(), R_OK) == 0) {
        const int probe = ::open(files.front().c_str(), O_RDONLY | O_CLOEXEC);
        if (probe < 0 && (errno == EMFILE || errno == ENFILE)) throw std::system_error(errno, std::generic_category());
        if (probe >= 0) ::close(probe);
    }
    for (const std::string& file : files) add(file.c_str());
    if (!faces || faces->nfont == 0) throw RenderError(RenderError::Code::fonts);
    // The current configuration too, so that whatever else asks fontconfig (pango's own start-up
    // does) gets these fonts at once instead of reading the system's configuration.
    if (!FcConfigSetCurrent(config.get())) throw RenderError(RenderError::Code::memory);

    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!map) throw RenderError(RenderError::Code::memory);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config.get());

    // Every face is opened now, while it can be, and stays open: each weight of the family and each
    // fallback face. The sample is drawn in one weight, to see its glyphs come out.
    const SurfaceHandle scrap(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    const CairoHandle cr(cairo_create(scrap.get()));
    const PangoContextHandle pango = makeTextContext(map);
    const FontWeight drawn = badge ? badgeWeight : FontWeight::regular;
    const int missing = drawScrap(pango.get(), cr.get(), interFamily, static_cast<int>(drawn), sample);
    for (const FontWeight weight : weights) {
        if ((!badge || weight == badgeWeight) && !openFace(pango.get(), interFamily, static_cast<int>(weight))) {
            throw RenderError(RenderError::Code::fonts);
        }
    }
    for (int i = 0; i < faces->nfont; ++i) {
        FcPattern* face = faces->fonts[i];
        const std::string family = stringOf(face, FC_FAMILY);
        if (family == interFamily) continue;
        double weight = FC_WEIGHT_REGULAR;
        FcPatternGetDouble(face, FC_WEIGHT, 0, &weight);
        // A fallback that cannot be had leaves its scripts to the others.
        openFace(pango.get(), family, static_cast<int>(FcWeightToOpenTypeDouble(weight)));
    }
    if (missing != 0 || cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) throw RenderError(RenderError::Code::fonts);
    FT_Library freetype = nullptr;
    FT_Int major = 0;
    FT_Int minor = 0;
    FT_Int patch = 0;
    if (FT_Init_FreeType(&freetype) == 0) {
        FT_Library_Version(freetype, &major, &minor, &patch);
        FT_Done_FreeType(freetype);
    }
    // The processor family too, whose instructions the libraries draw with.
#if defined(__x86_64__)
    constexpr const char* processor = "x86_64";
#elif defined(__aarch64__)
    constexpr const char* processor = "aarch64";
#else
    constexpr const char* processor = "other";
#endif
    std::string identity = std::string(processor) + ", cairo " + cairo_version_string() + ", pixman " + pixman_version_string()
        + ", pango " + pango_version_string() + ", harfbuzz " + hb_version_string() + ", freetype "
        + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) + ", fontconfig "
        + std::to_string(FcGetVersion());
    for (int i = 0; i < faces->nfont; ++i) {
        const std::string file = stringOf(faces->fonts[i], FC_FILE);
        struct stat status {};
        if (::stat(file.c_str(), &status) != 0) continue;
        identity += "\n" + file + " " + std::to_string(status.st_size) + " " + std::to_string(status.st_mtim.tv_sec) + "."
            + std::to_string(status.st_mtim.tv_nsec);
    }
    return {map, nullptr, std::move(identity)};
}

Loaded loadCatching(Coverage coverage)
{
    try {
        return loadOnce(coverage);
    } catch (...) {
        return Loaded{nullptr, std::current_exception(), {}};
    }
}

const Loaded& loaded(Coverage coverage)
{
    if (coverage == Coverage::cards) {
        static const Loaded cards = loadCatching(Coverage::cards);
        return cards;
    }
    static const Loaded badge = loadCatching(Coverage::badge);
    return badge;
}

// Whether the process asked for the badge's fonts alone; once it asks for the cards' it draws with those.
std::atomic<bool> badgeOnly{false};
std::atomic<bool> cardsAsked{false};

}  // namespace

std::mutex& lock()
{
    static std::mutex mutex;
    return mutex;
}

void load(Coverage coverage)
{
    const std::lock_guard guard(lock());
    const Loaded& fonts = loaded(coverage);
    if (fonts.failure) std::rethrow_exception(fonts.failure);
    (coverage == Coverage::cards ? cardsAsked : badgeOnly).store(true);
}

const std::string& identity()
{
    load();
    const std::lock_guard guard(lock());
    return loaded(Coverage::cards).identity;
}

PangoFontMap* fontMap()
{
    const Loaded& fonts = loaded(badgeOnly.load() && !cardsAsked.load() ? Coverage::badge : Coverage::cards);
    if (fonts.failure) std::rethrow_exception(fonts.failure);
    return fonts.map;
}

}  // namespace zaro::fonts
