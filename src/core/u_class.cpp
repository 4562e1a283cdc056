#include "core/u_class.h"

#include <sys/mman.h>

#include <limits>
#include <mutex>
#include <utility>
#include <vector>

namespace caustica {

namespace {

// Under the address sanitizer every block comes from the ordinary allocator,
// so that overruns and use after free of large images are seen too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
constexpr std::size_t kLargeBlock =
    kSanitized ? std::numeric_limits<std::size_t>::max() : std::size_t{4} << 20;

// Large blocks freed lately, kept for reuse: a reconstruction frees and
// allocates the same transform-sized planes at every pass, and fresh pages
// would be faulted in and cleared by the system each time.
class BlockPool {
 public:
  void* Take(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < blocks_.size(); ++i)
      if (blocks_[i].second == bytes) {
        void* p = blocks_[i].first;
        held_ -= bytes;
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(i));
        return p;
      }
    return nullptr;
  }
  bool Keep(void* block, std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (held_ + bytes > kMaxHeld || blocks_.size() >= kMaxBlocks) return false;
    blocks_.emplace_back(block, bytes);
    held_ += bytes;
    return true;
  }

 private:
  static constexpr std::size_t kMaxHeld = std::size_t{256} << 20;
  static constexpr std::size_t kMaxBlocks = 8;
  std::mutex mutex_;
  std::vector<std::pair<void*, std::size_t>> blocks_;
  std::size_t held_ = 0;
};

BlockPool& Pool() {
  static BlockPool* pool = new BlockPool;  // never destroyed: blocks may be freed during exit
  return *pool;
}

void* MapBlock(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
  return p;
}

}  // namespace

void* AllocZeroedBlock(std::size_t bytes) {
  if (bytes >= kLargeBlock) return MapBlock(bytes);  // fresh pages are zero
  void* p = std::calloc(bytes ? bytes : 1, 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void* AllocBlockForOverwrite(std::size_t bytes) {
  if (bytes >= kLargeBlock) {
    if (void* p = Pool().Take(bytes)) return p;
    return MapBlock(bytes);
  }
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeZeroedBlock(void* block, std::size_t bytes) {
  if (!block) return;
  if (bytes >= kLargeBlock) {
    if (!Pool().Keep(block, bytes)) ::munmap(block, bytes);
  } else {
    std::free(block);
  }
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
