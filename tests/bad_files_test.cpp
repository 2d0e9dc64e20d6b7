// What a careless or hostile user may hand the host core and the bench in
// place of a gauge file: copies under another gauge's name, files cut short,
// damaged headers and tables, crafted resources, folders and pipes, and
// modules and sound libraries that crash or hang. Each is refused with a
// reason naming the file and what is wrong; nothing takes the test program
// down. The damaged files are made here from the built ones.
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench/drawing/render.h"
#include "bench/panel.h"
#include "host/host.h"
#include "formats/elf_check.h"
#include "formats/pe_image.h"
#include "host/trial.h"
#include "tests/crafted_elf.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using ::testing::HasSubstr;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t U32(const Bytes& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}
void Put32(Bytes& bytes, size_t at, uint32_t value) { std::memcpy(&bytes[at], &value, 4); }

// A built gauge file's bitmaps: the file offset of each one's header and of
// the resource data entry (address, size, code page, 0) that points at it.
struct Bitmap {
  size_t header;
  size_t entry;
};
std::vector<Bitmap> Bitmaps(const Bytes& file) {
  const uint32_t pe = U32(file, 0x3C);
  const size_t section_count = file[pe + 6] | file[pe + 7] << 8;
  const size_t sections = pe + 24 + (file[pe + 20] | file[pe + 21] << 8);
  auto address_of = [&](size_t offset) -> uint32_t {
    for (size_t s = sections; s < sections + 40 * section_count; s += 40) {
      const uint32_t raw = U32(file, s + 20);
      if (offset >= raw && offset < raw + U32(file, s + 16)) return offset - raw + U32(file, s + 12);
    }
    return 0;
  };
  std::vector<Bitmap> found;
  for (size_t at = 0; at + 40 <= file.size(); at += 4) {
    if (U32(file, at) != 40 || U32(file, at + 12) != (1u | 8u << 16) || U32(file, at + 16) != 0) {
      continue;
    }
    const uint32_t width = U32(file, at + 4), height = U32(file, at + 8);
    if (width == 0 || width > 4096 || height == 0 || height > 4096) continue;
    const uint32_t size = 40 + 1024 + (width + 3) / 4 * 4 * height;
    for (size_t entry = 0; entry + 16 <= file.size(); entry += 4) {
      if (U32(file, entry) == address_of(at) && U32(file, entry + 4) == size) {
        found.push_back({at, entry});
        break;
      }
    }
  }
  return found;
}

// The file offset of the value of a native module's dynamic entry `tag`.
size_t DynamicValue(const Bytes& file, int64_t tag) {
  Elf64_Ehdr header;
  std::memcpy(&header, file.data(), sizeof header);
  for (size_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment;
    std::memcpy(&segment, &file[header.e_phoff + i * sizeof segment], sizeof segment);
    if (segment.p_type != PT_DYNAMIC) continue;
    for (size_t at = segment.p_offset; at < segment.p_offset + segment.p_filesz; at += 16) {
      Elf64_Dyn entry;
      std::memcpy(&entry, &file[at], sizeof entry);
      if (entry.d_tag == tag) return at + 8;
    }
  }
  return 0;
}

enum class Surface {
  kHostLoad,    // host::Host::LoadModule(file, gauge)
  kBenchLoad,   // bench::LoadGauge from the file's folder, as with --gauges DIR
  kTrial,       // host::TrialModule
  kPictures,    // the bench's pictures from a .gau
  kHostSound,   // host::Host::LoadSoundLibrary(file)
  kBenchSound,  // bench::LoadSoundLibrary(file), as with --sound-library FILE
  kSoundTrial,  // host::TrialSoundLibrary
  kElfForm,     // formats::CheckElfFile, the form check alone (gauge-check --static-only)
};

TEST(BadFiles, AreRefusedWithAReasonAndNeverCrash) {
  const fs::path dir =
      fs::temp_directory_path() / ("bad-files-test-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path native = host::DefaultGaugeDir();
  const fs::path win32 = WIN32_GAUGES_DIR;
  const Bytes hyd_so = ReadAll(native / "orlahyd.so");
  const Bytes sound_so = ReadAll(host::DefaultSoundLibrary());
  const Bytes audio_gau = ReadAll(win32 / "orlaaudio.gau");
  ASSERT_GT(hyd_so.size(), 8192u) << "build the native tree first";
  ASSERT_FALSE(audio_gau.empty()) << "build the Windows tree first: tools/build-win32.sh";
  const std::vector<Bitmap> bitmaps = Bitmaps(audio_gau);
  ASSERT_GE(bitmaps.size(), 2u) << "no bitmaps found in orlaaudio.gau";

  // The file `name` (under the test's folder) of `bytes` changed by `patch`.
  auto patched = [&](const Bytes& bytes, const std::string& name,
                     std::function<void(Bytes&)> patch = nullptr) {
    Bytes changed = bytes;
    if (patch) patch(changed);
    const fs::path file = dir / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(changed.data()),
               static_cast<std::streamsize>(changed.size()));
    return file;
  };
  auto cut = [&](size_t size) {
    return [size](Bytes& bytes) { bytes.resize(size); };
  };
  // A crafted module of 1 MB (tests/crafted_elf.h).
  auto crafted = [&](const std::string& name, crafted_elf::Shape shape, bool damaged = false) {
    return patched(crafted_elf::Make(shape, size_t{1} << 20, damaged), name);
  };
  auto flipped = [&](const std::string& name, size_t at) {
    return patched(hyd_so, name, [at](Bytes& bytes) { bytes[at] ^= 0xFF; });
  };

  struct Row {
    const char* what;
    Surface surface;
    fs::path file;
    std::string gauge;
    std::string expected;  // in the reason; empty: accepted
    std::chrono::milliseconds deadline{30000};
    const char* misbehaviour = "";  // the misbehaving module's GAUGE_MISBEHAVE
  };
  using enum Surface;
  const Row rows[] = {
      {"orlaaudio.so saved as orlahyd.so", kHostLoad,
       patched(ReadAll(native / "orlaaudio.so"), "renamed/orlahyd.so"), "orlahyd",
       "holds the gauge 'orlaaudio', not 'orlahyd'"},
      {"orlaaudio.so saved as orlahyd.so in --gauges DIR", kBenchLoad,
       patched(ReadAll(native / "orlaaudio.so"), "renamed/orlahyd.so"), "orlahyd",
       "holds the gauge 'orlaaudio', not 'orlahyd'"},
      {"orlahyd.so as built, from another folder", kBenchLoad, patched(hyd_so, "copied/orlahyd.so"),
       "orlahyd", ""},
      {".so cut at 1000 bytes", kHostLoad, patched(hyd_so, "cut1000.so", cut(1000)), "",
       "cut short"},
      {".so cut at 4096 bytes", kHostLoad, patched(hyd_so, "cut4096.so", cut(4096)), "",
       "cut short"},
      {".so cut at 8192 bytes", kHostLoad, patched(hyd_so, "cut8192.so", cut(8192)), "",
       "cut short"},
      {".so cut at 4096 bytes, tried in a child", kTrial,
       patched(hyd_so, "cut4096.so", cut(4096)), "", "cut short"},
      {".so cut short by one byte", kHostLoad,
       patched(hyd_so, "cut1.so", cut(hyd_so.size() - 1)), "", "cut short"},
      {"empty .so", kHostLoad, patched(hyd_so, "empty.so", cut(0)), "", "only 0 bytes"},
      {"flipped byte in the ELF magic", kHostLoad, flipped("magic.so", 1), "", "no ELF header"},
      {"flipped byte in the ELF class", kHostLoad, flipped("class.so", 4), "", "not 64-bit"},
      {"flipped byte in e_machine", kHostLoad, flipped("machine.so", 18), "", "machine"},
      {"flipped byte in e_type", kHostLoad, flipped("type.so", 16), "", "not a shared library"},
      {"flipped byte in e_phoff", kHostLoad, flipped("phoff.so", 35), "", "program header table"},
      {"flipped byte in e_phentsize", kHostLoad,
       flipped("phentsize.so", 54), "", "program header size"},
      {"flipped byte in e_shoff", kHostLoad, flipped("shoff.so", 43), "", "section header table"},
      {"flipped byte in a segment's file offset", kHostLoad,
       flipped("p_offset.so", 64 + 56 + 8 + 3), "", "segment 1"},
      {"flipped byte in the dynamic table's string table address", kHostLoad,
       flipped("strtab.so", DynamicValue(hyd_so, DT_STRTAB) + 3), "", "string table lies outside"},
      // Crafted to cost the form check the most for their size
      // (tests/crafted_elf.h; benchmarks/elf_check.cpp times the check on them).
      {"many DT_NEEDED entries naming a string that ends only at the table's end", kElfForm,
       crafted("names.so", crafted_elf::Shape::kNames), "", ""},
      {"many DT_NEEDED entries naming a string that never ends", kHostLoad,
       crafted("names-unended.so", crafted_elf::Shape::kNames, true), "",
       "a name in the dynamic table does not end"},
      {"thousands of tiny loadable segments before the one every relocation writes into",
       kElfForm, crafted("segments.so", crafted_elf::Shape::kSegments), "", ""},
      {"thousands of tiny loadable segments, the last relocation writing outside them all",
       kHostLoad, crafted("segments-outside.so", crafted_elf::Shape::kSegments, true), "",
       "a relocation at byte 1048552 writes outside the loaded segments"},
      {"a dynamic table of distinct unknown tags", kElfForm,
       crafted("tags.so", crafted_elf::Shape::kTags), "", ""},
      {"a folder named x.so", kHostLoad, [&] {
         fs::create_directories(dir / "x.so");
         return dir / "x.so";
       }(), "", "a folder, not a gauge module"},
      {"a module whose gauge crashes when created", kTrial, MISBEHAVING, "",
       "crashed with SIGSEGV (Segmentation fault) while creating a gauge",
       std::chrono::milliseconds(30000), "create-crash"},
      {"a module whose gauge never returns from an update", kTrial, MISBEHAVING, "",
       "did not finish a trial run while updating within 1000 ms",
       std::chrono::milliseconds(1000), "hang"},
      {"a module whose initialiser crashes, in --gauges DIR", kBenchLoad, MISBEHAVING,
       "misbehaving", "crashed with SIGSEGV (Segmentation fault) while loading the module",
       std::chrono::milliseconds(30000), "load-crash"},
      // The sound library is native code from outside as well.
      {"libGaugeSound.so as built, from another folder", kBenchSound,
       patched(sound_so, "sound/libGaugeSound.so"), "", ""},
      {"libGaugeSound.so cut at 4096 bytes", kHostSound,
       patched(sound_so, "sound/cut4096.so", cut(4096)), "", "cut short"},
      {"libGaugeSound.so cut at 4096 bytes, as --sound-library", kBenchSound,
       patched(sound_so, "sound/cut4096.so", cut(4096)), "", "cut short"},
      {"a sound library whose initialiser crashes", kBenchSound, MISBEHAVING, "",
       "sound library " MISBEHAVING " crashed with SIGSEGV (Segmentation fault) while loading "
       "the library",
       std::chrono::milliseconds(30000), "load-crash"},
      {"a sound library whose initialiser never returns", kSoundTrial, MISBEHAVING, "",
       "did not finish a trial run while loading the library within 1000 ms",
       std::chrono::milliseconds(1000), "load-hang"},
      {"a gauge module as the sound library", kBenchSound, native / "orlahyd.so", "",
       "not the bench's sound library: it has no GaugeSoundSetReporter"},
      {"a folder named libGaugeSound.so", kBenchSound, [&] {
         fs::create_directories(dir / "folder" / "libGaugeSound.so");
         return dir / "folder" / "libGaugeSound.so";
       }(), "", "a folder, not a sound library"},
      {"a pipe named libGaugeSound.so", kHostSound, [&] {
         mkfifo((dir / "sound" / "pipe.so").c_str(), 0600);
         return dir / "sound" / "pipe.so";
       }(), "", "a pipe (FIFO), not a regular file"},
      {"orlaaudio.gau as built", kPictures, patched(audio_gau, "good.gau"), "", ""},
      {"PE with resource entries all sharing one block", kPictures,
       patched(audio_gau, "shared.gau",
               [&](Bytes& bytes) {
                 size_t face = bitmaps[0].entry;  // the largest
                 for (const Bitmap& b : bitmaps) {
                   if (U32(bytes, b.entry + 4) > U32(bytes, face + 4)) face = b.entry;
                 }
                 for (const Bitmap& b : bitmaps) {
                   Put32(bytes, b.entry, U32(bytes, face));
                   Put32(bytes, b.entry + 4, U32(bytes, face + 4));
                 }
               }),
       "", "claim more bytes than the file holds"},
      {"bitmap resource bigger than the largest picture", kPictures,
       patched(audio_gau, "huge-resource.gau",
               [&](Bytes& bytes) {
                 Put32(bytes, bitmaps[1].entry + 4, uint32_t{formats::kMaxBitmapBytes} + 1);
               }),
       "", "more than the largest picture takes"},
      {"bitmap header claiming 5000 x 5000", kPictures,
       patched(audio_gau, "huge-bitmap.gau",
               [&](Bytes& bytes) {
                 Put32(bytes, bitmaps[1].header + 4, 5000);
                 Put32(bytes, bitmaps[1].header + 8, 5000);
               }),
       "", "5000 x 5000 is out of range"},
      {".gau cut in half", kPictures,
       patched(audio_gau, "half.gau", cut(audio_gau.size() / 2)), "", "the file is cut short: section .rsrc"},
      {"a folder named x.gau", kPictures, [&] {
         fs::create_directories(dir / "x.gau");
         return dir / "x.gau";
       }(), "", ": a folder, not a gauge file"},
      // Special files are refused as soon as they are opened, never waited on.
      {"a pipe named x.gau", kPictures, [&] {
         mkfifo((dir / "pipe.gau").c_str(), 0600);
         return dir / "pipe.gau";
       }(), "", "a pipe (FIFO), not a regular file"},
      {"a pipe named orlahyd.so", kHostLoad, [&] {
         fs::create_directories(dir / "pipe");
         mkfifo((dir / "pipe" / "orlahyd.so").c_str(), 0600);
         return dir / "pipe" / "orlahyd.so";
       }(), "orlahyd", "a pipe (FIFO), not a regular file"},
      {"a loop of symbolic links named orlahyd.so", kBenchLoad, [&] {
         fs::create_directories(dir / "loop");
         fs::create_symlink("orlahyd.so", dir / "loop" / "orlahyd.so");
         return dir / "loop" / "orlahyd.so";
       }(), "orlahyd", "a loop of symbolic links"},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string error;
    // Any trial's child inherits it.
    if (*row.misbehaviour != '\0') setenv("GAUGE_MISBEHAVE", row.misbehaviour, 1);
    switch (row.surface) {
      case kHostLoad: {
        host::Host host;
        if (host.LoadModule(row.file, row.gauge, &error) != nullptr) error.clear();
        break;
      }
      case kBenchLoad: {
        host::Host host;
        if (bench::LoadGauge(host, row.file.parent_path(), row.gauge, &error) != nullptr) {
          error.clear();
        }
        break;
      }
      case kTrial: {
        host::TrialReport report;
        host::TrialModule(row.file, &report, {.gauge = row.gauge, .deadline = row.deadline});
        error = report.message;
        break;
      }
      case kPictures: {
        bench::GaugePictures pictures;
        if (pictures.LoadFile(row.file, &error)) error.clear();
        break;
      }
      case kHostSound: {
        host::Host host;
        if (host.LoadSoundLibrary(row.file, &error)) error.clear();
        break;
      }
      case kBenchSound: {
        host::Host host;
        if (bench::LoadSoundLibrary(host, row.file, dir, &error)) error.clear();
        break;
      }
      case kSoundTrial: {
        host::TrialReport report;
        host::TrialSoundLibrary(row.file, dir, &report, row.deadline);
        error = report.message;
        break;
      }
      case kElfForm:
        if (formats::CheckElfFile(row.file, &error)) error.clear();
        break;
    }
    unsetenv("GAUGE_MISBEHAVE");
    if (row.expected.empty()) {
      EXPECT_EQ(error, "") << "refused";
    } else {
      EXPECT_THAT(error, HasSubstr(row.expected));
      EXPECT_THAT(error, HasSubstr(row.file.string())) << "the reason names the file";
    }
  }
  fs::remove_all(dir);
}

}  // namespace
