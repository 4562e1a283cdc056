// Writing files so that a failure never destroys the previous version: the
// bytes go to a temporary file in the same folder, which is then renamed
// over the target.
#pragma once

#include <string>
#include <string_view>

namespace caustica {

// True when the whole content reached the disk under fileName; otherwise
// the previous file (if any) is untouched and error says why.
bool WriteFileAtomically(const std::string& fileName, std::string_view content, std::string* error = nullptr);

// The same for content written piece by piece (a file too large to hold in
// memory at once): nothing appears under fileName until Commit succeeds,
// and a writer destroyed before that removes its temporary file.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  bool Open(const std::string& fileName, std::string* error = nullptr);
  bool Append(std::string_view content, std::string* error = nullptr);
  // Replaces bytes already appended, from offset on (a header completed at the end).
  bool WriteAt(std::size_t offset, std::string_view content, std::string* error = nullptr);
  bool Commit(std::string* error = nullptr);
  bool IsOpen() const { return fd_ >= 0; }

 private:
  void Abandon();

  int fd_ = -1;
  std::size_t size_ = 0;
  std::string target_, temporary_;
};

}  // namespace caustica
