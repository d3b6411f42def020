// Running a per-point member over NumPy arrays.
//
// mapPoints broadcasts its inputs against each other as NumPy does, allocates
// C-contiguous float64 outputs of the broadcast shape, and calls a kernel
// once per point: the kernel copies the point's inputs into local variables,
// calls the CTervala member on them and reads the member's results through
// the accessors, so an array result is the double the per-point member gives.
//
// Large arrays are shared out in blocks among std::threads with the GIL
// released. Each thread works on its own copy of the object, made before
// the GIL is released (so no Python thread can change the object while it is
// copied); the caller's object is never written.
#ifndef TERVALA_PYTHON_POINTMAP_H
#define TERVALA_PYTHON_POINTMAP_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "tervala/Tervala.h"

namespace tervala {
namespace python {

namespace py = pybind11;

// An argument of an array function as a float64 array of any shape and
// strides (no copy when it already is one). Accepts integer and real dtypes
// and anything np.asarray turns into them (scalars, lists); anything else
// (bool, a masked array, pandas values with NA) raises TypeError or
// ValueError naming the argument.
py::array realArray(const py::handle& value, const char* name);

// As realArray, for the UTM hemisphere flag: bool or integer dtypes only, so
// a flag is never a rounded float. Only the value 1 means south.
py::array flagArray(const py::handle& value, const char* name);

// The broadcast of several arrays: the common shape, and per input the byte
// strides to use with it (0 along the dimensions it is broadcast over).
struct Broadcast {
    std::vector<py::ssize_t> shape;
    py::ssize_t size = 1;
    std::vector<const char*> data;
    std::vector<std::vector<py::ssize_t>> strides;
    // When every input walks the points in C order with one fixed byte step
    // (contiguous, a scalar, or any view that collapses to one stride), the
    // steps; the cursor then needs no multi-dimensional index.
    bool linear = false;
    std::vector<py::ssize_t> steps;
};

// Raises ValueError, as NumPy words it, when the shapes do not broadcast.
Broadcast broadcast(const std::vector<py::array>& inputs);

// How many threads to run `points` points on: `requested` when positive
// (never more than there are points, nor more than 4 per core), else one per
// `minPerThread` points up to the number of cores this process may use.
// Negative requests raise ValueError.
int threadCount(py::ssize_t points, int requested, py::ssize_t minPerThread);

// Walks the points begin..end-1 of a broadcast in C order, giving the input
// values of each point.
class PointCursor {
public:
    PointCursor(const Broadcast& b, py::ssize_t begin);
    // The value of input k at the current point (unaligned data is fine).
    double value(std::size_t k) const
    {
        double v;
        std::memcpy(&v, b_.data[k] + offsets_[k], sizeof v);
        return v;
    }
    void advance()
    {
        if (b_.linear) {
            for (std::size_t k = 0; k < offsets_.size(); ++k)
                offsets_[k] += b_.steps[k];
            return;
        }
        advanceIndex();
    }

private:
    void advanceIndex();

    const Broadcast& b_;
    std::vector<py::ssize_t> index_;
    std::vector<py::ssize_t> offsets_;  // byte offset of the current point in each input
};

// Runs a kernel over the broadcast of `inputs`:
//   prepare(int threads) -> kernel, called with the GIL held once the number
//   of threads is known; kernel(int part, const double (&in)[NIn],
//   double (&out)[NOut]) then runs with the GIL released, `part` being the
//   worker's index 0..threads-1 (for state kept per worker).
// Returns the NOut results: arrays of the broadcast shape, or Python floats
// when every input is a scalar (shape ()).
template <std::size_t NIn, std::size_t NOut, class Prepare>
std::array<py::object, NOut> mapArrays(const std::array<py::array, NIn>& inputs, int threads,
                                       py::ssize_t minPerThread, Prepare prepare)
{
    const Broadcast b = broadcast(std::vector<py::array>(inputs.begin(), inputs.end()));
    std::array<py::array_t<double>, NOut> outputs;
    std::array<double*, NOut> out{};
    for (std::size_t k = 0; k < NOut; ++k) {
        outputs[k] = py::array_t<double>(b.shape);
        out[k] = outputs[k].mutable_data();
    }

    const int count = threadCount(b.size, threads, minPerThread);
    auto kernel = prepare(count);

    // The points are handed out in blocks of `minPerThread` (a millisecond or
    // two of work) from a shared counter, so a thread that gets less of a
    // busy machine takes fewer blocks. Between its blocks the calling thread
    // takes the GIL to let Python see a Ctrl-C, which stops every thread.
    const py::ssize_t block = std::max<py::ssize_t>(minPerThread, 1);
    std::atomic<py::ssize_t> nextBlock{0};
    std::atomic<bool> stop{false};
    bool interrupted = false;
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(count));

    auto work = [&](int part) {
        try {
            double in[NIn];
            double result[NOut];
            while (!stop.load(std::memory_order_relaxed)) {
                const py::ssize_t begin = nextBlock.fetch_add(1) * block;
                if (begin >= b.size)
                    break;
                const py::ssize_t end = std::min(b.size, begin + block);
                PointCursor cursor(b, begin);
                for (py::ssize_t p = begin; p < end; ++p) {
                    for (std::size_t k = 0; k < NIn; ++k)
                        in[k] = cursor.value(k);
                    kernel(part, in, result);
                    for (std::size_t k = 0; k < NOut; ++k)
                        out[k][p] = result[k];
                    cursor.advance();
                }
                if (part == 0) {
                    py::gil_scoped_acquire acquire;
                    if (PyErr_CheckSignals() != 0) {
                        interrupted = true;  // the exception stays set for this thread
                        stop = true;
                    }
                }
            }
        } catch (...) {
            errors[static_cast<std::size_t>(part)] = std::current_exception();
            stop = true;
        }
    };

    {
        py::gil_scoped_release release;
        std::vector<std::thread> workers;
        try {
            for (int part = 1; part < count; ++part)
                workers.emplace_back(work, part);
        } catch (...) {
            // No more threads to be had: the others take the blocks.
        }
        work(0);
        for (std::thread& w : workers)
            w.join();
    }
    if (interrupted)
        throw py::error_already_set();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);

    std::array<py::object, NOut> results;
    for (std::size_t k = 0; k < NOut; ++k)
        results[k] = b.shape.empty() ? py::object(py::float_(out[k][0])) : py::object(std::move(outputs[k]));
    return results;
}

// Whether a kernel writes the object (the conversions leave their results in
// it) or only reads it (the geoid heights and the undulation correction).
enum class ObjectUse { Writes, ReadsOnly };

// One thread's copy on cache lines of its own: copies side by side in one
// vector would share the line where one ends and the next begins, and a
// thread writing its results there would stall the thread reading its
// ellipsoid from the same line (how much depended on where the vector was
// allocated: the same call ran at 80 or 140 ns a point from one run to the
// next).
struct alignas(64) ThreadCopy {
    explicit ThreadCopy(const CTervala& original) : object(original) {}
    CTervala object;
};

// Kernel: void(CTervala& object, const double (&in)[NIn], double (&out)[NOut]).
// The caller's object is never touched while the GIL is released (another
// Python thread could reload it meanwhile): the threads work on copies made
// beforehand, one per thread for kernels that write the object, a single
// shared one for kernels that only read it (a loaded grid can be large).
// Returns one array (NOut == 1) or a tuple of arrays; a result of shape ()
// (every input a scalar) comes back as a Python float.
template <std::size_t NIn, std::size_t NOut, class Kernel>
py::object mapPoints(const CTervala& object, const std::array<py::array, NIn>& inputs, int threads,
                     py::ssize_t minPerThread, Kernel kernel, ObjectUse use = ObjectUse::Writes)
{
    std::vector<ThreadCopy> copies;
    auto results = mapArrays<NIn, NOut>(inputs, threads, minPerThread, [&](int count) {
        const std::size_t n = use == ObjectUse::Writes ? static_cast<std::size_t>(count) : 1u;
        copies.reserve(n);  // built in place: a loaded grid is copied once per thread, no more
        for (std::size_t k = 0; k < n; ++k)
            copies.emplace_back(object);
        return [&](int part, const double (&in)[NIn], double (&out)[NOut]) {
            kernel(copies[use == ObjectUse::Writes ? static_cast<std::size_t>(part) : 0u].object, in, out);
        };
    });
    if (NOut == 1)
        return std::move(results[0]);
    py::tuple tuple(NOut);
    for (std::size_t k = 0; k < NOut; ++k)
        tuple[k] = std::move(results[k]);
    return std::move(tuple);
}

} // namespace python
} // namespace tervala

#endif
