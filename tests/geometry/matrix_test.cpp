#include "geometry/matrix.h"

#include <gtest/gtest.h>

#include <cmath>

#include "view/settings.h"

namespace {

constexpr Extended kPi = 3.14159265358979323846L;
using Builder = TVANE_Matrix (*)(TVANE_Matrix, double);

// Sixteen different elements.
TVANE_Matrix Numbered() {
    TVANE_Matrix m{};
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = 1.0 + i;
    return m;
}

void ExpectMatrixNear(const TVANE_Matrix& actual, const TVANE_Matrix& expected, double tolerance) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i / 4][i % 4], expected[i / 4][i % 4], tolerance) << "element " << i;
}

void ExpectPointNear(TVANE_Point3 actual, TVANE_Point3 expected) {
    EXPECT_NEAR(actual.X, expected.X, 1e-12);
    EXPECT_NEAR(actual.Y, expected.Y, 1e-12);
    EXPECT_NEAR(actual.Z, expected.Z, 1e-12);
}

}  // namespace

TEST(MatrixMultiply, LeftFactorFirstAndResultMayOverwriteEitherOperand) {
    // Two shears that do not commute.
    TVANE_Matrix a = MatrixIdentity(), b = MatrixIdentity();
    a[0][1] = 2.0;
    b[1][0] = 3.0;
    EXPECT_EQ(MatrixMultiply(a, b)[0][0], 7.0);
    EXPECT_EQ(MatrixMultiply(b, a)[1][1], 7.0);

    ExpectMatrixNear(MatrixMultiply(MatrixIdentity(), Numbered()), Numbered(), 0.0);
    ExpectMatrixNear(MatrixMultiply(Numbered(), MatrixIdentity()), Numbered(), 0.0);

    const TVANE_Matrix turn = MatrixRotateY(MatrixTranslateX(MatrixIdentity(), 4.0), 30.0);
    const TVANE_Matrix elsewhere = MatrixMultiply(Numbered(), turn);
    TVANE_Matrix left = Numbered(), right = turn;
    left = MatrixMultiply(left, turn);
    right = MatrixMultiply(Numbered(), right);
    ExpectMatrixNear(left, elsewhere, 0.0);
    ExpectMatrixNear(right, elsewhere, 0.0);
}

TEST(MatrixBuilders, StepsTurnClockwiseAndMoveAlongOneAxis) {
    const struct {
        Builder builder;
        double amount;
        TVANE_Point3 from, to;
    } cases[] = {
        {MatrixRotateZ, 90, {1, 0, 0}, {0, -1, 0}},  {MatrixRotateZ, 90, {0, 1, 0}, {1, 0, 0}},
        {MatrixRotateX, 90, {0, 1, 0}, {0, 0, -1}},  {MatrixRotateX, 90, {2, 0, 0}, {2, 0, 0}},
        {MatrixRotateY, 90, {1, 0, 0}, {0, 0, 1}},   {MatrixRotateY, 90, {0, 0, 1}, {-1, 0, 0}},
        {MatrixTranslateX, 5, {1, 2, 3}, {6, 2, 3}}, {MatrixTranslateY, -5, {1, 2, 3}, {1, -3, 3}},
        {MatrixTranslateZ, 0.5, {1, 2, 3}, {1, 2, 3.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        ExpectPointNear(TransformPoint(c.from, c.builder(MatrixIdentity(), c.amount)), c.to);
    }
    // The radian value is rounded to a double first: cos of the double nearest
    // pi / 2, not of the extended value (about -2.5e-20).
    EXPECT_DOUBLE_EQ(MatrixRotateZ(MatrixIdentity(), 90.0)[0][0], 6.123233995736766e-17);
    EXPECT_DOUBLE_EQ(MatrixRotateX(MatrixIdentity(), 30.0)[1][2], -0.49999999999999994);
}

TEST(MatrixBuilders, LastCallActsFirst) {
    // Moved to (6, 0, 0) first, then turned to (0, -6, 0).
    ExpectPointNear(TransformPoint({1, 0, 0}, MatrixTranslateX(MatrixRotateZ(MatrixIdentity(), 90), 5)),
                    {0, -6, 0});
    // Turned to (0, -1, 0) first, then moved to (5, -1, 0).
    ExpectPointNear(TransformPoint({1, 0, 0}, MatrixRotateZ(MatrixTranslateX(MatrixIdentity(), 5), 90)),
                    {5, -1, 0});
}

TEST(MatrixBuilders, FullTurnIsTheIdentityAndNoTurnKeepsTheMatrix) {
    for (Builder rotate : {MatrixRotateX, MatrixRotateY, MatrixRotateZ}) {
        ExpectMatrixNear(rotate(MatrixIdentity(), 360.0), MatrixIdentity(), 1e-15);
        ExpectMatrixNear(rotate(Numbered(), 0.0), Numbered(), 0.0);
    }
}

TEST(TransformPoint, DividesByTheFourthComponentUnlessItIsZero) {
    const TVANE_Point3 same = TransformPoint({1.5, -2, 1e6}, MatrixIdentity());
    EXPECT_EQ(same.X, 1.5);
    EXPECT_EQ(same.Y, -2);
    EXPECT_EQ(same.Z, 1e6);

    TVANE_Matrix by_x = MatrixIdentity();  // W = x
    by_x[0][3] = 1.0;
    by_x[3][3] = 0.0;
    ExpectPointNear(TransformPoint({4, 6, -8}, by_x), {1, 1.5, -2});
    // W = 0: the direction comes back undivided, no infinity.
    ExpectPointNear(TransformPoint({0, 6, -8}, by_x), {0, 6, -8});
}

TEST(Angles, ConversionsAndArcCosine) {
    EXPECT_NEAR(static_cast<double>(DegToRad(180.0L)), static_cast<double>(kPi), 1e-15);
    EXPECT_NEAR(static_cast<double>(RadToDeg(kPi / 2)), 90.0, 1e-13);
    EXPECT_EQ(ArcCos(1.0L), 0.0L);
    EXPECT_NEAR(static_cast<double>(ArcCos(-1.0L)), static_cast<double>(kPi), 1e-15);
    EXPECT_NEAR(static_cast<double>(ArcCos(0.5L)), static_cast<double>(kPi / 3), 1e-15);
    // A rounding step beyond the range counts as its end, not NaN.
    EXPECT_EQ(ArcCos(std::nextafter(1.0L, 2.0L)), 0.0L);
}
