// Every committed fuzz input, the seeds and every input that ever broke a property, replayed
// through the fuzz targets' bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "fuzz/fuzz_target.h"

namespace tv::fuzz {
namespace {

const std::filesystem::path kCorpus = std::filesystem::path(TASTOVOLANT_SOURCE_DIR) / "tests" / "fuzz" / "corpus";

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzCorpus, EveryFolderBelongsToATarget) {
  std::set<std::string> folders;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) folders.insert(entry.path().filename());
  std::set<std::string> targets;
  for (const Target& target : kTargets) targets.emplace(target.name);
  EXPECT_EQ(folders, targets);
}

TEST(FuzzCorpus, EveryInputKeepsEveryProperty) {
  for (const Target& target : kTargets) {
    SCOPED_TRACE(std::string(target.name));
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus / target.name)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_FALSE(files.empty()) << "a target without seeds";
    for (const std::filesystem::path& file : files) {
      const std::vector<std::uint8_t> bytes = ReadBytes(file);
      EXPECT_EQ(target.body(bytes), "") << file.filename();
    }
  }
}

}  // namespace
}  // namespace tv::fuzz
