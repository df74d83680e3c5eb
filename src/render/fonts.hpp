// The fonts every card draws with: found and loaded once per process, into a font configuration of
// their own, before anything else needs them.
#pragma once

#include <mutex>
#include <string>

#include <pango/pangocairo.h>

namespace zaro::fonts {

/// What a process draws text in.
enum class Coverage : unsigned char {
    /// The cards: Inter in every weight, and fallbacks for the scripts it lacks.
    cards,
    /// Only the track thumbnail's badge: digits, a colon, a full stop and "lap(s)" in Inter SemiBold.
    badge,
};

/// Finds and loads the font files of `coverage`, draws a line in each weight so that every file is
/// open and every font made, and checks that the text shows. Runs once per process and coverage;
/// later calls only repeat its outcome. Throws RenderError(fonts) when no usable font can be loaded,
/// RenderError(memory) when the process has too little room to draw.
//
// Nothing here or later reads the system's font configuration when the files lie where Debian's
// packages put them; otherwise that configuration is asked where they are, here and only here.
void load(Coverage coverage = Coverage::cards);

/// The font map every thread draws with: the cards' fonts, unless the process loaded the badge's
/// alone; loaded here when nothing was. Hold `lock()` while using it or anything made from it.
PangoFontMap* fontMap();

/// Guards the font map, which pango does not guard itself.
std::mutex& lock();
/// What tells the cards' fonts from others: each loaded file's path, size and modification time, and
/// the versions of the libraries that lay out and draw text. Loads them when nothing has.
const std::string& identity();

}  // namespace zaro::fonts
