// The output folder of a run as one whole: the files are written into a
// fresh hidden sibling folder, which is then swapped in for the output
// folder, so that the folder holds either the complete earlier set or the
// complete new one, whatever moment the run is stopped at. Temporaries
// that an interrupted run left behind are cleared by the next run.
#pragma once

#include <string>

namespace caustica::cli {

class TRunFolder {
 public:
  // Refuses (BatchError) an output path that is not a folder, or a folder
  // holding anything but the files of an earlier run.
  explicit TRunFolder(const std::string& folder);
  // Removes the staging folder when the run did not get to Commit.
  ~TRunFolder();
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Where the run writes its files.
  const std::string& Staging() const { return staging_; }
  // Swaps the staging folder in; the earlier set goes only once it has.
  void Commit();

 private:
  std::string target_;
  std::string staging_;
  bool committed_ = false;
};

// Whether name is one of the files a run writes.
bool IsRunFileName(const std::string& name);

}  // namespace caustica::cli
