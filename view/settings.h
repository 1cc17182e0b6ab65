#pragma once
#include <cstdint>

#include "shape/records.h"

// The records that steer a wireframe view. Plain values without pointers: the
// caller owns them, drawing routines take them by reference and work on copies.

// Camera, centre and size of a view.
struct TVANE_Camera {
    TVANE_Point3 Eye;          // camera position of the perspective view
    Extended FieldOfView = 0;  // degrees, across the bitmap's width (perspective view)
    Extended HalfSize = 0;     // world units mapped onto the larger half of the bitmap
                               // (orthographic views); below 1e-5 in magnitude draws nothing
    TVANE_Point3 ViewCentre;   // world point drawn at the bitmap's centre pixel
};

// View kinds, as stored in TVANE_ViewSettings::ViewKind. Kinds 3, 4, 5, 7 and
// 8..255 draw nothing.
enum : std::uint8_t {
    kViewXY = 0,           // X to the right, Y up
    kViewYZ = 1,           // Y to the right, Z up
    kViewZX = 2,           // X to the right, Z up
    kViewPerspective = 6,  // pinhole camera at Camera.Eye
};

// Which view to draw and how.
struct TVANE_ViewSettings {
    std::uint8_t ViewKind = kViewXY;
    std::uint8_t DrawMode = 0;   // 0, 1, 3 and 5 draw; any other value only clears
    bool ColorByMark = false;    // true: pen by the polygon's Marked flag; false: PlainLineColor
    std::uint8_t Reserved = 0;   // read by nothing
    TVANE_Camera Camera;
    bool ClearFirst = false;     // fill the bitmap with BackgroundColor before drawing
    bool ShowGrid = false;       // orthographic views: grid beneath the shape
    Extended GridSpacing = 0;    // world distance between grid lines; not positive: no grid
    TVANE_Point3 ObjectRotation; // degrees about X, Y, Z (perspective view)
    TVANE_Point3 ObjectOffset;   // translation along X, Y, Z (perspective view)
};

// A colour value: red in the lowest byte, then green, then blue; the highest
// byte is zero.
using TVANE_Color = std::uint32_t;

constexpr TVANE_Color RGBColor(std::uint8_t Red, std::uint8_t Green, std::uint8_t Blue) {
    return TVANE_Color{Red} | (TVANE_Color{Green} << 8) | (TVANE_Color{Blue} << 16);
}

// The seven colours of a view.
struct TVANE_Colors {
    TVANE_Color LineColor = 0;        // unmarked polygon while ColorByMark is true
    TVANE_Color MarkedLineColor = 0;  // marked polygon while ColorByMark is true
    TVANE_Color PlainLineColor = 0;   // every polygon while ColorByMark is false
    TVANE_Color SpareColor1 = 0;      // read by no drawing
    TVANE_Color SpareColor2 = 0;      // read by no drawing
    TVANE_Color BackgroundColor = 0;  // brush that clears the bitmap
    TVANE_Color GridColor = 0;        // pen of the orthographic grid
};

// Pen of a polygon's edges in every view: chosen by the polygon's Marked flag
// while ColorByMark is true, PlainLineColor otherwise.
inline TVANE_Color PolygonLineColor(std::uint8_t Marked, const TVANE_ViewSettings& Settings,
                                    const TVANE_Colors& Colors) {
    if (!Settings.ColorByMark) return Colors.PlainLineColor;
    return Marked != 0 ? Colors.MarkedLineColor : Colors.LineColor;
}
