// The output folder of a run is replaced as a whole: killed at any moment,
// or stopped by a full disk, the folder holds the complete earlier set or
// the complete new one, and the next run clears what was left beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using caustica::test::ScratchDir;

const std::string kSamples = CAUSTICA_SAMPLES_DIR;

std::vector<std::string> Arguments(const std::string& defocus, const std::string& out) {
  return {CAUSTICA_BATCH_EXE,
          "reconstruct",
          "--intra",
          kSamples + "/newtonian200_intra.fits",
          "--extra",
          kSamples + "/newtonian200_extra.fits",
          "--diameter",
          "200",
          "--focal",
          "1200",
          "--defocus",
          defocus,
          "--products",
          "all",
          "--quiet",
          "--output",
          out};
}

pid_t Start(const std::vector<std::string>& args, const std::string& errFile) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(null, 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return child;
}

int Wait(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

// A folder's files and contents, the folder's own name taken out of the summaries.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::string bytes = caustica::test::ReadBytes(e.path());
    for (std::size_t at; (at = bytes.find(folder.string())) != std::string::npos;)
      bytes.replace(at, folder.string().size(), "FOLDER");
    files[e.path().filename().string()] = std::move(bytes);
  }
  return files;
}

// The hidden siblings a run leaves beside its folder.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> left;
  std::string prefix(1, '.');
  prefix.append(folder.filename().string()).append(".");
  for (const auto& e : fs::directory_iterator(folder.parent_path()))
    if (e.path().filename().string().rfind(prefix, 0) == 0) left.push_back(e.path().filename().string());
  return left;
}

TEST(BatchAtomicity, KilledAtRandomMomentsTheFolderHoldsOneWholeSet) {
  ScratchDir dir;
  // The two complete sets, made once each.
  const fs::path a = dir.File("a"), b = dir.File("b"), out = dir.File("out");
  ASSERT_EQ(Wait(Start(Arguments("3.6", a), dir.File("err"))), 0);
  ASSERT_EQ(Wait(Start(Arguments("3.5", b), dir.File("err"))), 0);
  const auto setA = Contents(a), setB = Contents(b);
  ASSERT_NE(setA, setB);
  ASSERT_GT(setA.size(), 10u);

  // How long a whole run takes here, so that kills fall all over it.
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Start(Arguments("3.6", out), dir.File("err"))), 0);
  const auto span =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
  ASSERT_EQ(Contents(out), setA);

  std::mt19937 rng(20261209u);
  std::uniform_int_distribution<long> at(0, span.count() * 11 / 10);
  int kills = 0, finished = 0, sawA = 0, sawB = 0;
  for (int attempt = 0; kills < 24 && attempt < 200; ++attempt) {
    const pid_t child = Start(Arguments(attempt % 2 ? "3.6" : "3.5", out), dir.File("err"));
    std::this_thread::sleep_for(std::chrono::microseconds(at(rng)));
    ::kill(child, SIGKILL);
    const int status = Wait(child);
    if (WIFSIGNALED(status))
      ++kills;
    else
      ++finished;
    const auto now = Contents(out);
    ASSERT_TRUE(now == setA || now == setB) << "attempt " << attempt << ": " << now.size() << " files";
    (now == setA ? sawA : sawB)++;
  }
  EXPECT_GE(kills, 20);
  EXPECT_GT(sawA + sawB, 0);
  std::printf("kills %d, runs that finished first %d, folder A %d times, B %d times\n", kills, finished, sawA,
              sawB);

  // The next run clears whatever the killed ones left beside the folder.
  ASSERT_EQ(Wait(Start(Arguments("3.5", out), dir.File("err"))), 0);
  EXPECT_EQ(Contents(out), setB);
  EXPECT_TRUE(Leftovers(out).empty()) << Leftovers(out).front();
}

TEST(BatchAtomicity, AnEarlierSetSwappedOutAndNotPutBackReturns) {
  // A run stopped between moving the earlier set aside and putting the new
  // one in, on a file system without an exchange: the folder is missing.
  ScratchDir dir;
  const fs::path out = dir.File("out");
  ASSERT_EQ(Wait(Start(Arguments("3.6", out), dir.File("err"))), 0);
  const auto set = Contents(out);
  const fs::path aside = dir.File(".out.caustica-old-999999999");
  const fs::path partial = dir.File(".out.caustica-new-999999999");
  fs::rename(out, aside);
  fs::create_directory(partial);
  caustica::test::WriteBytes((partial / "wavefront.opd").string(), "half");
  // The next run puts the earlier set back even when it is refused itself.
  caustica::test::WriteBytes(dir.File("garbage.fits"), std::string(5000, 'x'));
  std::vector<std::string> refused = Arguments("3.5", out);
  refused[3] = dir.File("garbage.fits");
  EXPECT_EQ(WEXITSTATUS(Wait(Start(refused, dir.File("err")))), 1);
  EXPECT_EQ(Contents(out), set);
  EXPECT_TRUE(Leftovers(out).empty());
}

TEST(BatchAtomicity, AFolderHoldingOtherFilesIsNotReplaced) {
  ScratchDir dir;
  const fs::path out = dir.File("out");
  fs::create_directory(out);
  caustica::test::WriteBytes((out / "notes.txt").string(), "mine");
  const int status = Wait(Start(Arguments("3.6", out), dir.File("err")));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(caustica::test::ReadBytes(dir.File("err")).find("notes.txt"), std::string::npos);
  EXPECT_EQ(caustica::test::ReadBytes((out / "notes.txt").string()), "mine");
  EXPECT_TRUE(Leftovers(out).empty());
}

TEST(BatchAtomicity, AFullDiskLeavesTheEarlierSetWhole) {
  ScratchDir dir;
  const fs::path disk = dir.File("disk");
  fs::create_directory(disk);
  // Room for one set and a half: the second run must run out of space.
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=900k") != 0)
    GTEST_SKIP() << "no small file system can be mounted here (" << std::strerror(errno)
                 << "); the full-disk case is not tested";
  const fs::path out = disk / "out";
  const int first = Wait(Start(Arguments("3.6", out), dir.File("err")));
  if (first == 0) {
    const auto set = Contents(out);
    const int second = Wait(Start(Arguments("3.5", out), dir.File("err")));
    const std::string message = caustica::test::ReadBytes(dir.File("err"));
    std::printf("full disk: %s", message.c_str());
    EXPECT_EQ(WEXITSTATUS(second), 1);
    EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
    EXPECT_EQ(Contents(out), set);
    EXPECT_TRUE(Leftovers(out).empty());
  }
  ::umount(disk.c_str());
  ASSERT_EQ(first, 0) << caustica::test::ReadBytes(dir.File("err"));
}

}  // namespace
