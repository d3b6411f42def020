/**
 * @file Numbra.h
 * @brief Numbra: a dense matrix of doubles with 1-based indices and value
 * semantics, and its free functions (Zeros, Inv, Slu, Todouble).
 */
#ifndef TERVALA_NUMBRA_H
#define TERVALA_NUMBRA_H

#include <cstddef>

/// @cond INTERNAL
#if defined(_WIN32)
#  if defined(NUMBRA_BUILDING_LIBRARY)
#    define NUMBRA_API __declspec(dllexport)
#  else
#    define NUMBRA_API __declspec(dllimport)
#  endif
#else
#  define NUMBRA_API __attribute__((visibility("default")))
#endif
/// @endcond

/**
 * @brief A dense matrix of doubles with 1-based indices and value semantics.
 *
 * Numbra is the matrix type of Tervala's companion library. Tervala keeps
 * members of this type (residual columns, spherical-harmonic coefficients)
 * and does its least-squares algebra with it.
 *
 * Indices are 1-based, row before column. Matrices are values: copies never
 * share elements, and a matrix assigned from a temporary keeps its elements
 * after the temporary is gone.
 *
 * @par Growth
 * Writing an element beyond the current shape through the non-const
 * operator() enlarges the matrix to take it, keeping every element already
 * there and filling the new ones with zeros. The shape becomes (largest row
 * written) x (largest column written). Capacity grows geometrically in the
 * direction written, so filling a column of n rows element by element costs
 * O(n) in total. Matrices of up to 64 elements of capacity (every matrix up
 * to 8 x 8) live inside the object and never touch the heap.
 *
 * @par Errors
 * Misuse throws a standard exception with a message naming the operation
 * and the shapes involved:
 * - std::out_of_range: an index below 1; const access outside the shape;
 *   Sub with a range outside the shape;
 * - std::invalid_argument: operands whose shapes do not fit (+, -, *, Slu),
 *   a non-square matrix given to Inv or Slu, a negative shape, Todouble of a
 *   matrix that is not 1 x 1;
 * - std::length_error: a shape whose element count does not fit in memory
 *   addressing (also reported for absurd growth).
 *
 * A singular matrix is not misuse: Inv and Slu report it in their result
 * (see there) and never throw for it.
 */
class NUMBRA_API Numbra {
public:
    /// @brief An empty (0 x 0) matrix, to be assigned or filled element by element.
    Numbra() noexcept;
    /**
     * @brief A rows x cols matrix of zeros.
     * @param[in] rows number of rows, >= 0.
     * @param[in] cols number of columns, >= 0.
     * @throws std::invalid_argument for a negative count.
     * @throws std::length_error for an unaddressable size.
     */
    Numbra(int rows, int cols);
    /// @brief A 1 x 1 matrix. @param[in] value its element.
    explicit Numbra(double value);

    /// @brief Copies the elements. @param[in] other the matrix copied.
    Numbra(const Numbra& other);
    /// @brief Takes the elements. @param[in,out] other left empty.
    Numbra(Numbra&& other) noexcept;
    /// @brief Copies the elements. @param[in] other the matrix copied. @return this matrix.
    Numbra& operator=(const Numbra& other);
    /// @brief Takes the elements. @param[in,out] other left empty. @return this matrix.
    Numbra& operator=(Numbra&& other) noexcept;
    /// @brief Frees the elements.
    ~Numbra();

    /**
     * @brief Element (row, col), read and written in place.
     *
     * Enlarges the matrix when (row, col) lies beyond the shape (see Growth).
     * @param[in] row from 1.
     * @param[in] col from 1.
     * @return a reference to the element, valid until the matrix next grows.
     * @throws std::out_of_range when row or col is below 1.
     */
    double& operator()(int row, int col);
    /**
     * @brief Element (k, 1): the k-th element of a column vector. Grows like
     * operator()(k, 1).
     * @param[in] k from 1.
     * @return a reference to the element.
     */
    double& operator()(int k);
    /**
     * @brief Const element access.
     * @param[in] row from 1.
     * @param[in] col from 1.
     * @return the element.
     * @throws std::out_of_range outside the shape.
     */
    double operator()(int row, int col) const;
    /**
     * @brief Const element (k, 1).
     * @param[in] k from 1.
     * @return the element.
     * @throws std::out_of_range outside the shape.
     */
    double operator()(int k) const;

    /// @return the number of rows.
    int Rows() const noexcept { return rows_; }
    /// @return the number of columns.
    int Cols() const noexcept { return cols_; }
    /// @return true when the matrix has no element.
    bool Empty() const noexcept { return rows_ == 0 || cols_ == 0; }

    /**
     * @brief Raw storage for hot loops.
     *
     * Element (r, c) lives at Data()[(r - 1) * Stride() + (c - 1)]. Valid
     * until the next operation that enlarges, assigns or destroys the matrix.
     * @return the first element.
     */
    double* Data() noexcept { return data_; }
    /// @copydoc Data()
    const double* Data() const noexcept { return data_; }
    /// @return the distance between two rows in Data(), in elements.
    int Stride() const noexcept { return stride_; }

    /**
     * @brief Makes room for rows x cols elements without changing the shape,
     * so a matrix filled element by element afterwards never reallocates.
     * @param[in] rows rows to make room for.
     * @param[in] cols columns to make room for.
     */
    void Reserve(int rows, int cols);

    /// @brief Element-wise sum of two matrices of the same shape. @param[in] other the other term. @return the sum.
    Numbra operator+(const Numbra& other) const;
    /// @brief Element-wise difference of two matrices of the same shape. @param[in] other subtracted. @return the difference.
    Numbra operator-(const Numbra& other) const;
    /**
     * @brief Matrix product: (r x k)(k x c) gives r x c. Each element is the
     * sum of its k products taken in increasing k.
     * @param[in] other the right factor.
     * @return the product.
     */
    Numbra operator*(const Numbra& other) const;
    /// @brief Every element multiplied by factor. @param[in] factor the scalar. @return the scaled matrix.
    Numbra operator*(double factor) const;
    /// @brief Transpose. @return the transposed matrix.
    Numbra operator~() const;
    /**
     * @brief Rows r1..r2 and columns c1..c2, inclusive, as a new matrix.
     *
     * r2 = r1 - 1 (or c2 = c1 - 1) gives an empty block; anything outside the
     * shape throws std::out_of_range.
     * @param[in] r1 first row, from 1.
     * @param[in] r2 last row.
     * @param[in] c1 first column, from 1.
     * @param[in] c2 last column.
     * @return the block.
     */
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

/**
 * @brief A rows x cols matrix of zeros.
 * @param[in] rows number of rows, >= 0.
 * @param[in] cols number of columns, >= 0.
 * @return the matrix.
 */
NUMBRA_API Numbra Zeros(int rows, int cols);

/**
 * @brief Inverse of a square matrix by LU decomposition with partial pivoting.
 *
 * A matrix whose decomposition meets an exactly zero pivot (singular) gives a
 * result of the same shape with every element NaN. The inverse of an empty
 * matrix is empty.
 * @param[in] a a square matrix.
 * @return its inverse.
 * @throws std::invalid_argument for a non-square matrix.
 */
NUMBRA_API Numbra Inv(const Numbra& a);

/**
 * @brief The column x solving a * x = b, by LU decomposition with partial
 * pivoting.
 * @param[in] a a square matrix; a singular a gives a column of NaN.
 * @param[in] b a column of a's height.
 * @return the solution column.
 * @throws std::invalid_argument for shapes that do not fit.
 */
NUMBRA_API Numbra Slu(const Numbra& a, const Numbra& b);

/**
 * @brief The value of a 1 x 1 matrix.
 * @param[in] m a 1 x 1 matrix; any other shape throws std::invalid_argument.
 * @return its element.
 */
NUMBRA_API double Todouble(const Numbra& m);

#endif
