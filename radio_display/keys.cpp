// The radio tuning keys: 36 areas on sixteen keys around the screen. Each
// sends its key event with value 0, then clicks. L2, R2, L4 and R4 are split
// into quarters, F2 to F9 into halves; L1, R1, L3 and R3 are push keys.
#include "frame/key_press.h"
#include "radio_display/radio_display.h"

namespace radio_display {
namespace {

// The one click file, spelled two ways; each key keeps its own spelling.
constexpr char kClickCaps[] = "sound\\VORNQEXCLICK.WAV";
constexpr char kClickSmall[] = "sound\\vornqexclick.wav";

constexpr uint32_t kUp = kCursorUp;
constexpr uint32_t kDown = kCursorDown;
constexpr uint32_t kPush = kCursorHand;

}  // namespace

constinit MouseRect keyAreas[] = {
    MakeMouseMarker(kRectParent),
    //               x    y  width height cursor  callback (key event, click file)    #  area
    MakeMouseChild(  0,  92, 10,  7,  kUp,   KeyThenClick<0x10065, kClickCaps>),   //  1 L2 upper-left
    MakeMouseChild(  0,  62, 24, 16,  kPush, KeyThenClick<0x10344, kClickCaps>),   //  2 L1
    MakeMouseChild(  0, 103, 10,  8,  kDown, KeyThenClick<0x10064, kClickCaps>),   //  3 L2 lower-left
    MakeMouseChild( 13,  93, 14,  7,  kUp,   KeyThenClick<0x10067, kClickSmall>),  //  4 L2 upper-right
    MakeMouseChild( 13, 103, 12,  7,  kDown, KeyThenClick<0x10066, kClickSmall>),  //  5 L2 lower-right
    MakeMouseChild(349,  60, 23, 13,  kPush, KeyThenClick<0x1038C, kClickSmall>),  //  6 R1
    MakeMouseChild(350,  90, 12,  7,  kUp,   KeyThenClick<0x10385, kClickSmall>),  //  7 R2 upper-left
    MakeMouseChild(349,  98, 12,  7,  kDown, KeyThenClick<0x10384, kClickSmall>),  //  8 R2 lower-left
    MakeMouseChild(364,  87, 12,  8,  kUp,   KeyThenClick<0x10388, kClickSmall>),  //  9 R2 upper-right
    MakeMouseChild(365,  99, 11, 10,  kDown, KeyThenClick<0x10386, kClickSmall>),  // 10 R2 lower-right
    MakeMouseChild(  1, 125, 24, 15,  kPush, KeyThenClick<0x10390, kClickCaps>),   // 11 L3
    MakeMouseChild(348, 120, 28, 18,  kPush, KeyThenClick<0x10394, kClickCaps>),   // 12 R3
    MakeMouseChild(  0, 155, 12, 11,  kUp,   KeyThenClick<0x10069, kClickCaps>),   // 13 L4 upper-left
    MakeMouseChild(  1, 168, 11, 10,  kDown, KeyThenClick<0x10068, kClickCaps>),   // 14 L4 lower-left
    MakeMouseChild( 14, 155, 14,  9,  kUp,   KeyThenClick<0x1006B, kClickCaps>),   // 15 L4 upper-right
    MakeMouseChild( 15, 165, 11,  9,  kDown, KeyThenClick<0x1006A, kClickCaps>),   // 16 L4 lower-right
    MakeMouseChild(347, 151, 15, 11,  kUp,   KeyThenClick<0x1006D, kClickCaps>),   // 17 R4 upper-left
    MakeMouseChild(349, 164, 12, 10,  kDown, KeyThenClick<0x1006C, kClickCaps>),   // 18 R4 lower-left
    MakeMouseChild(365, 149, 12, 12,  kUp,   KeyThenClick<0x1006F, kClickCaps>),   // 19 R4 upper-right
    MakeMouseChild(364, 163, 12,  9,  kDown, KeyThenClick<0x1006E, kClickCaps>),   // 20 R4 lower-right
    MakeMouseChild( 43, 300, 26, 16,  kUp,   KeyThenClick<0x10070, kClickCaps>),   // 21 F2 upper
    MakeMouseChild( 81, 300, 27, 14,  kUp,   KeyThenClick<0x10071, kClickCaps>),   // 22 F3 upper
    MakeMouseChild(119, 299, 26, 13,  kUp,   KeyThenClick<0x10072, kClickCaps>),   // 23 F4 upper
    MakeMouseChild(155, 299, 26, 14,  kUp,   KeyThenClick<0x1039E, kClickSmall>),  // 24 F5 upper
    MakeMouseChild(194, 300, 26, 14,  kUp,   KeyThenClick<0x10073, kClickSmall>),  // 25 F6 upper
    MakeMouseChild(232, 299, 27, 15,  kUp,   KeyThenClick<0x10074, kClickSmall>),  // 26 F7 upper
    MakeMouseChild(271, 300, 26, 14,  kUp,   KeyThenClick<0x10075, kClickSmall>),  // 27 F8 upper
    MakeMouseChild(311, 300, 27, 14,  kUp,   KeyThenClick<0x10076, kClickSmall>),  // 28 F9 upper
    MakeMouseChild(192, 317, 27, 13,  kDown, KeyThenClick<0x10397, kClickSmall>),  // 29 F6 lower
    MakeMouseChild(231, 317, 27, 14,  kDown, KeyThenClick<0x10398, kClickSmall>),  // 30 F7 lower
    MakeMouseChild(272, 318, 25, 13,  kDown, KeyThenClick<0x10399, kClickSmall>),  // 31 F8 lower
    MakeMouseChild(310, 317, 26, 13,  kDown, KeyThenClick<0x1039A, kClickSmall>),  // 32 F9 lower
    MakeMouseChild( 41, 316, 28, 14,  kDown, KeyThenClick<0x10082, kClickSmall>),  // 33 F2 lower
    MakeMouseChild( 80, 316, 26, 13,  kDown, KeyThenClick<0x10083, kClickSmall>),  // 34 F3 lower
    MakeMouseChild(119, 316, 25, 13,  kDown, KeyThenClick<0x10084, kClickSmall>),  // 35 F4 lower
    MakeMouseChild(155, 316, 27, 13,  kDown, KeyThenClick<0x1039D, kClickSmall>),  // 36 F5 lower
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

}  // namespace radio_display
