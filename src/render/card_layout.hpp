// The summary card's layout: its rectangles, its fonts, and how many laps and sector times its list
// shows. Arithmetic alone, so that a program can cut a session down to what the card shows without
// mapping the libraries that draw it.
#pragma once

#include <cstddef>
#include <string_view>

#include "render/drawing_context.hpp"

namespace zaro::ZaroSessionPreviewCard {

namespace fonts {
inline constexpr Font header{11, FontWeight::bold};
inline constexpr Font title{22, FontWeight::semibold};
inline constexpr Font subtitle{12, FontWeight::regular};
inline constexpr Font notice{13, FontWeight::regular};
inline constexpr Font tileLabel{10, FontWeight::semibold};
inline constexpr Font tileValue{15, FontWeight::semibold};
inline constexpr Font lapsHeader{11, FontWeight::semibold};
inline constexpr Font lapName{13, FontWeight::medium};
inline constexpr Font lapTime{13, FontWeight::regular, true};
inline constexpr Font sectors{12, FontWeight::regular};
inline constexpr Font errorMessage{14, FontWeight::regular};
}  // namespace fonts

inline constexpr std::string_view headerText = "ZARO SESSION";
inline constexpr double cardInset = 22;
inline constexpr double cardRadius = 16;
inline constexpr double rowHeight = 28;

/// The card on a picture of `size`.
Rect cardRect(Size size);
/// The lap list below the map and tiles, on card `card`.
Rect lapList(Rect card);
/// How many rows a lap list of `listHeight` shows: one at least.
std::size_t rowCapacity(double listHeight);
/// Where a lap row's sector times go.
Rect sectorFrame(Rect row);
/// The bytes of sector text a row of `list` can show: three at most a character.
std::size_t sectorBytes(Rect list);

}  // namespace zaro::ZaroSessionPreviewCard
