// Plane arrays: the typed two-dimensional sample stores of every grid, mask,
// image and spectrum. Indexing is a[p][r][c], every index starting at 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace caustica {

// Pixel type codes: 2 and 7 select 16-bit elements, 5, 6 and 8 doubles.
enum : std::uint8_t {
  kType16 = 2,
  kTypeDouble = 5,
  kTypeDoubleComplex = 6,
  kTypeColour16 = 7,
  kTypeDoubleGrid = 8,
};

inline bool IsInt16Type(int typeCode) { return typeCode == 2 || typeCode == 7; }
inline bool IsDoubleType(int typeCode) { return typeCode == 5 || typeCode == 6 || typeCode == 8; }

// Zero-filled memory for plane blocks. Large blocks come straight from the
// system as fresh zero pages, with transparent huge pages requested, so a
// new camera-sized plane costs a few hundred page faults instead of tens of
// thousands and is never written twice.
void* AllocZeroedBlock(std::size_t bytes);
// The same without clearing: for planes whose every element is written
// next. Large blocks freed recently are handed out again as they are.
void* AllocBlockForOverwrite(std::size_t bytes);
void FreeZeroedBlock(void* block, std::size_t bytes);

// Each plane is one contiguous block of 1 + Width x Height elements. The
// leading element is padding, so the row pointer of row r points at
// block + (r - 1) x Width and its element [1] is column 1: every row
// pointer stays inside the block, a row copy is one memcpy and a whole
// plane is one array for the transforms.
template <typename T>
class PlaneArray {
 public:
  PlaneArray() = default;
  PlaneArray(int width, int height, int planeCount) { Allocate(width, height, planeCount); }

  PlaneArray(const PlaneArray&) = delete;
  PlaneArray& operator=(const PlaneArray&) = delete;
  PlaneArray(PlaneArray&& other) noexcept { *this = std::move(other); }
  PlaneArray& operator=(PlaneArray&& other) noexcept {
    if (this != &other) {
      blocks_ = std::move(other.blocks_);
      rows_ = std::move(other.rows_);
      width_ = other.width_;
      height_ = other.height_;
      other.blocks_.clear();
      other.rows_.clear();
      other.width_ = other.height_ = 0;
    }
    return *this;
  }

  // Replaces the contents with zero-filled planes.
  void Allocate(int width, int height, int planeCount) { AllocateBlocks(width, height, planeCount, true); }

  // Replaces the contents with planes of unspecified values, for a caller
  // that writes every element next (transform outputs, say).
  void AllocateForOverwrite(int width, int height, int planeCount) {
    AllocateBlocks(width, height, planeCount, false);
  }

  // Replaces the contents with a copy of other's planes (no copy
  // constructor: copying a grid's planes is always asked for by name).
  void CopyFrom(const PlaneArray& other) {
    if (this == &other) return;
    AllocateBlocks(other.width_, other.height_, other.PlaneCount(), false);
    for (int p = 1; p <= PlaneCount(); ++p)
      std::memcpy(PlaneData(p), other.PlaneData(p), PlaneSize() * sizeof(T));
  }

  void Clear() {
    blocks_.clear();
    rows_.clear();
    width_ = height_ = 0;
  }

  bool Empty() const { return blocks_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int PlaneCount() const { return blocks_.empty() ? 0 : static_cast<int>(blocks_.size()) - 1; }

  // a[p] is the 1-based row table of plane p; a[p][r][c] the sample.
  T* const* operator[](int p) { return rows_[p].data(); }
  const T* const* operator[](int p) const { return rows_[p].data(); }

  // The Width x Height samples of plane p, row by row, starting at row 1, column 1.
  T* PlaneData(int p) { return blocks_[p].get() + 1; }
  const T* PlaneData(int p) const { return blocks_[p].get() + 1; }
  std::size_t PlaneSize() const {
    return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  }

  void Fill(T value) {
    for (int p = 1; p <= PlaneCount(); ++p) {
      T* d = PlaneData(p);
      for (std::size_t i = 0; i < PlaneSize(); ++i) d[i] = value;
    }
  }

 private:
  void AllocateBlocks(int width, int height, int planeCount, bool zeroed) {
    Clear();
    if (width <= 0 || height <= 0 || planeCount <= 0) return;
    width_ = width;
    height_ = height;
    const std::size_t count = 1 + static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    blocks_.resize(static_cast<std::size_t>(planeCount) + 1);
    rows_.resize(static_cast<std::size_t>(planeCount) + 1);
    for (int p = 1; p <= planeCount; ++p) {
      const std::size_t bytes = count * sizeof(T);
      T* block = static_cast<T*>(zeroed ? AllocZeroedBlock(bytes) : AllocBlockForOverwrite(bytes));
      blocks_[p] = Block(block, FreeBlock{bytes});
      block[0] = T{};  // the pad element is always defined
      auto& table = rows_[p];
      table.assign(static_cast<std::size_t>(height) + 1, nullptr);
      for (int r = 1; r <= height; ++r) table[r] = block + static_cast<std::size_t>(r - 1) * width;
    }
  }

  static_assert(std::is_trivial_v<T>, "plane elements are zeroed by calloc");
  struct FreeBlock {
    std::size_t bytes = 0;
    void operator()(T* p) const { FreeZeroedBlock(p, bytes); }
  };
  using Block = std::unique_ptr<T[], FreeBlock>;
  std::vector<Block> blocks_;          // [0] unused
  std::vector<std::vector<T*>> rows_;  // [0] unused; rows_[p][0] unused
  int width_ = 0;
  int height_ = 0;
};

using Int16Planes = PlaneArray<std::int16_t>;
using DoublePlanes = PlaneArray<double>;

// Codes 2 and 7 allocate Array16, codes 5, 6 and 8 Array64 (zero-filled);
// the other array is left untouched and any other code allocates nothing.
void AllocPlanes(Int16Planes& array16, DoublePlanes& array64, int width, int height, int typeCode,
                 int planeCount);
// Releases the array that the code selects.
void FreePlanes(Int16Planes& array16, DoublePlanes& array64, int width, int height, int typeCode,
                int planeCount);

}  // namespace caustica
