// The clicks the gauges play, for the page to play too: the address under
// which the page asks for a sound a gauge played, and the sound file such an
// address names in the sound folder. Apart from the sockets: the statuses
// are HTTP's, the rest plain data.
//
// A gauge names its sound relative to the simulator's folder, as the sound
// library takes it ("sound\orlaclick.wav"); the page asks for
// /sound/orlaclick.wav, and the file is found as the sound library finds it
// (gauge_sound/resolve.h: either separator, any letter case). Only a .wav
// file directly in the sound folder is served: a name with a separator, a
// leading dot (".."), a control character or a colon is refused, and so is
// a file that is a link leading out of the folder, anything but a regular
// file, or one larger than kLargestSound.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace viewer {

// Where the page asks for the sounds: kSoundPrefix + the file's name.
inline constexpr char kSoundPrefix[] = "/sound/";
// A click is a few kilobytes; no gauge's sound comes near this.
inline constexpr uint64_t kLargestSound = 1 << 20;

// The page's address of the sound a gauge played, from the name it gave
// ("sound\orlaclick.wav" -> "/sound/orlaclick.wav", the file's name in the
// letter case the gauge wrote); empty when the name is not that of a .wav
// file directly in the sound folder.
std::string SoundAddress(const std::string& played);

struct SoundFile {
  int status = 0;     // 200, or the HTTP status of the refusal
  std::string bytes;  // with 200: the whole file
  std::string tag;    // with 200: a fingerprint of the bytes (for an ETag)
  std::string error;  // otherwise: why, and what was asked for
};

// The sound file `name` (what follows kSoundPrefix in an address) in the
// sound folder of the simulator folder `root` ("" for the current folder),
// read whole: 400 for a name that is not one of a file in that folder, 404
// for one that is not a .wav or that the folder does not hold as a regular
// file, 403 for a link leading out of the folder or a file too large.
SoundFile ReadSound(const std::filesystem::path& root, const std::string& name);

}  // namespace viewer
