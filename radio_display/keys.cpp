// The radio tuning keys: 36 areas on sixteen keys around the screen. Each
// sends its key event with value 0, then clicks. L2, R2, L4 and R4 are split
// into quarters, F2 to F9 into halves; L1, R1, L3 and R3 are push keys.
#include "frame/host_services.h"
#include "frame/sound.h"
#include "radio_display/radio_display.h"

namespace radio_display {
namespace {

constexpr char U[] = "sound\\VORNQEXCLICK.WAV";
constexpr char l[] = "sound\\vornqexclick.wav";

template <uint32_t KeyEvent, const char* ClickFile>
int32_t GAUGE_CALL TuningKey(uint32_t, uint32_t) {
  TriggerKeyEvent(KeyEvent);
  PlayClick(ClickFile);
  return 0;
}

constexpr uint32_t kUp = kCursorUp;
constexpr uint32_t kDown = kCursorDown;
constexpr uint32_t kPush = kCursorHand;

}  // namespace

constinit MouseRect keyAreas[] = {
    MakeMouseMarker(kRectParent),
    //               x    y  width height cursor  key event        click    #  area
    MakeMouseChild(  0,  92, 10,  7,  kUp,   TuningKey<0x10065, U>),  //  1 L2 upper-left
    MakeMouseChild(  0,  62, 24, 16,  kPush, TuningKey<0x10344, U>),  //  2 L1
    MakeMouseChild(  0, 103, 10,  8,  kDown, TuningKey<0x10064, U>),  //  3 L2 lower-left
    MakeMouseChild( 13,  93, 14,  7,  kUp,   TuningKey<0x10067, l>),  //  4 L2 upper-right
    MakeMouseChild( 13, 103, 12,  7,  kDown, TuningKey<0x10066, l>),  //  5 L2 lower-right
    MakeMouseChild(349,  60, 23, 13,  kPush, TuningKey<0x1038C, l>),  //  6 R1
    MakeMouseChild(350,  90, 12,  7,  kUp,   TuningKey<0x10385, l>),  //  7 R2 upper-left
    MakeMouseChild(349,  98, 12,  7,  kDown, TuningKey<0x10384, l>),  //  8 R2 lower-left
    MakeMouseChild(364,  87, 12,  8,  kUp,   TuningKey<0x10388, l>),  //  9 R2 upper-right
    MakeMouseChild(365,  99, 11, 10,  kDown, TuningKey<0x10386, l>),  // 10 R2 lower-right
    MakeMouseChild(  1, 125, 24, 15,  kPush, TuningKey<0x10390, U>),  // 11 L3
    MakeMouseChild(348, 120, 28, 18,  kPush, TuningKey<0x10394, U>),  // 12 R3
    MakeMouseChild(  0, 155, 12, 11,  kUp,   TuningKey<0x10069, U>),  // 13 L4 upper-left
    MakeMouseChild(  1, 168, 11, 10,  kDown, TuningKey<0x10068, U>),  // 14 L4 lower-left
    MakeMouseChild( 14, 155, 14,  9,  kUp,   TuningKey<0x1006B, U>),  // 15 L4 upper-right
    MakeMouseChild( 15, 165, 11,  9,  kDown, TuningKey<0x1006A, U>),  // 16 L4 lower-right
    MakeMouseChild(347, 151, 15, 11,  kUp,   TuningKey<0x1006D, U>),  // 17 R4 upper-left
    MakeMouseChild(349, 164, 12, 10,  kDown, TuningKey<0x1006C, U>),  // 18 R4 lower-left
    MakeMouseChild(365, 149, 12, 12,  kUp,   TuningKey<0x1006F, U>),  // 19 R4 upper-right
    MakeMouseChild(364, 163, 12,  9,  kDown, TuningKey<0x1006E, U>),  // 20 R4 lower-right
    MakeMouseChild( 43, 300, 26, 16,  kUp,   TuningKey<0x10070, U>),  // 21 F2 upper
    MakeMouseChild( 81, 300, 27, 14,  kUp,   TuningKey<0x10071, U>),  // 22 F3 upper
    MakeMouseChild(119, 299, 26, 13,  kUp,   TuningKey<0x10072, U>),  // 23 F4 upper
    MakeMouseChild(155, 299, 26, 14,  kUp,   TuningKey<0x1039E, l>),  // 24 F5 upper
    MakeMouseChild(194, 300, 26, 14,  kUp,   TuningKey<0x10073, l>),  // 25 F6 upper
    MakeMouseChild(232, 299, 27, 15,  kUp,   TuningKey<0x10074, l>),  // 26 F7 upper
    MakeMouseChild(271, 300, 26, 14,  kUp,   TuningKey<0x10075, l>),  // 27 F8 upper
    MakeMouseChild(311, 300, 27, 14,  kUp,   TuningKey<0x10076, l>),  // 28 F9 upper
    MakeMouseChild(192, 317, 27, 13,  kDown, TuningKey<0x10397, l>),  // 29 F6 lower
    MakeMouseChild(231, 317, 27, 14,  kDown, TuningKey<0x10398, l>),  // 30 F7 lower
    MakeMouseChild(272, 318, 25, 13,  kDown, TuningKey<0x10399, l>),  // 31 F8 lower
    MakeMouseChild(310, 317, 26, 13,  kDown, TuningKey<0x1039A, l>),  // 32 F9 lower
    MakeMouseChild( 41, 316, 28, 14,  kDown, TuningKey<0x10082, l>),  // 33 F2 lower
    MakeMouseChild( 80, 316, 26, 13,  kDown, TuningKey<0x10083, l>),  // 34 F3 lower
    MakeMouseChild(119, 316, 25, 13,  kDown, TuningKey<0x10084, l>),  // 35 F4 lower
    MakeMouseChild(155, 316, 27, 13,  kDown, TuningKey<0x1039D, l>),  // 36 F5 lower
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

}  // namespace radio_display
