#include "core/u_class.h"

namespace caustica {

void AllocPlanes(Int16Planes& array16, DoublePlanes& array64, int width, int height, int typeCode,
                 int planeCount) {
  if (IsInt16Type(typeCode))
    array16.Allocate(width, height, planeCount);
  else if (IsDoubleType(typeCode))
    array64.Allocate(width, height, planeCount);
}

void FreePlanes(Int16Planes& array16, DoublePlanes& array64, int /*width*/, int /*height*/, int typeCode,
                int /*planeCount*/) {
  if (IsInt16Type(typeCode))
    array16.Clear();
  else if (IsDoubleType(typeCode))
    array64.Clear();
}

}  // namespace caustica
