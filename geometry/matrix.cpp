#include "geometry/matrix.h"

#include <cmath>


namespace {

// The identity with the four rotation elements of the plane (i, j) replaced.
// The sign pattern puts -sin in S[i][j], which for row vectors turns the
// i axis towards the negative j axis for a positive angle.
TVANE_Matrix RotationStep(int i, int j, double degrees) {
    // The radian value is rounded to a double before its sine and cosine.
    const double radians = static_cast<double>(degrees * kRadiansPerDegree);
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    TVANE_Matrix step = MatrixIdentity();
    step[i][i] = c;
    step[i][j] = -s;
    step[j][i] = s;
    step[j][j] = c;
    return step;
}

TVANE_Matrix TranslationStep(int column, double distance) {
    TVANE_Matrix step = MatrixIdentity();
    step[3][column] = distance;
    return step;
}

}  // namespace

TVANE_Matrix MatrixIdentity() {
    TVANE_Matrix identity{};
    for (int i = 0; i < 4; ++i) identity[i][i] = 1.0;
    return identity;
}

TVANE_Matrix MatrixMultiply(TVANE_Matrix A, TVANE_Matrix B) {
    TVANE_Matrix product{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum = static_cast<double>(sum + static_cast<Extended>(A[i][k]) * B[k][j]);
            product[i][j] = sum;
        }
    }
    return product;
}

TVANE_Matrix MatrixRotateX(TVANE_Matrix M, double Degrees) {
    return MatrixMultiply(RotationStep(1, 2, Degrees), M);
}

TVANE_Matrix MatrixRotateY(TVANE_Matrix M, double Degrees) {
    // About Y the pattern runs the other way round: -sin sits in S[2][0].
    return MatrixMultiply(RotationStep(2, 0, Degrees), M);
}

TVANE_Matrix MatrixRotateZ(TVANE_Matrix M, double Degrees) {
    return MatrixMultiply(RotationStep(0, 1, Degrees), M);
}

TVANE_Matrix MatrixTranslateX(TVANE_Matrix M, double Distance) {
    return MatrixMultiply(TranslationStep(0, Distance), M);
}

TVANE_Matrix MatrixTranslateY(TVANE_Matrix M, double Distance) {
    return MatrixMultiply(TranslationStep(1, Distance), M);
}

TVANE_Matrix MatrixTranslateZ(TVANE_Matrix M, double Distance) {
    return MatrixMultiply(TranslationStep(2, Distance), M);
}

TVANE_Point3 TransformPoint(TVANE_Point3 P, TVANE_Matrix M) {
    // Terms added left to right in extended precision, then rounded once.
    const auto column = [&](int j) {
        return static_cast<double>(static_cast<Extended>(P.X) * M[0][j] +
                                   static_cast<Extended>(P.Y) * M[1][j] +
                                   static_cast<Extended>(P.Z) * M[2][j] + M[3][j]);
    };
    const double x = column(0);
    const double y = column(1);
    const double z = column(2);
    const double w = column(3);
    if (w == 0.0) return TVANE_Point3{x, y, z};
    return TVANE_Point3{x / w, y / w, z / w};
}

Extended DegToRad(Extended Degrees) {
    return Degrees * kRadiansPerDegree;
}

Extended RadToDeg(Extended Radians) {
    return Radians * kDegreesPerRadian;
}

Extended ArcCos(Extended X) {
    // 1 - X^2 may come out a hair below zero when X is a rounding step past 1.
    const Extended sine_squared = 1.0L - X * X;
    return std::atan2(std::sqrt(sine_squared > 0.0L ? sine_squared : 0.0L), X);
}
