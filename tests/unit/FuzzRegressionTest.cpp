// The fuzz targets' bodies over their seed corpora and over every input that once broke
// something (tests/fuzz/regressions/TARGET/), so a fixed fault stays fixed in every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "FuzzEntries.h"
#include "system/port/Port.h"
#include "unit/support/CoreFixture.h"

namespace VLN2 {
namespace {

struct Input {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

void Collect(const std::filesystem::path& folder, std::vector<Input>* inputs) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    inputs->push_back(
        {file.parent_path().parent_path().filename().string() + "/" + file.filename().string(),
         {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
  }
}

// The seeds and the regressions of a target.
std::vector<Input> Inputs(const char* target) {
  std::filesystem::path root(VLN2_FUZZ_INPUTS);
  std::vector<Input> inputs;
  Collect(root / "corpus" / target, &inputs);
  Collect(root / "regressions" / target, &inputs);
  return inputs;
}

class FuzzRegressionTest : public CoreFixture {
 protected:
  template <class Body>
  void Replay(const char* target, Body body) {
    std::vector<Input> inputs = Inputs(target);
    ASSERT_FALSE(inputs.empty()) << "no inputs for " << target << " below " << VLN2_FUZZ_INPUTS;
    const int core = LiveElementsTotal();  // the Core itself
    for (const Input& input : inputs) {
      EXPECT_EQ(body(input.bytes.data(), input.bytes.size()), "") << input.name;
      EXPECT_EQ(LiveElementsTotal(), core) << input.name;
    }
    RecordProperty(target, static_cast<int>(inputs.size()));
  }
};

TEST_F(FuzzRegressionTest, PackedBlocks) { Replay("packed-block", Fuzz::RunPackedBlock); }

TEST_F(FuzzRegressionTest, StoredForms) { Replay("stored-forms", Fuzz::RunStoredForms); }

#ifndef _WIN32

TEST_F(FuzzRegressionTest, Archives) {
  Fuzz::Workspace workspace;
  ASSERT_TRUE(workspace.Create());
  Replay("archive", [&](const std::uint8_t* data, std::size_t size) {
    return Fuzz::RunArchive(data, size, &workspace);
  });
}

TEST_F(FuzzRegressionTest, Records) {
  Fuzz::Workspace workspace;
  ASSERT_TRUE(workspace.Create());
  Replay("record", [&](const std::uint8_t* data, std::size_t size) {
    return Fuzz::RunRecord(data, size, &workspace);
  });
}

// The workspace itself: a change outside the extraction folders is seen, and the guard
// keeps every change inside the workspace.
TEST_F(FuzzRegressionTest, TheWorkspaceSeesWhatChangesOutside) {
  Fuzz::Workspace workspace;
  ASSERT_TRUE(workspace.Create());
  EXPECT_EQ(workspace.CheckOutside(true), "");
  std::ofstream(workspace.Native() + "/c/out/all/inside.txt") << "allowed";
  EXPECT_EQ(workspace.CheckOutside(true), "");
  std::ofstream(workspace.Native() + "/c/out/stray.txt") << "not allowed";
  EXPECT_EQ(workspace.CheckOutside(true), "c/out/stray.txt appeared");
  EXPECT_EQ(workspace.CheckOutside(false), "");
  std::filesystem::remove(workspace.Native() + "/sentinel.txt");
  EXPECT_EQ(workspace.CheckOutside(false), "sentinel.txt is gone");
  workspace.Reset();
  EXPECT_EQ(workspace.Refused(), 0);
  Port::FileHandle file = Port::OpenFile("Z:\\tmp\\vln2-never.txt", Port::kAccessWrite, false);
  EXPECT_EQ(file, nullptr);
  EXPECT_FALSE(Port::DeleteFile("\\tmp\\vln2-never.txt"));
  EXPECT_FALSE(Port::CreateDirectory("relative-folder"));
  EXPECT_EQ(workspace.Refused(), 2);
}

#endif

}  // namespace
}  // namespace VLN2
