// Numbra: growth, algebra on non-square shapes, blocks, solving and misuse.
#include <cmath>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tervala/Numbra.h"

namespace {

Numbra fromRows(std::initializer_list<std::initializer_list<double>> rows)
{
    Numbra m;
    int i = 0;
    for (const auto& row : rows) {
        ++i;
        int j = 0;
        for (double v : row)
            m(i, ++j) = v;
    }
    return m;
}

void expectMatrix(const Numbra& m, std::initializer_list<std::initializer_list<double>> rows)
{
    ASSERT_EQ(m.Rows(), static_cast<int>(rows.size()));
    int i = 0;
    for (const auto& row : rows) {
        ++i;
        ASSERT_EQ(m.Cols(), static_cast<int>(row.size()));
        int j = 0;
        for (double v : row) {
            ++j;
            EXPECT_DOUBLE_EQ(m(i, j), v) << "element (" << i << ", " << j << ")";
        }
    }
}

Numbra randomMatrix(std::mt19937_64& rng, int rows, int cols)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Numbra m(rows, cols);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j)
            m(i, j) = u(rng);
    return m;
}

bool anyNonFinite(const Numbra& m)
{
    for (int i = 1; i <= m.Rows(); ++i)
        for (int j = 1; j <= m.Cols(); ++j)
            if (!std::isfinite(m(i, j)))
                return true;
    return false;
}

} // namespace

// The constructors give their shapes. Writing past the shape must keep every
// element already there, in both directions, across the switch from inline
// to heap storage.
TEST(NumbraShape, GrowthKeepsElementsAndZeroFillsTheRest)
{
    expectMatrix(Numbra(3, 2), {{0, 0}, {0, 0}, {0, 0}});
    expectMatrix(Zeros(1, 3), {{0, 0, 0}});
    EXPECT_EQ(Todouble(Numbra(2.5)), 2.5);
    Numbra m;
    EXPECT_EQ(m.Rows() + m.Cols(), 0);
    m(1, 1) = 11;
    m(2, 3) = 23;
    expectMatrix(m, {{11, 0, 0}, {0, 0, 23}});
    m(20, 1) = 201;  // rows beyond the inline capacity
    m(3, 12) = 312;  // and columns
    ASSERT_EQ(m.Rows(), 20);
    ASSERT_EQ(m.Cols(), 12);
    double sum = 0;
    for (int i = 1; i <= 20; ++i)
        for (int j = 1; j <= 12; ++j)
            sum += m(i, j);
    EXPECT_TRUE(m(1, 1) == 11 && m(2, 3) == 23 && m(20, 1) == 201 && m(3, 12) == 312);
    EXPECT_EQ(sum, 11 + 23 + 201 + 312);

    Numbra column;
    for (int k = 1; k <= 100000; ++k)
        column(k) = k;
    EXPECT_EQ(column.Rows(), 100000);
    EXPECT_EQ(column.Cols(), 1);
    for (int k = 1; k <= 100000; k += 997)
        ASSERT_EQ(column(k), k);
}

TEST(NumbraShape, ReserveKeepsShapeAndElements)
{
    Numbra m = fromRows({{1, 2}, {3, 4}});
    m.Reserve(100, 10);
    expectMatrix(m, {{1, 2}, {3, 4}});
    m(5, 5) = 9;
    EXPECT_EQ(m(1, 2), 2);
    EXPECT_EQ(m(4, 4), 0);
}

TEST(NumbraValues, CopiesAndMovesAreIndependent)
{
    Numbra big(30, 30);
    big(30, 30) = 7;
    Numbra copy(big);
    copy(30, 30) = 8;
    EXPECT_EQ(big(30, 30), 7);
    Numbra small = fromRows({{1, 2}});
    Numbra assigned;
    assigned = small;
    assigned(1, 1) = 5;
    EXPECT_EQ(small(1, 1), 1);
    Numbra moved(std::move(copy));
    EXPECT_EQ(moved(30, 30), 8);
    Numbra movedSmall;
    movedSmall = std::move(assigned);
    expectMatrix(movedSmall, {{5, 2}});
    Numbra& self = movedSmall;
    movedSmall = self;
    expectMatrix(movedSmall, {{5, 2}});
}

TEST(NumbraAlgebra, ProductsTransposesAndSumsOnNonSquareShapes)
{
    const Numbra a = fromRows({{1, 2, 3}, {4, 5, 6}});   // 2 x 3
    const Numbra b = fromRows({{7, 8}, {9, 10}, {11, 12}});  // 3 x 2
    expectMatrix(a * b, {{58, 64}, {139, 154}});
    expectMatrix(b * a, {{39, 54, 69}, {49, 68, 87}, {59, 82, 105}});
    expectMatrix(~a, {{1, 4}, {2, 5}, {3, 6}});
    expectMatrix(a + a, {{2, 4, 6}, {8, 10, 12}});
    expectMatrix(a - a * 2.0, {{-1, -2, -3}, {-4, -5, -6}});
    // A quadratic form read as a double, the way the estimators use it.
    const Numbra v = fromRows({{1}, {-2}, {3}});
    EXPECT_EQ(Todouble(~v * v), 14.0);
    // Operands are left unchanged.
    expectMatrix(a, {{1, 2, 3}, {4, 5, 6}});
}

TEST(NumbraAlgebra, SubTakesInclusiveBlocks)
{
    Numbra a;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 7; ++j)
            a(i, j) = 10 * i + j;
    const Numbra block = a.Sub(4, 6, 1, 7);
    ASSERT_EQ(block.Rows(), 3);
    ASSERT_EQ(block.Cols(), 7);
    EXPECT_EQ(block(1, 1), 41);
    EXPECT_EQ(block(3, 7), 67);
    const Numbra column = a.Sub(7, 9, 2, 2);
    expectMatrix(column, {{72}, {82}, {92}});
    EXPECT_EQ(a.Sub(3, 2, 1, 7).Rows(), 0);
}

// Random well-conditioned systems of the sizes the library solves, and one
// large enough for the heap work space.
TEST(NumbraSolve, InvAndSluSolveRandomSystems)
{
    std::mt19937_64 rng(20261205);
    for (int n : {3, 4, 5, 6, 7, 40}) {
        const double tolerance = n > 7 ? 1e-13 : 1e-14;
        for (int trial = 0; trial < (n > 7 ? 1 : 20); ++trial) {
            Numbra a = randomMatrix(rng, n, n);
            for (int i = 1; i <= n; ++i)
                a(i, i) += n;  // diagonally dominant: well conditioned
            const Numbra b = randomMatrix(rng, n, 1);
            const Numbra r = a * Slu(a, b) - b;
            const Numbra identity = a * Inv(a);
            for (int i = 1; i <= n; ++i) {
                EXPECT_LT(std::fabs(r(i)), tolerance) << "n = " << n;
                for (int j = 1; j <= n; ++j)
                    EXPECT_NEAR(identity(i, j), i == j ? 1.0 : 0.0, tolerance) << "n = " << n;
            }
        }
    }
}

// Partial pivoting: a zero on the diagonal must not stop the solve.
TEST(NumbraSolve, PivotingHandlesZeroDiagonal)
{
    const Numbra a = fromRows({{0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    expectMatrix(Slu(a, fromRows({{1}, {2}, {3}})), {{3}, {1}, {2}});
    expectMatrix(Inv(a), {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}});
}

TEST(NumbraSolve, SingularMatricesGiveNonFiniteResults)
{
    const Numbra singular = fromRows({{1, 2, 3}, {2, 4, 6}, {1, 0, 1}});
    EXPECT_TRUE(anyNonFinite(Inv(singular)));
    EXPECT_TRUE(anyNonFinite(Slu(singular, fromRows({{1}, {2}, {3}}))));
    EXPECT_TRUE(anyNonFinite(Inv(Zeros(4, 4))));
    const Numbra withNaN = fromRows({{NAN, 1}, {1, 1}});
    EXPECT_TRUE(anyNonFinite(Inv(withNaN)));
}

TEST(NumbraMisuse, ThrowsStandardExceptions)
{
    const Numbra a = fromRows({{1, 2, 3}, {4, 5, 6}});
    EXPECT_THROW(a + ~a, std::invalid_argument);
    EXPECT_THROW(a - ~a, std::invalid_argument);
    EXPECT_THROW(a * a, std::invalid_argument);
    EXPECT_THROW(Inv(a), std::invalid_argument);
    EXPECT_THROW(Slu(a, a), std::invalid_argument);
    EXPECT_THROW(Slu(Zeros(3, 3), Zeros(2, 1)), std::invalid_argument);
    EXPECT_THROW(Todouble(a), std::invalid_argument);
    EXPECT_THROW(Todouble(Numbra()), std::invalid_argument);
    EXPECT_THROW(a(3, 1), std::out_of_range);
    EXPECT_THROW(a(1, 4), std::out_of_range);
    EXPECT_THROW(a(0, 1), std::out_of_range);
    EXPECT_THROW(a.Sub(2, 3, 1, 1), std::out_of_range);
    EXPECT_THROW(a.Sub(2, 0, 1, 1), std::out_of_range);
    EXPECT_THROW(Numbra(-1, 2), std::invalid_argument);
    Numbra growing;
    EXPECT_THROW(growing(0, 1), std::out_of_range);
    EXPECT_THROW(growing(1, -3), std::out_of_range);
    EXPECT_EQ(growing.Rows(), 0);
    try {
        (void)(a * a);
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("2 x 3"), std::string::npos) << e.what();
    }
}
