// Pickling of tervala.Tervala, and where each object's loaded data came from.
//
// An object pickles as its fields (ellipsoid, parameters, stored results,
// fit results) and, for a loaded grid or EGM96 coefficient set, the absolute
// paths of the files it was loaded from rather than the data: a grid can be
// hundreds of megabytes, and a worker process that receives many objects
// should read it once. Unpickling loads each file through a per-process
// cache keyed by the path and the file's size and modification time, then
// gives the new object its own copy of the data, as the copy constructor
// does. A file the unpickling process cannot open raises the OSError that
// errno stands for, naming the path; a file that has been replaced by a grid
// of another shape raises tervala.DataFileError.
//
// The binding records the source of every object's data when it is made
// (constructor, copy, unpickling) and when it loads, in a table keyed by the
// object's address; the holder's deleter removes the entry with the object.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>

#include "Bindings.h"
#include "core/Access.h"
#include "platform/Files.h"

namespace tervala {
namespace python {

long long fileLoads = 0;

namespace {

constexpr int kStateVersion = 1;
constexpr std::uint32_t kByteOrderMark = 0x01020304u;

struct Sources {
    std::string grid;                      // empty: no grid loaded from a file
    std::string correction, geopotential;  // empty: coefficients (if any) travel as data
};

std::unordered_map<const CTervala*, Sources>& sources()
{
    static auto* table = new std::unordered_map<const CTervala*, Sources>;
    return *table;
}

Sources sourcesOf(const CTervala& object)
{
    const auto found = sources().find(&object);
    return found == sources().end() ? Sources{} : found->second;
}

bool isCoefficientField(const void* field, const CTervala& object)
{
    return field == &TervalaAccess::egmCoef(object) || field == &TervalaAccess::corrCoefC(object) ||
           field == &TervalaAccess::corrCoefS(object);
}

// ---- The fields as bytes ------------------------------------------------------

class Writer {
public:
    Writer(const CTervala& object, bool coefficientsByPath) : object_(object), byPath_(coefficientsByPath) {}

    template <class T>
    void put(const T& value)
    {
        static_assert(std::is_trivially_copyable<T>::value, "plain fields only");
        out_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void put(const Numbra& m)
    {
        if (byPath_ && isCoefficientField(&m, object_)) {
            put(std::int32_t(-1));  // loaded again from its files
            return;
        }
        put(std::int32_t(m.Rows()));
        put(std::int32_t(m.Cols()));
        if (m.Rows() > 0 && m.Cols() > 0)
            out_.append(reinterpret_cast<const char*>(m.Data()), sizeof(double) * m.Rows() * m.Cols());
    }
    const std::string& bytes() const { return out_; }

private:
    const CTervala& object_;
    bool byPath_;
    std::string out_;
};

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    template <class T>
    void get(T& value)
    {
        static_assert(std::is_trivially_copyable<T>::value, "plain fields only");
        std::memcpy(&value, take(sizeof value), sizeof value);
    }
    void get(Numbra& m)
    {
        std::int32_t rows = 0, cols = 0;
        get(rows);
        if (rows == -1)
            return;  // the caller fills it from the files
        get(cols);
        if (rows < 0 || cols < 0)
            malformed();
        if (rows == 0 || cols == 0) {
            m = Numbra();
            return;
        }
        const std::size_t count = std::size_t(rows) * std::size_t(cols);
        if (count > (bytes_.size() - at_) / sizeof(double))
            malformed();
        Numbra filled(rows, cols);
        std::memcpy(filled.Data(), take(count * sizeof(double)), count * sizeof(double));
        m = std::move(filled);
    }
    bool finished() const { return at_ == bytes_.size(); }

private:
    const char* take(std::size_t n)
    {
        if (n > bytes_.size() - at_)
            malformed();
        const char* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }
    [[noreturn]] static void malformed() { throw py::value_error("Tervala.__setstate__: the pickled state is malformed"); }

    const std::string& bytes_;
    std::size_t at_ = 0;
};

// ---- The per-process cache of loaded files -------------------------------------

py::object decoded(const std::string& path) { return py::module_::import("os").attr("fsdecode")(py::bytes(path)); }

[[noreturn]] void raiseOsError(int error, const std::string& message, const std::string& path)
{
    py::object exc = py::module_::import("builtins").attr("OSError")(error, message, decoded(path));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
    throw py::error_already_set();
}

// A file as the cache knows it: path, size and modification time, so a file
// rewritten since it was read is read again.
using FileIdentity = std::tuple<std::string, long long, long long>;

FileIdentity identify(const std::string& path, const char* what)
{
    platform::FileIdentity file;
    int error = 0;
    if (!platform::identifyFile(path, file, error)) {
        raiseOsError(error,
                     "Tervala: cannot open " + path + ", the " + what +
                         " this object was loaded from (every process that unpickles the object must see the file "
                         "at the same path): " + std::strerror(error),
                     path);
    }
    return FileIdentity{path, file.size, file.modified};
}

[[noreturn]] void raiseLoadFailure(const platform::LoadStatus& status)
{
    if (status.problem == platform::LoadProblem::CannotOpen && status.systemError != 0)
        raiseOsError(status.systemError, "Tervala: cannot open " + status.path, status.path);
    if (status.problem == platform::LoadProblem::OutOfMemory)
        throw std::bad_alloc();
    raiseDataFileError("Tervala: " + status.path + " was not loaded: " + status.reason, status.path);
}

// An object holding the file's data and nothing else of note. Loads run with
// the GIL held, so each file is read once per process however many threads
// unpickle objects at the same time.
const CTervala& gridPrototype(const std::string& path)
{
    static auto* cache = new std::map<FileIdentity, std::unique_ptr<CTervala>>;
    const FileIdentity key = identify(path, "geoid grid");
    auto found = cache->find(key);
    if (found != cache->end())
        return *found->second;
    auto loaded = std::make_unique<CTervala>();
    const platform::LoadStatus status = TervalaAccess::loadGridFrom(*loaded, path);
    if (!status.ok())
        raiseLoadFailure(status);
    ++fileLoads;
    return *cache->emplace(key, std::move(loaded)).first->second;
}

const CTervala& coefficientPrototype(const std::string& correction, const std::string& geopotential)
{
    static auto* cache = new std::map<std::pair<FileIdentity, FileIdentity>, std::unique_ptr<CTervala>>;
    const auto key = std::make_pair(identify(correction, "EGM96 correction file"),
                                    identify(geopotential, "EGM96 coefficient file"));
    auto found = cache->find(key);
    if (found != cache->end())
        return *found->second;
    auto loaded = std::make_unique<CTervala>();
    const platform::LoadStatus status = TervalaAccess::loadEgm96From(*loaded, correction, geopotential);
    if (!status.ok())
        raiseLoadFailure(status);
    ++fileLoads;
    return *cache->emplace(key, std::move(loaded)).first->second;
}


bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The grid header the pickled fields carry must be the loaded file's:
// otherwise the file has been replaced and the rows would not match.
void requireSameGrid(const CTervala& pickled, const CTervala& loaded, const std::string& path)
{
    using A = TervalaAccess;
    if (A::gridRows(pickled) != A::gridRows(loaded) || A::gridCols(pickled) != A::gridCols(loaded) ||
        A::gridPaddedCols(pickled) != A::gridPaddedCols(loaded) || A::gridMargin(pickled) != A::gridMargin(loaded) ||
        !sameBits(A::gridNorth(pickled), A::gridNorth(loaded)) || !sameBits(A::gridWest(pickled), A::gridWest(loaded)) ||
        !sameBits(A::gridDLat(pickled), A::gridDLat(loaded)) || !sameBits(A::gridDLon(pickled), A::gridDLon(loaded)))
        raiseDataFileError(
            "Tervala: " + path +
                " is not the grid the object was pickled with (its header differs); was the file replaced?",
            path);
}

py::object pathOrNone(const std::string& path) { return path.empty() ? py::object(py::none()) : py::bytes(path); }

std::string pathFrom(const py::handle& value) { return value.is_none() ? std::string() : value.cast<std::string>(); }

py::tuple getState(const CTervala& self)
{
    const Sources s = sourcesOf(self);
    if (TervalaAccess::grid(self) != nullptr && s.grid.empty())
        throw py::type_error("Tervala: this object's grid was not loaded from a file, so it cannot be pickled");
    const bool coefficientsByPath = !s.geopotential.empty();
    Writer writer(self, coefficientsByPath);
    CTervala unused;
    TervalaAccess::forEachCopiedField(unused, self, [&writer](auto&, const auto& from) { writer.put(from); });
    return py::make_tuple(kStateVersion, kByteOrderMark, py::bytes(writer.bytes()), pathOrNone(s.grid),
                          pathOrNone(s.correction), pathOrNone(s.geopotential));
}

CTervala* setState(const py::tuple& state)
{
    if (state.size() != 6 || state[0].cast<int>() != kStateVersion)
        throw py::value_error("Tervala.__setstate__: not a state this version of tervala wrote");
    if (state[1].cast<std::uint32_t>() != kByteOrderMark)
        throw py::value_error("Tervala.__setstate__: the state was written on a machine of the other byte order");
    const std::string bytes = state[2].cast<std::string>();
    Sources s{pathFrom(state[3]), pathFrom(state[4]), pathFrom(state[5])};
    if (s.correction.empty() != s.geopotential.empty())
        throw py::value_error("Tervala.__setstate__: the state names only one of the two EGM96 files");

    // The fields first, into an object without loaded data.
    CTervala staged;
    {
        Reader reader(bytes);
        const CTervala unused;
        TervalaAccess::forEachCopiedField(staged, unused, [&reader](auto& to, const auto&) { reader.get(to); });
        if (!reader.finished())
            throw py::value_error("Tervala.__setstate__: the pickled state is malformed");
    }

    const CTervala* coefficients = s.geopotential.empty() ? nullptr : &coefficientPrototype(s.correction, s.geopotential);
    std::unique_ptr<CTervala> object;
    if (s.grid.empty()) {
        object = std::make_unique<CTervala>(staged);
    } else {
        const CTervala& grid = gridPrototype(s.grid);
        requireSameGrid(staged, grid, s.grid);
        object = std::make_unique<CTervala>(grid);
        TervalaAccess::forEachCopiedField(*object, staged,
                                          [](auto& to, const auto& from) { TervalaAccess::copyField(to, from); });
    }
    if (coefficients != nullptr) {
        CTervala& o = *object;
        TervalaAccess::forEachCopiedField(o, *coefficients, [&o](auto& to, const auto& from) {
            if (isCoefficientField(&to, o))
                TervalaAccess::copyField(to, from);
        });
    }
    sources()[object.get()] = s;
    return object.release();
}

} // namespace

void ForgetSources::operator()(CTervala* object) const noexcept
{
    sources().erase(object);
    delete object;
}

void noteFresh(const CTervala& object) { sources().erase(&object); }

void noteCopy(const CTervala& to, const CTervala& from)
{
    if (&to == &from)
        return;
    const Sources s = sourcesOf(from);
    sources()[&to] = s;
}

std::string absolutePath(const std::string& path) { return platform::resolvedPath(path); }

void noteGridLoaded(const CTervala& object, const std::string& path) { sources()[&object].grid = absolutePath(path); }

void noteCoefficientsLoaded(const CTervala& object, const std::string& correction, const std::string& geopotential)
{
    Sources& s = sources()[&object];
    s.correction = absolutePath(correction);
    s.geopotential = absolutePath(geopotential);
}

void noteCoefficientsReplaced(const CTervala& object)
{
    const auto found = sources().find(&object);
    if (found != sources().end()) {
        found->second.correction.clear();
        found->second.geopotential.clear();
    }
}

void bindPickling(TervalaClass& cls) { cls.def(py::pickle(&getState, &setState)); }

} // namespace python
} // namespace tervala
