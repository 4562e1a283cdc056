// Unweighted least-squares fit of the selected Zernike terms to a map.
#pragma once

#include "analysis/u_zernike.h"
#include "analysis/zernike_cache.h"
#include "core/u_fonctionxy.h"

namespace caustica {

// Fits terms 1..PolynomialCount of the basis whose flag is set to plane 1 of the grid,
// using every sample of mask 1 that lies inside the polynomial domain at
// (YAxis[row], XAxis[column]) with the given obstruction. Samples are taken
// column by column, rows inner. coefficients receives the fitted values of
// the selected terms and 0 for every other term. Singular values that are
// exactly 0 are left out; any other is used as it stands. No selected term,
// or fewer usable samples than selected terms, gives all 0.
// TPupille::FitZernike calls this with its own fields; it must qualify the
// name (caustica::FitZernike) since the member hides it.
void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, const TZernikeBasis& basis, ZernikeTermCache& cache);

// The same with the shared term cache.
void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, const TZernikeBasis& basis);

// The same on the program-wide basis.
void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, ZernikeTermCache& cache);
void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients);

}  // namespace caustica
