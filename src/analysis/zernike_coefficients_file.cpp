#include "analysis/zernike_coefficients_file.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/atomic_file.h"
#include "core/number_format.h"
#include "core/u_math.h"

namespace caustica {

namespace {

constexpr int kNamedTerms = 28;

constexpr std::array<const char*, kNamedTerms + 1> kTermNames = {
    "",
    "Piston",
    "Inclinaison (cos)",
    "Inclinaison (sin)",
    "D\xC3\xA9"
    "focalisation",
    "Astigmatisme (cos)",
    "Astigmatisme (sin)",
    "Coma (cos)",
    "Coma (sin)",
    "Trefoil (cos)",
    "Trefoil (sin)",
    "Sph\xC3\xA9ricit\xC3\xA9",
    "Sec. astig. (cos)",
    "Sec. astig. (sin)",
    "Tetrafoil (cos)",
    "Tetrafoil (sin)",
    "Sec. coma",
    "Sec. coma",
    "Sec. trefoil (cos)",
    "Sec. Trefoil (sin)",
    "Pentafoil (cos)",
    "Pentafoil (sin)",
    "Sec. Spher.",
    "Tert. astig. (cos)",
    "Tert. astig (sin)",
    "Sec. tetrafoil (cos)",
    "Sec. Tetrafoil (sin)",
    "Hexafoil (cos)",
    "Hexafoil (sin)",
};

}  // namespace

void ZernikeTermOrder(int k, int& n, int& m) {
  for (n = 0; n <= 12; ++n)
    for (int a = n % 2; a <= n; a += 2) {
      const int index = ZernikeIndex(n, a);
      if (index == k) {
        m = a;
        return;
      }
      if (a > 0 && index + 1 == k) {
        m = -a;
        return;
      }
    }
  n = m = 0;
}

std::string ZernikeTermName(int k) {
  if (k < 1 || k > kZernikeTermCount) return std::string();
  if (k <= kNamedTerms) return kTermNames[k];
  int n = 0, m = 0;
  ZernikeTermOrder(k, n, m);
  return ZernikeName(n, m);
}

std::string ZernikeCoefficientsText(const ZernikeCoefficients& coefficients, int termCount, char separator) {
  return ZernikeCoefficientsText(ZernikeBasis, coefficients, termCount, separator);
}

std::string ZernikeCoefficientsText(const TZernikeBasis& basis, const ZernikeCoefficients& coefficients,
                                    int termCount, char separator) {
  ZernikeCoefficients normalised = coefficients;
  ToNormalised(basis, normalised);
  const int count = std::clamp(termCount, 0, kZernikeTermCount);
  std::string text;
  char number[16];
  for (int k = 1; k <= count; ++k) {
    std::snprintf(number, sizeof number, "%d", k);
    text += number;
    text += ';';
    text += ZernikeTermName(k);
    text += ';';
    text += FormatGeneral(normalised[k], separator);
    text += "\r\n";
  }
  return text;
}

bool SaveZernikeCoefficients(const std::string& fileName, const ZernikeCoefficients& coefficients,
                             int termCount, std::string* error) {
  return WriteFileAtomically(fileName, ZernikeCoefficientsText(coefficients, termCount, DecimalSeparator()),
                             error);
}

bool SaveZernikeCoefficients(const std::string& fileName, const TZernikeBasis& basis,
                             const ZernikeCoefficients& coefficients, int termCount, std::string* error) {
  return WriteFileAtomically(
      fileName, ZernikeCoefficientsText(basis, coefficients, termCount, DecimalSeparator()), error);
}

}  // namespace caustica
