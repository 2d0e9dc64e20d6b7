// The bench's one way of writing a file (bench/file_write.h), the same on
// every system: natively and, as a Windows program, under Wine. Each row
// writes one name and says what must then hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "bench/file_write.h"

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a write left behind that it should not have: temporary files.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> left;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".tmp")) left.push_back(entry.path().string());
  }
  return left;
}

bool Writable(const fs::path& file) {
  return (fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none;
}

class FileWrite : public testing::Test {
 protected:
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("file_write_test_") + test->name());
    std::error_code ec;
    fs::permissions(dir_ / "readonly.txt", fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_ / "readonly.txt", fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(FileWrite, ReplacesWholeOrRefusesSayingWhy) {
  std::ofstream(dir_ / "old.txt") << "old";
  std::ofstream(dir_ / "readonly.txt") << "was read-only";
  fs::permissions(dir_ / "readonly.txt", fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directories(dir_ / "a folder");
  const struct {
    const char* what;
    fs::path name;
    bool written;
    const char* says;  // part of the error, when refused
    std::function<void()> check = nullptr;
  } rows[] = {
      {"a new file", "new.txt", true, ""},
      {"a file that is there", "old.txt", true, ""},
      {"a file without write permission, which stays so", "readonly.txt", true, "",
       [&] { EXPECT_FALSE(Writable(dir_ / "readonly.txt")) << "the replaced file became writable"; }},
      {"a folder", "a folder", false, "it is a folder",
       [&] { EXPECT_TRUE(fs::is_directory(dir_ / "a folder")) << "the folder went"; }},
      {"a file in a missing folder", fs::path("missing") / "x.txt", false, "missing"},
  };
  for (const auto& row : rows) {
    const fs::path file = dir_ / row.name;
    std::string error;
    const bool written = bench::WriteFileReplacing(file, "bytes of " + std::string(row.what), &error);
    EXPECT_EQ(written, row.written) << row.what << ": " << error;
    if (written) {
      EXPECT_EQ(Contents(file), "bytes of " + std::string(row.what)) << row.what;
    } else {
      EXPECT_NE(error.find(row.says), std::string::npos)
          << row.what << ": expected the error to say '" << row.says << "', it said: " << error;
      EXPECT_NE(error.find(file.string()), std::string::npos)
          << row.what << ": expected the error to name " << file.string() << ", it said: " << error;
    }
    if (row.check) row.check();
  }
  EXPECT_EQ(Leftovers(dir_), std::vector<std::string>{}) << "temporary files were left";
}

TEST_F(FileWrite, OutputFolderKeepsEveryNameInside) {
  const fs::path out = dir_ / "out";
  fs::create_directories(dir_ / "outside");
  std::error_code ec;
  fs::create_directory_symlink(dir_ / "outside", out / "link", ec);
  const bool have_link = !ec;  // a system may not let us make one
  if (!have_link) {
    std::printf("  (the row with a link on the way is left out: this system would not make a "
                "link here: %s)\n", ec.message().c_str());
  }
  bench::OutputFolder folder;
  std::string error;
  ASSERT_TRUE(folder.Open(out, &error)) << error;
  const struct {
    const char* what;
    fs::path name;
    bool written;
    const char* says;
  } rows[] = {
      {"a name in the folder", "a.png", true, ""},
      {"a name in new subfolders", fs::path("b") / "c" / "d.png", true, ""},
      {"a name that climbs out", fs::path("..") / "e.png", false, "outside the output folder"},
      {"a name that climbs out from below", fs::path("b") / ".." / ".." / "f.png", false,
       "outside the output folder"},
      {"an absolute name", dir_ / "g.png", false, "outside the output folder"},
      {"a name through a link on the way", fs::path("link") / "h.png", false,
       "outside the output folder"},
  };
  for (const auto& row : rows) {
    if (row.name.begin()->string() == "link" && !have_link) continue;
    std::string why;
    const bool written = folder.Write(row.name, row.what, &why);
    EXPECT_EQ(written, row.written) << row.what << ": " << why;
    if (written) {
      EXPECT_EQ(Contents(out / row.name), row.what) << row.what;
    } else {
      EXPECT_NE(why.find(row.says), std::string::npos)
          << row.what << ": expected the error to say '" << row.says << "', it said: " << why;
    }
  }
  EXPECT_TRUE(fs::is_empty(dir_ / "outside")) << "a file was written through the link";
  EXPECT_FALSE(fs::exists(dir_ / "e.png"));
  EXPECT_FALSE(fs::exists(dir_ / "f.png"));
  EXPECT_FALSE(fs::exists(dir_ / "g.png"));
  EXPECT_EQ(Leftovers(dir_), std::vector<std::string>{}) << "temporary files were left";
}

}  // namespace
