#include "view/settings.h"

#include "shape/vane.h"

void TVANE::DefaultViewColors(TVANE_Colors& Colors) {
    Colors.LineColor = RGBColor(255, 255, 255);
    Colors.MarkedLineColor = RGBColor(0, 255, 255);
    Colors.PlainLineColor = RGBColor(0, 0, 0);
    Colors.SpareColor1 = RGBColor(255, 255, 255);
    Colors.SpareColor2 = RGBColor(255, 0, 0);
    Colors.BackgroundColor = RGBColor(128, 128, 128);
    Colors.GridColor = RGBColor(0, 0, 255);
}

// HalfSize is left as it is: the fit sets it before any orthographic view.
void TVANE::DefaultCamera(TVANE_Camera& Camera) {
    Camera.Eye = {600.0, 0.0, 0.0};
    Camera.FieldOfView = 90.0;
    Camera.ViewCentre = {0.0, 0.0, 0.0};
}

// ClearFirst is left as it is: callers choose it themselves.
void TVANE::DefaultViewSettings(TVANE_ViewSettings& Settings) {
    Settings.ViewKind = kViewXY;
    Settings.DrawMode = 0;
    Settings.ColorByMark = true;
    Settings.Reserved = 0;
    Settings.ShowGrid = true;
    Settings.GridSpacing = 10.0;
    TVANE_Camera camera;
    DefaultCamera(camera);
    Settings.Camera = camera;
    Settings.ObjectRotation = {0.0, 0.0, 0.0};
    Settings.ObjectOffset = {0.0, 0.0, 0.0};
}
