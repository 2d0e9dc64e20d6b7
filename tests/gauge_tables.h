// The panels as they are laid out: the radio display's text fields and key
// areas, the audio panel's icons and knobs, the PFD settings panel's
// controls. The module suites press and read through these tables, and the
// contract suite expects the records to carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/record_checks.h"

namespace tables {

using testing_support::Key;

// The click of the audio and PFD settings panels.
inline const std::string kClick = R"(play "sound\orlaclick.wav" "" 0)";

// Variables more than one panel reads: the avionics bus in volts (powered
// above 10) and the panel lighting switch.
constexpr uint32_t kBus = 0x2f1;
constexpr uint32_t kLighting = 0x0a;

// One press on each gauge that clicks, with the key event and the click it
// sends: the radio display's R1, the audio panel's COMM 1 knob and the PFD
// settings panel's BARO right.
struct ClickingPress {
  const char* gauge;
  int32_t x, y;
  const char* key;
  std::string play;
};
inline const ClickingPress kClickingPresses[] = {
    {"VORN_Kestrel_FMC", 360, 66, "key 0x1038C value 0", R"(play "sound\vornqexclick.wav" "" 0)"},
    {"orlaaudio", 60, 75, "key 0x1039F value 0", kClick},
    {"orlapfdset", 35, 40, "key 0x1015B value 0", kClick},
};

namespace radio {

constexpr uint32_t kGreen = 0x0040FF00, kYellow = 0x0000FFFF, kWhite = 0x00FFFFFF,
                   kBlue = 0x00FF8000;
constexpr char kNarrow[] = "Arial Narrow";

enum class Shows { kLabel, kRadio, kAdf, kAtc };

struct TextField {
  int32_t x, y, width, height;
  const char* font;
  uint32_t weight, colour, var;
  Shows shows;
  const char* label;  // the fixed text of a label, else what the read-out is
};

// The 21 text fields in chain order, after the face and the legends icon.
inline const TextField kFields[21] = {
    {148, 28, 234, 30, "Arial", 500, kBlue, 0, Shows::kLabel, "TUNE"},
    {60, 52, 322, 20, kNarrow, 100, kWhite, 0, Shows::kLabel, "COM1"},
    {250, 52, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "COM2"},
    {52, 65, 330, 30, kNarrow, 500, kGreen, 0x17, Shows::kRadio, "COM1 frequency"},
    {240, 65, 142, 30, kNarrow, 500, kGreen, 0x366, Shows::kRadio, "COM2 frequency"},
    {60, 86, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {250, 86, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {52, 100, 330, 30, kNarrow, 500, kYellow, 0x269, Shows::kRadio, "COM1 preset"},
    {241, 100, 141, 30, kNarrow, 500, kYellow, 0x367, Shows::kRadio, "COM2 preset"},
    {60, 118, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "NAV1"},
    {250, 118, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "NAV2"},
    {52, 130, 330, 30, kNarrow, 500, kGreen, 0x18, Shows::kRadio, "NAV1 frequency"},
    {240, 130, 142, 30, kNarrow, 500, kGreen, 0x1B, Shows::kRadio, "NAV2 frequency"},
    {60, 153, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {250, 153, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {52, 166, 330, 30, kNarrow, 500, kYellow, 0x368, Shows::kRadio, "NAV1 preset"},
    {240, 166, 142, 30, kNarrow, 500, kYellow, 0x369, Shows::kRadio, "NAV2 preset"},
    {52, 196, 330, 30, kNarrow, 500, kGreen, 0x10, Shows::kAdf, "ADF frequency"},
    {240, 196, 142, 30, kNarrow, 500, kWhite, 0x26, Shows::kAtc, "ATC code"},
    {60, 186, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "ADF"},
    {250, 186, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "ATC"},
};
constexpr size_t kFirstField = 2;  // face, legends, then the fields

constexpr char U[] = "sound\\VORNQEXCLICK.WAV";
constexpr char l[] = "sound\\vornqexclick.wav";

struct KeyArea {
  int32_t x, y, width, height;
  uint32_t cursor, key_event;
  const char* click;
  const char* name;
};

inline const KeyArea kKeys[36] = {
    {0, 92, 10, 7, 1, 0x10065, U, "L2 upper-left"},
    {0, 62, 24, 16, 5, 0x10344, U, "L1"},
    {0, 103, 10, 8, 2, 0x10064, U, "L2 lower-left"},
    {13, 93, 14, 7, 1, 0x10067, l, "L2 upper-right"},
    {13, 103, 12, 7, 2, 0x10066, l, "L2 lower-right"},
    {349, 60, 23, 13, 5, 0x1038C, l, "R1"},
    {350, 90, 12, 7, 1, 0x10385, l, "R2 upper-left"},
    {349, 98, 12, 7, 2, 0x10384, l, "R2 lower-left"},
    {364, 87, 12, 8, 1, 0x10388, l, "R2 upper-right"},
    {365, 99, 11, 10, 2, 0x10386, l, "R2 lower-right"},
    {1, 125, 24, 15, 5, 0x10390, U, "L3"},
    {348, 120, 28, 18, 5, 0x10394, U, "R3"},
    {0, 155, 12, 11, 1, 0x10069, U, "L4 upper-left"},
    {1, 168, 11, 10, 2, 0x10068, U, "L4 lower-left"},
    {14, 155, 14, 9, 1, 0x1006B, U, "L4 upper-right"},
    {15, 165, 11, 9, 2, 0x1006A, U, "L4 lower-right"},
    {347, 151, 15, 11, 1, 0x1006D, U, "R4 upper-left"},
    {349, 164, 12, 10, 2, 0x1006C, U, "R4 lower-left"},
    {365, 149, 12, 12, 1, 0x1006F, U, "R4 upper-right"},
    {364, 163, 12, 9, 2, 0x1006E, U, "R4 lower-right"},
    {43, 300, 26, 16, 1, 0x10070, U, "F2 upper"},
    {81, 300, 27, 14, 1, 0x10071, U, "F3 upper"},
    {119, 299, 26, 13, 1, 0x10072, U, "F4 upper"},
    {155, 299, 26, 14, 1, 0x1039E, l, "F5 upper"},
    {194, 300, 26, 14, 1, 0x10073, l, "F6 upper"},
    {232, 299, 27, 15, 1, 0x10074, l, "F7 upper"},
    {271, 300, 26, 14, 1, 0x10075, l, "F8 upper"},
    {311, 300, 27, 14, 1, 0x10076, l, "F9 upper"},
    {192, 317, 27, 13, 2, 0x10397, l, "F6 lower"},
    {231, 317, 27, 14, 2, 0x10398, l, "F7 lower"},
    {272, 318, 25, 13, 2, 0x10399, l, "F8 lower"},
    {310, 317, 26, 13, 2, 0x1039A, l, "F9 lower"},
    {41, 316, 28, 14, 2, 0x10082, l, "F2 lower"},
    {80, 316, 26, 13, 2, 0x10083, l, "F3 lower"},
    {119, 316, 25, 13, 2, 0x10084, l, "F4 lower"},
    {155, 316, 27, 13, 2, 0x1039D, l, "F5 lower"},
};

}  // namespace radio

namespace audio {

// The nine icons in drawing order after the face.
struct IconRecord {
  const char* name;
  uint32_t resource;
  int32_t x, y;
};
constexpr IconRecord kIcons[] = {
    {"legends", 0x1100, 0, 0},    {"COMM 1", 0x1200, 55, 79},  {"COMM 2", 0x1300, 87, 77},
    {"NAV 1", 0x1400, 55, 118},   {"NAV 2", 0x1500, 88, 117},  {"DME 1", 0x1600, 56, 154},
    {"DME 2", 0x1700, 88, 155},   {"ADF 1", 0x1800, 57, 226},  {"left knob", 0x1900, 19, 77},
};

// The push knobs in mouse list order, with what one press from rest sends.
struct Knob {
  const char* name;
  int32_t x, y, width, height;
  std::vector<std::string> press;
};
inline const Knob kKnobs[] = {
    {"COMM 1", 53, 67, 16, 22, {Key(0x1039f), kClick}},
    {"COMM 2", 86, 71, 17, 17, {kClick, Key(0x103a0)}},
    {"NAV 1", 53, 108, 17, 19, {Key(0x10132), kClick}},
    {"NAV 2", 85, 108, 18, 18, {kClick, Key(0x10133)}},
    {"DME 1", 53, 147, 14, 17, {Key(0x1012f), kClick}},
    {"DME 2", 83, 146, 17, 18, {Key(0x10130), kClick}},
    {"ADF 1", 54, 215, 16, 20, {Key(0x10136), kClick}},
    {"left knob", 16, 70, 18, 17, {Key(0x103ad), kClick}},
};
constexpr int kDme1 = 4;
constexpr int kDme2 = 5;

}  // namespace audio

namespace pfd {

// The controls in mouse list order, with what one press sends out.
struct Control {
  const char* name;
  int32_t x, y, width, height;
  uint32_t cursor, event_mask;
  std::vector<std::string> press;
};
inline const Control kControls[] = {
    {"BARO right", 28, 32, 13, 20, 1, 0x20200000, {Key(0x1015b), kClick}},
    {"BARO left", 14, 31, 13, 20, 2, 0x20200000, {kClick, Key(0x1015c)}},
    {"IN/MB SEL", 22, 63, 17, 11, 5, 0x20000000, {kClick}},
    {"TEMP", 15, 86, 31, 10, 5, 0x20000000, {kClick}},
    {"DH-SET right", 27, 112, 14, 18, 1, 0x20200000, {kClick}},
    {"DH-SET left", 13, 111, 14, 19, 2, 0x20200000, {kClick}},
    {"ALT-TEST", 15, 140, 30, 11, 5, 0x20000000, {kClick}},
};
enum ControlIndex { kBaroRight, kBaroLeft, kInMbSel, kTemp, kDhRight, kDhLeft, kAltTest };

}  // namespace pfd

}  // namespace tables
