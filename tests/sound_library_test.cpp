// The sound library stand-in finds a click file as the simulator's file
// system would, and never outside the simulator's folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "gauge_sound/resolve.h"
#include "tests/gauge_fixture.h"

namespace {

using gauge_sound::ResolveSoundFile;

const std::filesystem::path kRoot = SOURCE_DIR;

TEST(SoundFiles, AreFoundWhateverTheCaseAndSeparator) {
  const std::filesystem::path file = kRoot / "sound" / "vornqexclick.wav";
  for (const char* name : {"sound\\vornqexclick.wav", "sound\\VORNQEXCLICK.WAV",
                           "SOUND/VornQexClick.Wav", "sound\\.\\vornqexclick.wav",
                           "sound\\\\vornqexclick.wav"}) {
    const std::filesystem::path found = ResolveSoundFile(kRoot, name);
    EXPECT_TRUE(!found.empty() && std::filesystem::equivalent(found, file))
        << name << " found " << found;
  }
}

TEST(SoundFiles, NamesThatLeaveTheFolderOrFindNothingAreRefused) {
  for (const char* name :
       {"", "sound", "sound\\", "sound\\missing.wav", "\\sound\\orlaclick.wav",
        "/etc/passwd", "C:\\Windows\\win.ini", "sound\\..\\sound\\orlaclick.wav",
        "..\\main\\sound\\orlaclick.wav", "sound\\orlaclick.wav\\x"}) {
    EXPECT_EQ(ResolveSoundFile(kRoot, name), std::filesystem::path()) << "'" << name << "'";
  }
}

class ClickFile : public testing_support::GaugeTest {
 public:
  ClickFile() : GaugeTest("VORN_Kestrel_FMC") {}
};

TEST_F(ClickFile, EveryKeysClickIsFoundUnderTheSimulatorFolder) {
  host_.SetSoundRoot(kRoot);
  for (const MouseRect* area : gauge().MouseAreas()) gauge().CallMouse(*area);
  int plays = 0;
  for (const host::LogEntry& entry : host_.log()) {
    if (entry.kind != host::LogKind::kPlaySound) continue;
    ++plays;
    EXPECT_TRUE(!entry.resolved.empty() &&
                std::filesystem::equivalent(entry.resolved, kRoot / "sound" / "vornqexclick.wav"))
        << entry.name << " found " << entry.resolved;
  }
  EXPECT_EQ(plays, 36);
}

TEST_F(ClickFile, AClickWithoutItsFileStillPlaysButFindsNothing) {
  host_.SetSoundRoot(kRoot / "tests");
  gauge().Click(360, 66);
  ASSERT_EQ(host_.log().size(), 2u);
  EXPECT_EQ(host_.log().back().kind, host::LogKind::kPlaySound);
  EXPECT_EQ(host_.log().back().resolved, "");
}

}  // namespace
