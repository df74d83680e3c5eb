// How wide the parse's vector steps are: the widest that the build and the processor have, or
// narrower ones, which the tests ask for so that every kind of step is tried on any machine. Never
// wider than widestVectors(): the processor may not run them.
#pragma once

namespace zaro::ZaroSessionParser {

enum class Vectors {
    none,  // a byte or a double at a time
    sse2,  // sixteen bytes or two doubles
    avx2,  // thirty-two bytes or four doubles
};

/// The widest vectors this build was made with and this processor (and its system) runs.
Vectors widestVectors();

}  // namespace zaro::ZaroSessionParser
