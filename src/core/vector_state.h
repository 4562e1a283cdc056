// Some library code (parts of the windowing toolkit among it) returns with
// the upper halves of the AVX registers still in use. The numeric loops are
// plain SSE code calling the maths library's AVX functions; in that state
// every switch between the two costs dozens of cycles, and a loop calling
// cos() per sample runs up to twenty times slower. The hot kernels clear
// the state on entry.
#pragma once

namespace caustica {

// Marks the upper halves of the vector registers unused; nothing on
// processors without AVX.
void ClearUpperVectorState();

}  // namespace caustica
