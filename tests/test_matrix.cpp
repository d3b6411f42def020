// Numbra: growth, copies, algebra on non-square shapes, blocks, solving and
// misuse.
#include <cmath>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tervala/Numbra.h"

namespace {

using Rows = std::initializer_list<std::initializer_list<double>>;

Numbra fromRows(Rows rows)
{
    Numbra m;
    int i = 0;
    for (const auto& row : rows) {
        int j = 0;
        ++i;
        for (double v : row)
            m(i, ++j) = v;
    }
    return m;
}

void expectMatrix(const Numbra& m, Rows rows)
{
    const Numbra want = fromRows(rows);
    ASSERT_TRUE(m.Rows() == want.Rows() && m.Cols() == want.Cols()) << m.Rows() << " x " << m.Cols();
    for (int i = 1; i <= m.Rows(); ++i)
        for (int j = 1; j <= m.Cols(); ++j)
            EXPECT_DOUBLE_EQ(m(i, j), want(i, j)) << "element (" << i << ", " << j << ")";
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

// Writing past the shape keeps every element already there, in both
// directions, across the switch from inline to heap storage and after a
// Reserve; new elements are zero.
TEST(Numbra, GrowthAndReserveKeepElements)
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
    ASSERT_TRUE(m.Rows() == 20 && m.Cols() == 12);
    double sum = 0;
    for (int i = 1; i <= 20; ++i)
        for (int j = 1; j <= 12; ++j)
            sum += m(i, j);
    EXPECT_TRUE(m(1, 1) == 11 && m(2, 3) == 23 && m(20, 1) == 201 && m(3, 12) == 312 && sum == 11 + 23 + 201 + 312);
    Numbra column;
    for (int k = 1; k <= 100000; ++k)
        column(k) = k;
    ASSERT_TRUE(column.Rows() == 100000 && column.Cols() == 1);
    for (int k = 1; k <= 100000; k += 997)
        ASSERT_EQ(column(k), k);
    Numbra r = fromRows({{1, 2}, {3, 4}});
    r.Reserve(100, 10);
    expectMatrix(r, {{1, 2}, {3, 4}});
    r(5, 5) = 9;
    EXPECT_TRUE(r(1, 2) == 2 && r(2, 1) == 3 && r(4, 4) == 0);
}

TEST(Numbra, CopiesAndMovesAreIndependent)
{
    Numbra big(30, 30);
    big(30, 30) = 7;
    Numbra copy(big);
    copy(30, 30) = 8;
    EXPECT_EQ(big(30, 30), 7);
    Numbra small = fromRows({{1, 2}}), assigned;
    assigned = small;
    assigned(1, 1) = 5;
    EXPECT_EQ(small(1, 1), 1);
    Numbra moved(std::move(copy)), movedSmall;
    EXPECT_EQ(moved(30, 30), 8);
    movedSmall = std::move(assigned);
    Numbra& self = movedSmall;
    movedSmall = self;
    expectMatrix(movedSmall, {{5, 2}});
}

// Products, transposes, sums and inclusive blocks on non-square shapes; the
// operands are left unchanged.
TEST(Numbra, AlgebraAndBlocks)
{
    const Numbra a = fromRows({{1, 2, 3}, {4, 5, 6}}), b = fromRows({{7, 8}, {9, 10}, {11, 12}});
    expectMatrix(a * b, {{58, 64}, {139, 154}});
    expectMatrix(b * a, {{39, 54, 69}, {49, 68, 87}, {59, 82, 105}});
    expectMatrix(~a, {{1, 4}, {2, 5}, {3, 6}});
    expectMatrix(a + a, {{2, 4, 6}, {8, 10, 12}});
    expectMatrix(a - a * 2.0, {{-1, -2, -3}, {-4, -5, -6}});
    const Numbra v = fromRows({{1}, {-2}, {3}});
    EXPECT_EQ(Todouble(~v * v), 14.0);  // a quadratic form read as a double
    expectMatrix(a, {{1, 2, 3}, {4, 5, 6}});

    Numbra g;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 7; ++j)
            g(i, j) = 10 * i + j;
    const Numbra block = g.Sub(4, 6, 1, 7);
    EXPECT_TRUE(block.Rows() == 3 && block.Cols() == 7 && block(1, 1) == 41 && block(3, 7) == 67);
    expectMatrix(g.Sub(7, 9, 2, 2), {{72}, {82}, {92}});
    EXPECT_EQ(g.Sub(3, 2, 1, 7).Rows(), 0);
}

// Random diagonally dominant systems of the sizes the library solves, and
// one large enough for the heap work space: residuals and A A^-1 - I; a zero
// on the diagonal needs pivoting; singular systems give non-finite results.
TEST(Numbra, Solving)
{
    std::mt19937_64 rng(20261205);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {3, 4, 5, 6, 7, 40}) {
        const double tolerance = n > 7 ? 1e-13 : 1e-14;
        for (int trial = 0; trial < (n > 7 ? 1 : 20); ++trial) {
            Numbra a(n, n), b(n, 1);
            for (int i = 1; i <= n; ++i) {
                b(i) = u(rng);
                for (int j = 1; j <= n; ++j)
                    a(i, j) = u(rng) + (i == j ? n : 0);
            }
            const Numbra r = a * Slu(a, b) - b, identity = a * Inv(a);
            for (int i = 1; i <= n; ++i) {
                EXPECT_LT(std::fabs(r(i)), tolerance) << "n = " << n;
                for (int j = 1; j <= n; ++j)
                    EXPECT_NEAR(identity(i, j), i == j ? 1.0 : 0.0, tolerance) << "n = " << n;
            }
        }
    }
    const Numbra p = fromRows({{0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    expectMatrix(Slu(p, fromRows({{1}, {2}, {3}})), {{3}, {1}, {2}});
    expectMatrix(Inv(p), {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}});
    const Numbra singular = fromRows({{1, 2, 3}, {2, 4, 6}, {1, 0, 1}});
    EXPECT_TRUE(anyNonFinite(Inv(singular)) && anyNonFinite(Slu(singular, fromRows({{1}, {2}, {3}}))));
    EXPECT_TRUE(anyNonFinite(Inv(Zeros(4, 4))) && anyNonFinite(Inv(fromRows({{NAN, 1}, {1, 1}}))));
}

TEST(Numbra, MisuseThrowsStandardExceptions)
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
    EXPECT_THROW(Numbra(-1, 2), std::invalid_argument);
    EXPECT_THROW(a(3, 1), std::out_of_range);
    EXPECT_THROW(a(1, 4), std::out_of_range);
    EXPECT_THROW(a(0, 1), std::out_of_range);
    EXPECT_THROW(a.Sub(2, 3, 1, 1), std::out_of_range);
    EXPECT_THROW(a.Sub(2, 0, 1, 1), std::out_of_range);
    Numbra growing;
    EXPECT_THROW(growing(0, 1), std::out_of_range);
    EXPECT_THROW(growing(1, -3), std::out_of_range);
    EXPECT_EQ(growing.Rows(), 0);
}
