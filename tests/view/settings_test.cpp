#include "view/settings.h"

#include <gtest/gtest.h>

#include "shape/vane.h"

TEST(DefaultViewColors, WritesTheSevenColoursRedInTheLowestByte) {
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    EXPECT_EQ(colors.LineColor, 0xFFFFFFu);
    EXPECT_EQ(colors.MarkedLineColor, 0xFFFF00u);
    EXPECT_EQ(colors.PlainLineColor, 0x000000u);
    EXPECT_EQ(colors.SpareColor1, 0xFFFFFFu);
    EXPECT_EQ(colors.SpareColor2, 0x0000FFu);
    EXPECT_EQ(colors.BackgroundColor, 0x808080u);
    EXPECT_EQ(colors.GridColor, 0xFF0000u);
}

TEST(DefaultCamera, LeavesHalfSizeAsItWas) {
    TVANE_Camera camera;
    camera.Eye = {1, 2, 3};
    camera.FieldOfView = 10;
    camera.HalfSize = 7;
    camera.ViewCentre = {4, 5, 6};
    VANE->DefaultCamera(camera);
    EXPECT_EQ(camera.Eye.X, 600.0);
    EXPECT_EQ(camera.Eye.Y, 0.0);
    EXPECT_EQ(camera.Eye.Z, 0.0);
    EXPECT_EQ(camera.FieldOfView, 90.0L);
    EXPECT_EQ(camera.HalfSize, 7.0L);
    EXPECT_EQ(camera.ViewCentre.X, 0.0);
    EXPECT_EQ(camera.ViewCentre.Y, 0.0);
    EXPECT_EQ(camera.ViewCentre.Z, 0.0);
}

TEST(DefaultViewSettings, LeavesClearFirstAndCopiesAFreshCamera) {
    TVANE_ViewSettings settings;
    settings.ViewKind = 9;
    settings.DrawMode = 4;
    settings.Reserved = 3;
    settings.ClearFirst = true;
    settings.Camera.HalfSize = 7;
    settings.Camera.ViewCentre = {4, 5, 6};
    settings.ObjectRotation = {1, 1, 1};
    settings.ObjectOffset = {2, 2, 2};
    VANE->DefaultViewSettings(settings);
    EXPECT_EQ(settings.ViewKind, 0);
    EXPECT_EQ(settings.DrawMode, 0);
    EXPECT_TRUE(settings.ColorByMark);
    EXPECT_EQ(settings.Reserved, 0);
    EXPECT_TRUE(settings.ClearFirst);
    EXPECT_TRUE(settings.ShowGrid);
    EXPECT_EQ(settings.GridSpacing, 10.0L);
    EXPECT_EQ(settings.Camera.Eye.X, 600.0);
    EXPECT_EQ(settings.Camera.FieldOfView, 90.0L);
    EXPECT_EQ(settings.Camera.HalfSize, 0.0L);  // the fresh camera's
    EXPECT_EQ(settings.Camera.ViewCentre.Z, 0.0);
    EXPECT_EQ(settings.ObjectRotation.X, 0.0);
    EXPECT_EQ(settings.ObjectOffset.Z, 0.0);
}
