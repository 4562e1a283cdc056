#include "core/u_class.h"

#include <sys/mman.h>

namespace caustica {

namespace {
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;
}

void* AllocZeroedBlock(std::size_t bytes) {
  if (bytes >= kLargeBlock) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
  }
  void* p = std::calloc(bytes ? bytes : 1, 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeZeroedBlock(void* block, std::size_t bytes) {
  if (!block) return;
  if (bytes >= kLargeBlock)
    ::munmap(block, bytes);
  else
    std::free(block);
}

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
