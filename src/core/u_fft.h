// Square two-dimensional Fourier transforms on plane arrays.
//
// Complex data are two-plane double arrays (plane 1 real, plane 2 imaginary).
// Spectra are centred: frequency k (k = -N/2 .. N/2 - 1) along an axis sits at
// index k + N/2 + 1, so the zero frequency is at row N/2 + 1, column N/2 + 1.
// The forward transform carries the 1/N^2 factor, the inverse none.
//
// The transforms run on FFTW in double precision. Plans are made once per
// size (measured, on scratch buffers), kept for the whole run and executed
// with every core; the planner's wisdom is kept in the user's cache folder
// so that later runs plan at once.
#pragma once

#include <string>

#include "core/u_class.h"

namespace caustica {

// Largest transform side. A source that would need more (a 1 x 20000 strip
// needs N = 32768, 16 GiB of work space) is refused: nothing changes.
constexpr int kMaxFourierSize = 16384;

// Transform of a one-plane real source of Width x Height samples. N is the
// smallest power of two, at least 2, that is not smaller than either side;
// the source is placed at the upper-left corner of an N x N zero field.
// Spectrum becomes a new two-plane N x N array; Width and Height return N.
void FourierForwardReal(const DoublePlanes& source, int& width, int& height, DoublePlanes& spectrum);
void FourierForwardReal(const Int16Planes& source, int& width, int& height, DoublePlanes& spectrum);

// The same for a two-plane complex source.
void FourierForwardComplex(const DoublePlanes& source, int& width, int& height, DoublePlanes& spectrum);
void FourierForwardComplex(const Int16Planes& source, int& width, int& height, DoublePlanes& spectrum);

// Replaces a two-plane centred N x N spectrum by a one-plane array holding the
// real part of its inverse transform.
void FourierInverse(DoublePlanes& planes, int width, int height);

// Result becomes a one-plane array of re^2 + im^2.
void PowerSpectrum(const DoublePlanes& planes, DoublePlanes& result, int width, int height);

// Unnormalised forward one-dimensional transform of every row of a two-plane
// array, in place.
void RowTransform(DoublePlanes& planes, int width, int height);

// new[columns - c + 1][r] = old[r][c] in every plane; rows and columns are exchanged.
void RotateQuarterTurn(DoublePlanes& array, int& rows, int& columns);
void RotateQuarterTurn(Int16Planes& array, int& rows, int& columns);
// The opposite turn: new[c][rows - r + 1] = old[r][c].
void RotateQuarterTurnBack(DoublePlanes& array, int& rows, int& columns);
void RotateQuarterTurnBack(Int16Planes& array, int& rows, int& columns);

// Exchanges the quadrants of every plane diagonally, with halves Width/2 and Height/2.
void SwapQuadrants(DoublePlanes& planes, int width, int height);
void SwapQuadrants(Int16Planes& planes, int width, int height);

// Where the planner's wisdom is kept: $XDG_CACHE_HOME/Caustica/fftw-wisdom,
// or ~/.cache/Caustica/fftw-wisdom; empty when neither folder is known.
std::string FftWisdomFile();

}  // namespace caustica
