#pragma once
#include "shape/records.h"

struct TVANE_Point3;

// A 4x4 homogeneous transformation of doubles, Element[row][column], stored
// row after row. Points are row vectors: (x, y, z, 1) x M, so the translation
// lives in row 3 and column 3 of every matrix built here stays (0, 0, 0, 1).
// A plain value: every operation takes copies and returns a new matrix, so a
// result may be stored back into one of its inputs.
struct TVANE_Matrix {
    double Element[4][4];

    double* operator[](int Row) { return Element[Row]; }
    const double* operator[](int Row) const { return Element[Row]; }
};

// 1.0 on the diagonal, 0.0 elsewhere.
TVANE_Matrix MatrixIdentity();
// A x B, A the left factor. Each element is summed over k = 0..3 in extended
// precision, the running sum rounded to a double after every term.
TVANE_Matrix MatrixMultiply(TVANE_Matrix A, TVANE_Matrix B);

// The builders return S x M for an elementary step S. A point meets S before
// anything M already does, so in a chain of builder calls started from the
// identity the last call acts first.
//
// Rotations: Degrees turn a point clockwise as seen from the positive end of
// the axis: about X +Y goes towards -Z, about Y +X towards +Z, about Z +X
// towards -Y.
TVANE_Matrix MatrixRotateX(TVANE_Matrix M, double Degrees);
TVANE_Matrix MatrixRotateY(TVANE_Matrix M, double Degrees);
TVANE_Matrix MatrixRotateZ(TVANE_Matrix M, double Degrees);
// Translations: add Distance to one coordinate of the point.
TVANE_Matrix MatrixTranslateX(TVANE_Matrix M, double Distance);
TVANE_Matrix MatrixTranslateY(TVANE_Matrix M, double Distance);
TVANE_Matrix MatrixTranslateZ(TVANE_Matrix M, double Distance);

// (P.X, P.Y, P.Z, 1) x M divided by its fourth component W. The matrices built
// here always give W = 1. A W of exactly 0 (a point at infinity, only possible
// for a matrix made by hand) comes back undivided, as the direction (X, Y, Z),
// so no infinity or NaN is handed on.
TVANE_Point3 TransformPoint(TVANE_Point3 P, TVANE_Matrix M);

// Angles. The builders and records give degrees; the camera works in radians.
// Tangent, sine and cosine are the standard library's on Extended.
inline constexpr Extended kRadiansPerDegree = 0.017453292519943295769L;  // pi / 180
inline constexpr Extended kDegreesPerRadian = 57.29577951308232087665L;  // 180 / pi

Extended DegToRad(Extended Degrees);
Extended RadToDeg(Extended Radians);
// The angle in [0, pi] whose cosine is X, for X in [-1, 1], taken as the
// two-argument arc tangent of (sqrt(1 - X^2), X). An X a rounding step beyond
// +-1 counts as +-1 instead of giving NaN.
Extended ArcCos(Extended X);
