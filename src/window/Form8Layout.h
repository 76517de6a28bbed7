// Form8's layout as data: every window implementation (Qt on Linux, Win32 on Windows)
// renders this table and takes no geometry from anywhere else.
//
// Positions and sizes are twips from the top-left corner of the client area
// (15 twips = 1 pixel at 96 dots per inch); colours are red, green, blue.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "texts/Texts.h"

namespace gridmoor::layout {

inline constexpr int kTwipsPerPixelAt96Dpi = 15;

struct Rgb {
    std::uint8_t red, green, blue;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

struct Font {
    std::string_view family;
    double points;
    int weight;          // 400 regular
    bool gb2312Charset;  // Simplified Chinese character set
};

enum class ControlKind { PushButton, Label, TextBox };

struct Control {
    std::string_view name;  // designer name: "Command4", "Text1", ...
    ControlKind kind;
    std::string_view text;         // text at creation
    int left, top, width, height;  // twips
    int tabIndex;
    std::optional<Font> font;       // empty: the window's default font
    std::optional<Rgb> background;  // empty: the toolkit's colour for this kind
};

struct Form {
    std::string_view caption;
    int clientWidth, clientHeight;  // twips
    int screenLeft, screenTop;      // twips, of the client area's top-left corner
    Rgb background;
};

inline constexpr Rgb kFormColour{192, 192, 255};
inline constexpr Rgb kStatusColour{255, 192, 255};
inline constexpr Font kChineseFont{texts::kFontName, 10.5, 400, true};

inline constexpr Form kForm8{texts::kCaption, 6435, 3225, 9165, 4995, kFormColour};

// In creation order.
inline constexpr std::array<Control, 7> kControls{{
    {"Command4", ControlKind::PushButton, texts::kCommand4, 3600, 2520, 1455, 495, 6, {}, {}},
    {"Command3", ControlKind::PushButton, texts::kCommand3, 1440, 2520, 1575, 495, 5, {}, {}},
    {"Text1", ControlKind::TextBox, "Text1", 1680, 1680, 2415, 570, 4, kChineseFont, {}},
    {"Command2", ControlKind::PushButton, texts::kCommand2, 4320, 120, 855, 615, 2, {}, {}},
    {"Label3", ControlKind::Label, texts::kLabel3, 120, 1200, 6135, 375, 3, kChineseFont,
     kFormColour},
    {"Label2", ControlKind::Label, "Label2", 120, 600, 4095, 255, 1, {}, kStatusColour},
    {"Label1", ControlKind::Label, "Label1", 120, 120, 4095, 375, 0, {}, kStatusColour},
}};

// Twips to pixels at the given dots per inch, rounded to the nearest pixel.
constexpr int toPixels(int twips, int dpi = 96) {
    return (twips * dpi + 720) / 1440;
}

}  // namespace gridmoor::layout
