#include "viewer/sounds.h"

#include <system_error>

#include "bench/text.h"
#include "formats/file_read.h"
#include "gauge_sound/resolve.h"
#include "host/text_format.h"

namespace viewer {
namespace {

// The folder the gauges' sounds are in, under the simulator's folder.
constexpr char kSoundFolder[] = "sound";

// Whether `name` can only be the name of a file directly in the sound
// folder: no separator of either kind, no drive's colon, no control
// character, and not starting with a dot (".", "..", hidden files).
bool IsFileName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '.') return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':' || byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

bool IsWav(std::string_view name) {
  constexpr std::string_view kWav = ".wav";
  return name.size() > kWav.size() &&
         bench::SameIgnoringCase(name.substr(name.size() - kWav.size()), kWav);
}

// `name` with every byte but letters, digits and "-._~" as %XX, so that it
// is one part of an address whatever it holds.
std::string Escaped(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

// FNV-1a of the bytes: what tells one version of a sound from another.
std::string Fingerprint(std::string_view bytes) {
  uint64_t hash = 14695981039346656037u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211u;
  }
  return host::Format("%016llx", static_cast<unsigned long long>(hash));
}

SoundFile Refuse(int status, std::string error) {
  SoundFile refused;
  refused.status = status;
  refused.error = std::move(error);
  return refused;
}

}  // namespace

std::string SoundAddress(const std::string& played) {
  const size_t separator = played.find_first_of("\\/");
  if (separator == std::string::npos) return {};
  const std::string_view folder = std::string_view(played).substr(0, separator);
  const std::string_view name = std::string_view(played).substr(separator + 1);
  if (!bench::SameIgnoringCase(folder, kSoundFolder) || !IsFileName(name) || !IsWav(name)) {
    return {};
  }
  return kSoundPrefix + Escaped(name);
}

SoundFile ReadSound(const std::filesystem::path& root, const std::string& name) {
  const std::string asked = "'" + host::Quoted(name, 80) + "'";
  if (!IsFileName(name)) {
    return Refuse(400, "a sound is asked for by the name of a file in the sound folder, without "
                       "'/', '\\', ':' or a leading '.' (asked for " + asked + ")");
  }
  if (!IsWav(name)) {
    return Refuse(404,
                  "only .wav files are served from the sound folder (asked for " + asked + ")");
  }
  // Found as the sound library finds the gauges' files, so the page plays
  // what the simulator would.
  const std::filesystem::path folder = root / kSoundFolder;
  const std::filesystem::path found =
      gauge_sound::ResolveSoundFile(root, std::string(kSoundFolder) + "\\" + name);
  if (found.empty()) {
    return Refuse(404, "no sound file " + asked + " in the sound folder " + folder.string() +
                           " (a folder or a special file of that name is not one)");
  }
  // The file itself, its links followed, must be in the folder the name
  // found: a link in the sound folder may name another sound there, never
  // a file elsewhere.
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::canonical(found, ec);
  const std::filesystem::path holder = ec ? std::filesystem::path()
                                          : std::filesystem::canonical(found.parent_path(), ec);
  if (ec) {
    return Refuse(404, "the sound file " + asked + " cannot be followed: " + ec.message());
  }
  if (file.parent_path() != holder) {
    return Refuse(403, "the sound file " + asked + " is a link that leads out of the sound " +
                           "folder " + folder.string() + "; only files in it are served");
  }
  SoundFile sound;
  formats::FileReadError error;
  if (!formats::ReadRegularFile(file, kLargestSound, "sound file", &sound.bytes, &error)) {
    using Kind = formats::FileReadError::Kind;
    const int status = error.kind == Kind::kTooLarge     ? 403
                       : error.kind == Kind::kUnreadable ? 500
                                                         : 404;
    return Refuse(status, "the sound file " + asked + " in " + folder.string() + ": " +
                              error.message);
  }
  sound.status = 200;
  sound.tag = Fingerprint(sound.bytes);
  return sound;
}

}  // namespace viewer
