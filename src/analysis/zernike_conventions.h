// Zernike coefficients in the orderings people exchange: the system's own,
// Noll, ANSI/OSA and Fringe (University of Arizona), as CSV text that states
// every convention it depends on.
//
// Conventions of the system, which every export keeps:
// - Terms k = 1..42 ordered by radial degree n, then azimuthal frequency m
//   rising; for m > 0 the cosine term comes first, its sine partner next.
//   Signed m below: m > 0 is the cosine term, m < 0 the sine term of |m|.
// - Coefficients are in nanometres and un-normalised: coefficient k
//   multiplies term k as evaluated, whose radial polynomial is 1 at the rim
//   (circle polynomials). Dividing by the basis factor sqrt((2 - d) (n + 1))
//   (d = 1 for m = 0) gives the RMS-normalised coefficient.
// - Pupil coordinates: x along an image row, increasing with the column
//   (to the right); y increasing towards image row 1, which is drawn at the
//   top (upwards); both 1 at the pupil rim. The angle t = atan2(y, x) runs
//   from +x towards +y, counter-clockwise as the image is drawn. The pupil is
//   seen as in the intra-focal image; the extra-focal one is turned by
//   180 degrees into it when opened.
// - Values are the wavefront error against the reference sphere centred on
//   the focus; positive where the wavefront is ahead of that sphere.
// - With the annular basis the terms are the annular polynomials orthogonal
//   over the annulus of the wavefront's obstruction ratio; the indices are
//   those of the circle polynomials they reduce to at ratio 0.
//
// Orderings (all use the same n, m, angle and sign, so a term keeps its value
// and only its index changes):
// - Noll: j from 1, by n, then |m| rising; of a pair the even j is the cosine
//   term, the odd j the sine term.
// - ANSI/OSA: j = (n (n + 2) + m) / 2 from 0 with signed m. The standard
//   writes the sine term as -sin(m t) for m < 0, which is sin(|m| t): the
//   same sign as here.
// - Fringe: the 37 terms 1..37 grouped by (n + |m|) / 2, |m| falling within a
//   group, cosine before sine; term 37 is the degree-12 spherical term. It
//   holds no term of the system with (n + |m|) / 2 > 5, so 27, 28, 33 to 36
//   and 40 to 42 are reported as not held; its 34 to 37 have no system term.
//   Fringe coefficients are conventionally not normalised.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace caustica {

class TPupille;

enum class TZernikeOrdering { System, Noll, Ansi, Fringe };

// "system", "noll", "ansi", "fringe".
std::string_view OrderingKey(TZernikeOrdering ordering);
// The ordering named by its key (any case); nothing for another text.
std::optional<TZernikeOrdering> ParseOrdering(std::string_view key);

// Degree and signed frequency of system term k (1..42).
struct TZernikeTerm {
  int N = 0;
  int M = 0;  // > 0 cosine, < 0 sine
};
std::optional<TZernikeTerm> SystemTerm(int k);
// Index of (n, signed m) in the ordering; nothing when it has none.
std::optional<int> OrderingIndex(TZernikeOrdering ordering, int n, int m);

struct TConvertedTerm {
  int Index = 0;  // in the ordering; 0 for a term it cannot hold
  int N = 0;
  int M = 0;
  int SystemIndex = 0;  // k
  bool Selected = false;
  double Nm = 0.0;  // as requested: RMS-normalised or as stored
};

struct TConvertedCoefficients {
  TZernikeOrdering Ordering = TZernikeOrdering::System;
  bool Normalised = false;
  int FittedTerms = 0;                  // system terms 1..FittedTerms belong to the wavefront
  std::vector<TConvertedTerm> Terms;    // by rising Index
  std::vector<TConvertedTerm> NotHeld;  // fitted terms the ordering has no index for
  std::vector<int> NotExported;         // indices of the ordering without a fitted term
};

// The fitted coefficients of the wavefront (its own basis: term count,
// factors, type) in the ordering; normalised divides each by its factor.
TConvertedCoefficients ConvertCoefficients(const TPupille& wavefront, TZernikeOrdering ordering,
                                           bool normalised);

struct TZernikeExportOptions {
  TZernikeOrdering Ordering = TZernikeOrdering::System;
  bool Normalised = true;
  double Wavelength = 0.0;  // nm; 0 or less: the waves column stays empty
};

// "# key: value" header lines, then "index,n,m,system,selected,nm,waves,name"
// and one row per exported term; "." as decimal separator whatever the
// locale, LF line ends.
std::string ZernikeExportText(const TPupille& wavefront, const TZernikeExportOptions& options);
// The text written atomically; false, with the reason in error, on failure.
bool WriteZernikeExport(const std::string& fileName, const TPupille& wavefront,
                        const TZernikeExportOptions& options, std::string* error = nullptr);

}  // namespace caustica
