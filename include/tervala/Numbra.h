// Numbra: a dense matrix of doubles with 1-based indices and value semantics.
//
// Numbra is the matrix type of Tervala's companion library. Tervala keeps
// members of this type (residual columns, spherical-harmonic coefficients) and
// does its least-squares algebra with it.
//
// Indices are 1-based, row before column. Matrices are values: copies never
// share elements, and a matrix assigned from a temporary keeps its elements
// after the temporary is gone.
//
// Growth: writing an element beyond the current shape through the non-const
// operator() enlarges the matrix to take it, keeping every element already
// there and filling the new ones with zeros. The shape becomes (largest row
// written) x (largest column written). Capacity grows geometrically in the
// direction written, so filling a column of n rows element by element costs
// O(n) in total. Matrices of up to 64 elements of capacity (every matrix up
// to 8 x 8) live inside the object and never touch the heap.
//
// Errors: misuse throws a standard exception with a message naming the
// operation and the shapes involved:
//   - std::out_of_range     an index below 1; const access outside the shape;
//                           Sub with a range outside the shape;
//   - std::invalid_argument operands whose shapes do not fit (+, -, *, Slu),
//                           a non-square matrix given to Inv or Slu, a
//                           negative shape, Todouble of a matrix that is not
//                           1 x 1;
//   - std::length_error     a shape whose element count does not fit in memory
//                           addressing (also reported for absurd growth).
// A singular matrix is not misuse: Inv and Slu report it in their result (see
// there) and never throw for it.
#ifndef TERVALA_NUMBRA_H
#define TERVALA_NUMBRA_H

#include <cstddef>

#if defined(_WIN32)
#  if defined(NUMBRA_BUILDING_LIBRARY)
#    define NUMBRA_API __declspec(dllexport)
#  else
#    define NUMBRA_API __declspec(dllimport)
#  endif
#else
#  define NUMBRA_API __attribute__((visibility("default")))
#endif

class NUMBRA_API Numbra {
public:
    // An empty (0 x 0) matrix, to be assigned or filled element by element.
    Numbra() noexcept;
    // A rows x cols matrix of zeros. Throws std::invalid_argument for a
    // negative count and std::length_error for an unaddressable size.
    Numbra(int rows, int cols);
    // A 1 x 1 matrix holding value.
    explicit Numbra(double value);

    Numbra(const Numbra& other);
    Numbra(Numbra&& other) noexcept;
    Numbra& operator=(const Numbra& other);
    Numbra& operator=(Numbra&& other) noexcept;
    ~Numbra();

    // Element (row, col), read and written in place. Enlarges the matrix when
    // (row, col) lies beyond the shape (see Growth above). Throws
    // std::out_of_range when row or col is below 1.
    double& operator()(int row, int col);
    // Element (k, 1): the k-th element of a column vector. Grows like
    // operator()(k, 1).
    double& operator()(int k);
    // Const element access; throws std::out_of_range outside the shape.
    double operator()(int row, int col) const;
    double operator()(int k) const;

    int Rows() const noexcept { return rows_; }
    int Cols() const noexcept { return cols_; }
    bool Empty() const noexcept { return rows_ == 0 || cols_ == 0; }

    // Raw storage for hot loops: element (r, c) lives at
    // Data()[(r - 1) * Stride() + (c - 1)]. Valid until the next operation
    // that enlarges, assigns or destroys the matrix.
    double* Data() noexcept { return data_; }
    const double* Data() const noexcept { return data_; }
    int Stride() const noexcept { return stride_; }

    // Makes room for rows x cols elements without changing the shape, so a
    // matrix filled element by element afterwards never reallocates.
    void Reserve(int rows, int cols);

    // Element-wise sum and difference of two matrices of the same shape.
    Numbra operator+(const Numbra& other) const;
    Numbra operator-(const Numbra& other) const;
    // Matrix product: (r x k)(k x c) gives r x c. Each element is the sum of
    // its k products taken in increasing k.
    Numbra operator*(const Numbra& other) const;
    // Every element multiplied by factor.
    Numbra operator*(double factor) const;
    // Transpose.
    Numbra operator~() const;
    // Rows r1..r2 and columns c1..c2, inclusive, as a new matrix. r2 = r1 - 1
    // (or c2 = c1 - 1) gives an empty block; anything outside the shape
    // throws std::out_of_range.
    Numbra Sub(int r1, int r2, int c1, int c2) const;

private:
    static constexpr int kInline = 64;

    void growTo(int rows, int cols);
    void allocate(std::size_t rowCap, std::size_t stride);
    void release() noexcept;
    void copyFrom(const Numbra& other);
    void moveFrom(Numbra& other) noexcept;
    bool isInline() const noexcept { return data_ == inline_; }

    int rows_ = 0;
    int cols_ = 0;
    int rowCap_ = 0;   // rows that fit in the storage
    int stride_ = 0;   // columns that fit in the storage (row-major)
    double* data_ = nullptr;
    double inline_[kInline];
};

// A rows x cols matrix of zeros.
NUMBRA_API Numbra Zeros(int rows, int cols);

// Inverse of a square matrix by LU decomposition with partial pivoting.
// A matrix whose decomposition meets an exactly zero pivot (singular) gives a
// result of the same shape with every element NaN. A non-square matrix throws
// std::invalid_argument. The inverse of an empty matrix is empty.
NUMBRA_API Numbra Inv(const Numbra& a);

// The column x solving a * x = b, with a square and b a column of a's height,
// by LU decomposition with partial pivoting. A singular a gives a column of
// NaN. Shapes that do not fit throw std::invalid_argument.
NUMBRA_API Numbra Slu(const Numbra& a, const Numbra& b);

// The value of a 1 x 1 matrix; any other shape throws std::invalid_argument.
NUMBRA_API double Todouble(const Numbra& m);

#endif
