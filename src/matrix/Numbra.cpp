// Numbra: dense row-major storage with a separate capacity in each direction,
// so that writing past the shape grows the matrix geometrically and keeps its
// elements where they are.
#include "tervala/Numbra.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string shape(int rows, int cols)
{
    return std::to_string(rows) + " x " + std::to_string(cols);
}

// Largest element count we agree to hold; beyond it the byte count of the
// storage would not fit in a size_t.
constexpr std::size_t kMaxElements = std::numeric_limits<std::size_t>::max() / sizeof(double) / 2;

std::size_t checkedCount(std::size_t rows, std::size_t cols)
{
    if (rows != 0 && cols > kMaxElements / rows)
        throw std::length_error("Numbra: " + std::to_string(rows) + " x " + std::to_string(cols) +
                                " elements cannot be addressed");
    return rows * cols;
}

// Work space for one LU decomposition: the factors of an n x n matrix and
// its row order. Up to 8 x 8 everything stays on the stack, so inverting the
// 3 x 3 rotation matrices of the datum transformations costs no allocation.
// N > 0 fixes the size at compile time (the small matrices the library
// inverts per point or per pass, whose loops the compiler then unrolls);
// N == 0 takes it from the matrix. Both run the same arithmetic in the same
// order, so the size path never changes a result.
template <int N>
class LuWork {
public:
    explicit LuWork(const Numbra& a) : n_(N > 0 ? N : a.Rows())
    {
        const int n = size();
        if (n > kSmall) {
            const std::size_t count = checkedCount(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
            heapLu_.resize(count);
            heapPerm_.resize(static_cast<std::size_t>(n));
            lu_ = heapLu_.data();
            perm_ = heapPerm_.data();
        }
        const double* src = a.Data();
        const std::size_t stride = static_cast<std::size_t>(a.Stride());
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                lu_[static_cast<std::size_t>(i) * n + j] = src[static_cast<std::size_t>(i) * stride + j];
    }

    int size() const { return N > 0 ? N : n_; }

    // Decomposes in place. Returns false when a pivot is exactly zero (a
    // singular matrix) or not a number.
    bool decompose()
    {
        const int n = size();
        for (int i = 0; i < n; ++i)
            perm_[i] = i;
        for (int k = 0; k < n; ++k) {
            int pivotRow = k;
            double best = std::fabs(at(k, k));
            for (int i = k + 1; i < n; ++i) {
                const double candidate = std::fabs(at(i, k));
                if (candidate > best) {
                    best = candidate;
                    pivotRow = i;
                }
            }
            if (!(best > 0.0))
                return false;
            if (pivotRow != k) {
                for (int j = 0; j < n; ++j)
                    std::swap(at(k, j), at(pivotRow, j));
                std::swap(perm_[k], perm_[pivotRow]);
            }
            const double pivot = at(k, k);
            for (int i = k + 1; i < n; ++i) {
                const double factor = at(i, k) / pivot;
                at(i, k) = factor;
                for (int j = k + 1; j < n; ++j)
                    at(i, j) -= factor * at(k, j);
            }
        }
        return true;
    }

    // Solves L U X = P B for the m right-hand columns of B (row-major n x m,
    // row i at b + i * ldb) and writes X into out (same layout). The columns
    // are carried along together so that their divisions overlap.
    void solve(const double* b, int ldb, int m, double* out, int ldo) const
    {
        const int n = size();
        for (int i = 0; i < n; ++i) {
            const double* src = b + static_cast<std::size_t>(perm_[i]) * ldb;
            double* dst = out + static_cast<std::size_t>(i) * ldo;
            for (int c = 0; c < m; ++c)
                dst[c] = src[c];
        }
        substitute(m, out, ldo);
    }

    // The same as solve with B the n x n unit matrix (the inverse), without
    // building the unit matrix first.
    void solveIdentity(double* out, int ldo) const
    {
        const int n = size();
        for (int i = 0; i < n; ++i) {
            double* dst = out + static_cast<std::size_t>(i) * ldo;
            for (int c = 0; c < n; ++c)
                dst[c] = c == perm_[i] ? 1.0 : 0.0;
        }
        substitute(n, out, ldo);
    }

private:
    static constexpr int kSmall = 8;
    double& at(int i, int j) { return lu_[static_cast<std::size_t>(i) * size() + j]; }

    // Forward substitution with the unit lower factor, then back substitution
    // with the upper factor, on the permuted right-hand sides held in out.
    void substitute(int m, double* out, int ldo) const
    {
        const int n = size();
        for (int i = 1; i < n; ++i) {
            double* xi = out + static_cast<std::size_t>(i) * ldo;
            for (int j = 0; j < i; ++j) {
                const double lij = lu_[static_cast<std::size_t>(i) * n + j];
                const double* xj = out + static_cast<std::size_t>(j) * ldo;
                for (int c = 0; c < m; ++c)
                    xi[c] -= lij * xj[c];
            }
        }
        for (int i = n - 1; i >= 0; --i) {
            double* xi = out + static_cast<std::size_t>(i) * ldo;
            for (int j = i + 1; j < n; ++j) {
                const double uij = lu_[static_cast<std::size_t>(i) * n + j];
                const double* xj = out + static_cast<std::size_t>(j) * ldo;
                for (int c = 0; c < m; ++c)
                    xi[c] -= uij * xj[c];
            }
            const double pivot = lu_[static_cast<std::size_t>(i) * n + i];
            for (int c = 0; c < m; ++c)
                xi[c] /= pivot;
        }
    }

    int n_;
    double smallLu_[kSmall * kSmall];
    int smallPerm_[kSmall];
    double* lu_ = smallLu_;
    int* perm_ = smallPerm_;
    std::vector<double> heapLu_;
    std::vector<int> heapPerm_;
};

Numbra filledWithNaN(int rows, int cols)
{
    Numbra m(rows, cols);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j)
            m(i, j) = nan;
    return m;
}

} // namespace

Numbra::Numbra() noexcept : data_(inline_) {}

Numbra::Numbra(int rows, int cols) : data_(inline_)
{
    if (rows < 0 || cols < 0)
        throw std::invalid_argument("Numbra: negative shape " + shape(rows, cols));
    if (rows == 0 || cols == 0) {
        rows_ = rows;
        cols_ = cols;
        return;
    }
    allocate(static_cast<std::size_t>(rows), static_cast<std::size_t>(cols));
    rows_ = rows;
    cols_ = cols;
}

Numbra::Numbra(double value) : data_(inline_)
{
    allocate(1, 1);
    rows_ = cols_ = 1;
    data_[0] = value;
}

Numbra::Numbra(const Numbra& other) : data_(inline_)
{
    copyFrom(other);
}

Numbra::Numbra(Numbra&& other) noexcept : data_(inline_)
{
    moveFrom(other);
}

Numbra& Numbra::operator=(const Numbra& other)
{
    if (this != &other) {
        Numbra copy(other);
        release();
        moveFrom(copy);
    }
    return *this;
}

Numbra& Numbra::operator=(Numbra&& other) noexcept
{
    if (this != &other) {
        release();
        moveFrom(other);
    }
    return *this;
}

Numbra::~Numbra()
{
    release();
}

void Numbra::release() noexcept
{
    if (!isInline())
        delete[] data_;
    data_ = inline_;
    rows_ = cols_ = rowCap_ = stride_ = 0;
}

// Storage for rowCap x stride zeros; the caller sets the shape. Any previous
// storage must already be released.
void Numbra::allocate(std::size_t rowCap, std::size_t stride)
{
    const std::size_t count = checkedCount(rowCap, stride);
    if (rowCap > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        stride > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::length_error("Numbra: capacity beyond the int index range");
    if (count <= static_cast<std::size_t>(kInline)) {
        data_ = inline_;
        std::memset(inline_, 0, sizeof(double) * count);
    } else {
        data_ = new double[count]();
    }
    rowCap_ = static_cast<int>(rowCap);
    stride_ = static_cast<int>(stride);
}

void Numbra::copyFrom(const Numbra& other)
{
    // Exact capacity for the copy: a copied matrix is usually not grown again.
    if (other.rows_ > 0 && other.cols_ > 0) {
        allocate(static_cast<std::size_t>(other.rows_), static_cast<std::size_t>(other.cols_));
        for (int i = 0; i < other.rows_; ++i)
            std::memcpy(data_ + static_cast<std::size_t>(i) * stride_,
                        other.data_ + static_cast<std::size_t>(i) * other.stride_,
                        sizeof(double) * static_cast<std::size_t>(other.cols_));
    }
    rows_ = other.rows_;
    cols_ = other.cols_;
}

void Numbra::moveFrom(Numbra& other) noexcept
{
    if (other.isInline()) {
        // Inline storage cannot be stolen; copy the used rows (capacity and
        // stride stay the same, so the layout is unchanged).
        const std::size_t used = static_cast<std::size_t>(other.rowCap_) * other.stride_;
        std::memcpy(inline_, other.inline_, sizeof(double) * used);
        data_ = inline_;
    } else {
        data_ = other.data_;
    }
    rows_ = other.rows_;
    cols_ = other.cols_;
    rowCap_ = other.rowCap_;
    stride_ = other.stride_;
    other.data_ = other.inline_;
    other.rows_ = other.cols_ = other.rowCap_ = other.stride_ = 0;
}

void Numbra::growTo(int rows, int cols)
{
    if (rows <= rowCap_ && cols <= stride_) {
        // Storage outside the shape is always zero, so the new elements are.
        rows_ = rows > rows_ ? rows : rows_;
        cols_ = cols > cols_ ? cols : cols_;
        return;
    }
    // Double the capacity in the direction that overflows so that element by
    // element filling costs amortised O(1) per element.
    std::size_t newRowCap = static_cast<std::size_t>(rowCap_);
    std::size_t newStride = static_cast<std::size_t>(stride_);
    if (rows > rowCap_)
        newRowCap = std::max<std::size_t>(static_cast<std::size_t>(rows), 2 * static_cast<std::size_t>(rowCap_));
    if (cols > stride_)
        newStride = std::max<std::size_t>(static_cast<std::size_t>(cols), 2 * static_cast<std::size_t>(stride_));
    if (newRowCap > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        newRowCap = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (newStride > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        newStride = static_cast<std::size_t>(std::numeric_limits<int>::max());

    Numbra grown;
    grown.allocate(newRowCap, newStride);
    for (int i = 0; i < rows_; ++i)
        std::memcpy(grown.data_ + static_cast<std::size_t>(i) * grown.stride_,
                    data_ + static_cast<std::size_t>(i) * stride_,
                    sizeof(double) * static_cast<std::size_t>(cols_));
    grown.rows_ = rows > rows_ ? rows : rows_;
    grown.cols_ = cols > cols_ ? cols : cols_;
    release();
    moveFrom(grown);
}

void Numbra::Reserve(int rows, int cols)
{
    if (rows < 0 || cols < 0)
        throw std::invalid_argument("Numbra::Reserve: negative shape " + shape(rows, cols));
    if (rows <= rowCap_ && cols <= stride_)
        return;
    const int keepRows = rows_, keepCols = cols_;
    growTo(rows > rowCap_ ? rows : rowCap_, cols > stride_ ? cols : stride_);
    rows_ = keepRows;
    cols_ = keepCols;
    // growTo only grows the shape; elements beyond the restored shape were
    // never written, so the storage outside it is still zero.
}

double& Numbra::operator()(int row, int col)
{
    if (row < 1 || col < 1)
        throw std::out_of_range("Numbra: element (" + std::to_string(row) + ", " + std::to_string(col) +
                                "): indices start at 1");
    if (row > rows_ || col > cols_)
        growTo(row > rows_ ? row : rows_, col > cols_ ? col : cols_);
    return data_[static_cast<std::size_t>(row - 1) * stride_ + (col - 1)];
}

double& Numbra::operator()(int k)
{
    return (*this)(k, 1);
}

double Numbra::operator()(int row, int col) const
{
    if (row < 1 || col < 1 || row > rows_ || col > cols_)
        throw std::out_of_range("Numbra: element (" + std::to_string(row) + ", " + std::to_string(col) +
                                ") is outside the " + shape(rows_, cols_) + " matrix");
    return data_[static_cast<std::size_t>(row - 1) * stride_ + (col - 1)];
}

double Numbra::operator()(int k) const
{
    return (*this)(k, 1);
}

Numbra Numbra::operator+(const Numbra& other) const
{
    if (rows_ != other.rows_ || cols_ != other.cols_)
        throw std::invalid_argument("Numbra: cannot add " + shape(other.rows_, other.cols_) + " to " +
                                    shape(rows_, cols_));
    Numbra out(rows_, cols_);
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[static_cast<std::size_t>(i) * out.stride_ + j] =
                data_[static_cast<std::size_t>(i) * stride_ + j] + other.data_[static_cast<std::size_t>(i) * other.stride_ + j];
    return out;
}

Numbra Numbra::operator-(const Numbra& other) const
{
    if (rows_ != other.rows_ || cols_ != other.cols_)
        throw std::invalid_argument("Numbra: cannot subtract " + shape(other.rows_, other.cols_) + " from " +
                                    shape(rows_, cols_));
    Numbra out(rows_, cols_);
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[static_cast<std::size_t>(i) * out.stride_ + j] =
                data_[static_cast<std::size_t>(i) * stride_ + j] - other.data_[static_cast<std::size_t>(i) * other.stride_ + j];
    return out;
}

Numbra Numbra::operator*(const Numbra& other) const
{
    if (cols_ != other.rows_)
        throw std::invalid_argument("Numbra: cannot multiply " + shape(rows_, cols_) + " by " +
                                    shape(other.rows_, other.cols_));
    Numbra out(rows_, other.cols_);
    for (int i = 0; i < rows_; ++i) {
        const double* a = data_ + static_cast<std::size_t>(i) * stride_;
        double* o = out.data_ + static_cast<std::size_t>(i) * out.stride_;
        for (int j = 0; j < other.cols_; ++j) {
            double s = 0.0;
            for (int k = 0; k < cols_; ++k)
                s += a[k] * other.data_[static_cast<std::size_t>(k) * other.stride_ + j];
            o[j] = s;
        }
    }
    return out;
}

Numbra Numbra::operator*(double factor) const
{
    Numbra out(rows_, cols_);
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[static_cast<std::size_t>(i) * out.stride_ + j] = data_[static_cast<std::size_t>(i) * stride_ + j] * factor;
    return out;
}

Numbra Numbra::operator~() const
{
    Numbra out(cols_, rows_);
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[static_cast<std::size_t>(j) * out.stride_ + i] = data_[static_cast<std::size_t>(i) * stride_ + j];
    return out;
}

Numbra Numbra::Sub(int r1, int r2, int c1, int c2) const
{
    if (r1 < 1 || c1 < 1 || r2 > rows_ || c2 > cols_ || r2 < r1 - 1 || c2 < c1 - 1)
        throw std::out_of_range("Numbra::Sub: rows " + std::to_string(r1) + ".." + std::to_string(r2) +
                                ", columns " + std::to_string(c1) + ".." + std::to_string(c2) +
                                " do not lie in the " + shape(rows_, cols_) + " matrix");
    Numbra out(r2 - r1 + 1, c2 - c1 + 1);
    for (int i = r1; i <= r2; ++i)
        for (int j = c1; j <= c2; ++j)
            out.data_[static_cast<std::size_t>(i - r1) * out.stride_ + (j - c1)] =
                data_[static_cast<std::size_t>(i - 1) * stride_ + (j - 1)];
    return out;
}

Numbra Zeros(int rows, int cols)
{
    return Numbra(rows, cols);
}

namespace {

template <int N>
Numbra invert(const Numbra& a)
{
    LuWork<N> work(a);
    const int n = work.size();
    if (!work.decompose())
        return filledWithNaN(n, n);
    // The inverse solves A X = I for all columns of I at once.
    Numbra out(n, n);
    work.solveIdentity(out.Data(), out.Stride());
    return out;
}

template <int N>
Numbra solveSystem(const Numbra& a, const Numbra& b)
{
    LuWork<N> work(a);
    const int n = work.size();
    if (!work.decompose())
        return filledWithNaN(n, b.Cols());
    Numbra out(n, b.Cols());
    if (n > 0 && b.Cols() > 0)
        work.solve(b.Data(), b.Stride(), b.Cols(), out.Data(), out.Stride());
    return out;
}

} // namespace

Numbra Inv(const Numbra& a)
{
    if (a.Rows() != a.Cols())
        throw std::invalid_argument("Inv: the matrix is " + shape(a.Rows(), a.Cols()) + ", not square");
    switch (a.Rows()) {
    case 3: return invert<3>(a);
    case 4: return invert<4>(a);
    case 7: return invert<7>(a);
    default: return invert<0>(a);
    }
}

Numbra Slu(const Numbra& a, const Numbra& b)
{
    if (a.Rows() != a.Cols())
        throw std::invalid_argument("Slu: the matrix is " + shape(a.Rows(), a.Cols()) + ", not square");
    if (b.Rows() != a.Rows())
        throw std::invalid_argument("Slu: right-hand side " + shape(b.Rows(), b.Cols()) +
                                    " does not fit the " + shape(a.Rows(), a.Cols()) + " matrix");
    switch (a.Rows()) {
    case 3: return solveSystem<3>(a, b);
    case 4: return solveSystem<4>(a, b);
    case 7: return solveSystem<7>(a, b);
    default: return solveSystem<0>(a, b);
    }
}

double Todouble(const Numbra& m)
{
    if (m.Rows() != 1 || m.Cols() != 1)
        throw std::invalid_argument("Todouble: the matrix is " + shape(m.Rows(), m.Cols()) + ", not 1 x 1");
    return m(1, 1);
}
