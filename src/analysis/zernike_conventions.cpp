#include "analysis/zernike_conventions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"
#include "core/atomic_file.h"

namespace caustica {

namespace {

constexpr int kFringeTermCount = 37;

bool ValidTerm(int n, int m) { return n >= 0 && std::abs(m) <= n && (n - std::abs(m)) % 2 == 0; }

// Fixed decimals with "." whatever the C locale says.
std::string Fixed(double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);  // no "-0.000"
  return text;
}

// The last index the ordering has for the system's degrees, so that the
// export can say which of its indices it leaves out.
int LastIndex(TZernikeOrdering ordering, const std::vector<TConvertedTerm>& terms) {
  if (ordering == TZernikeOrdering::Fringe) return kFringeTermCount;
  int last = 0;
  for (const TConvertedTerm& t : terms) last = std::max(last, t.Index);
  return last;
}

std::string OrderingDescription(TZernikeOrdering ordering) {
  switch (ordering) {
    case TZernikeOrdering::Noll:
      return "noll (Noll 1976; j from 1 by n then |m|; even j cosine, odd j sine)";
    case TZernikeOrdering::Ansi:
      return "ansi (ANSI Z80.28 / OSA; j = (n(n+2)+m)/2 from 0; m > 0 cosine, m < 0 sine)";
    case TZernikeOrdering::Fringe:
      return "fringe (University of Arizona, 37 terms from 1; term 37 is n=12 m=0)";
    case TZernikeOrdering::System:
      break;
  }
  return "system (k from 1 by n then m; cosine term, then its sine partner)";
}

}  // namespace

std::string_view OrderingKey(TZernikeOrdering ordering) {
  switch (ordering) {
    case TZernikeOrdering::Noll:
      return "noll";
    case TZernikeOrdering::Ansi:
      return "ansi";
    case TZernikeOrdering::Fringe:
      return "fringe";
    case TZernikeOrdering::System:
      break;
  }
  return "system";
}

std::optional<TZernikeOrdering> ParseOrdering(std::string_view key) {
  std::string lower(key);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (TZernikeOrdering o :
       {TZernikeOrdering::System, TZernikeOrdering::Noll, TZernikeOrdering::Ansi, TZernikeOrdering::Fringe})
    if (lower == OrderingKey(o)) return o;
  return std::nullopt;
}

std::optional<TZernikeTerm> SystemTerm(int k) {
  if (k < 1 || k > kZernikeTermCount) return std::nullopt;
  for (int n = 0;; ++n)
    for (int m = n % 2; m <= n; m += 2) {
      const int index = ZernikeIndex(n, m);
      if (index == k) return TZernikeTerm{n, m};
      if (m > 0 && index + 1 == k) return TZernikeTerm{n, -m};
    }
}

std::optional<int> OrderingIndex(TZernikeOrdering ordering, int n, int m) {
  if (!ValidTerm(n, m)) return std::nullopt;
  const int a = std::abs(m);
  switch (ordering) {
    case TZernikeOrdering::System: {
      const int k = ZernikeIndex(n, a) + (m < 0 ? 1 : 0);
      if (k > kZernikeTermCount) return std::nullopt;
      return k;
    }
    case TZernikeOrdering::Noll: {
      if (a == 0) return n * (n + 1) / 2 + 1;
      // The pair follows the lower frequencies of the degree; its even
      // member is the cosine term.
      const int first = n * (n + 1) / 2 + a;
      const bool firstEven = first % 2 == 0;
      return (m > 0) == firstEven ? first : first + 1;
    }
    case TZernikeOrdering::Ansi:
      return (n * (n + 2) + m) / 2;
    case TZernikeOrdering::Fringe: {
      if (n == 12 && m == 0) return kFringeTermCount;
      const int group = (n + a) / 2;
      if (group > 5) return std::nullopt;
      return (1 + group) * (1 + group) - 2 * a + (m < 0 ? 1 : 0);
    }
  }
  return std::nullopt;
}

TConvertedCoefficients ConvertCoefficients(const TPupille& wavefront, TZernikeOrdering ordering,
                                           bool normalised) {
  TConvertedCoefficients out;
  out.Ordering = ordering;
  out.Normalised = normalised;
  out.FittedTerms = std::clamp<int>(wavefront.Basis.PolynomialCount, 0, kZernikeTermCount);
  for (int k = 1; k <= out.FittedTerms; ++k) {
    const TZernikeTerm term = *SystemTerm(k);
    TConvertedTerm t;
    t.N = term.N;
    t.M = term.M;
    t.SystemIndex = k;
    t.Selected = wavefront.Selected[k];
    double factor = wavefront.Basis.NormFactors[k];
    if (!(factor > 0.0)) factor = std::sqrt((term.M == 0 ? 1.0 : 2.0) * (term.N + 1));
    t.Nm = normalised ? wavefront.Coefficients[k] / factor : wavefront.Coefficients[k];
    if (const std::optional<int> index = OrderingIndex(ordering, term.N, term.M)) {
      t.Index = *index;
      out.Terms.push_back(t);
    } else {
      out.NotHeld.push_back(t);
    }
  }
  std::sort(out.Terms.begin(), out.Terms.end(),
            [](const TConvertedTerm& a, const TConvertedTerm& b) { return a.Index < b.Index; });
  const int first = ordering == TZernikeOrdering::Ansi ? 0 : 1;
  const int last = LastIndex(ordering, out.Terms);
  for (int i = first; i <= last; ++i)
    if (std::none_of(out.Terms.begin(), out.Terms.end(),
                     [i](const TConvertedTerm& t) { return t.Index == i; }))
      out.NotExported.push_back(i);
  return out;
}

std::string ZernikeExportText(const TPupille& wavefront, const TZernikeExportOptions& options) {
  const TConvertedCoefficients c = ConvertCoefficients(wavefront, options.Ordering, options.Normalised);
  const bool annular = wavefront.Basis.PolynomialType == kAnnularPolynomials && wavefront.Obstruction > 0.0;
  const bool waves = options.Wavelength > 0.0;

  std::string s;
  auto line = [&s](const std::string& key, const std::string& value) {
    s += "# " + key + ": " + value + "\n";
  };
  line("content", "Zernike coefficients of a wavefront");
  line("ordering", OrderingDescription(options.Ordering));
  line("normalisation",
       options.Normalised
           ? "RMS-normalised (each term scaled to RMS 1 over the pupil: factor sqrt((2-d)(n+1)), "
             "d = 1 for m = 0)"
           : "not normalised (the system's stored form, the polynomials as evaluated: circle ones are 1 "
             "at the rim; divide by sqrt((2-d)(n+1)), d = 1 for m = 0, for RMS-normalised values)");
  line("annular ratio",
       Fixed(wavefront.Obstruction, 4) +
           (annular ? " (annular polynomials, orthogonal over the annulus of this ratio)"
                    : " (circle polynomials over the full disk; the obstruction is not in the basis)"));
  line("terms fitted",
       std::to_string(c.FittedTerms) + " (system terms 1.." + std::to_string(c.FittedTerms) + ")");
  line("wavelength", waves ? Fixed(options.Wavelength, 3) + " nm" : "not known (no waves column)");
  line("units", "nm; waves = nm / wavelength");
  line("sign",
       "wavefront error against the reference sphere centred on the focus; positive = the wavefront is "
       "ahead of the reference sphere (towards the focus)");
  line("angle",
       "t = atan2(y, x) from +x towards +y (counter-clockwise as the image is drawn); m > 0 cos(m t), "
       "m < 0 sin(|m| t)");
  line("image orientation",
       "image row 1 is drawn at the top; x runs along a row to the right (rising column), "
       "y upwards (towards row 1); radius 1 at the pupil rim; the pupil as the intra-focal "
       "image shows it");
  line("selected",
       "1 = the term takes part in the wavefront shown, 0 = switched off (its value is still given)");
  if (!c.NotHeld.empty()) {
    std::string list;
    for (const TConvertedTerm& t : c.NotHeld) {
      if (!list.empty()) list += "; ";
      list += "system " + std::to_string(t.SystemIndex) + " (n=" + std::to_string(t.N) +
              " m=" + std::to_string(t.M) + ") " + Fixed(t.Nm, 6) + " nm";
    }
    line("not held by this ordering", list);
  }
  if (!c.NotExported.empty()) {
    std::string list;
    for (int i : c.NotExported) {
      if (!list.empty()) list += ' ';
      list += std::to_string(i);
    }
    line("indices without a fitted term", list);
  }
  line("columns",
       "index in the ordering, n, signed m, system term, selected, coefficient in nm, in waves, "
       "name (the circle polynomial the term is at ratio 0)");
  s += "index,n,m,system,selected,nm,waves,name\n";
  for (const TConvertedTerm& t : c.Terms) {
    s += std::to_string(t.Index) + "," + std::to_string(t.N) + "," + std::to_string(t.M) + "," +
         std::to_string(t.SystemIndex) + "," + (t.Selected ? "1" : "0") + "," + Fixed(t.Nm, 6) + "," +
         (waves ? Fixed(t.Nm / options.Wavelength, 8) : std::string()) + "," + ZernikeName(t.N, t.M) + "\n";
  }
  return s;
}

bool WriteZernikeExport(const std::string& fileName, const TPupille& wavefront,
                        const TZernikeExportOptions& options, std::string* error) {
  return WriteFileAtomically(fileName, ZernikeExportText(wavefront, options), error);
}

}  // namespace caustica
