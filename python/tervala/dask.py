"""Tervala's array functions on Dask arrays and Dask DataFrames.

Each function takes the object first and then the array function's own
arguments, in the same order and with the same meaning::

    import dask.array as da
    import tervala, tervala.dask

    t = tervala.Tervala()
    t.Setup_Ellipsoid(6378137.0, 298.257222101)
    lat = da.random.uniform(33, 39, size=10**8, chunks=2**21)
    lon = da.random.uniform(124, 130, size=10**8, chunks=2**21)
    northing, easting = tervala.dask.geodetic_to_tm(t, 38, 127, 600000, 200000, 1, lat, lon)

* Arguments are Dask arrays, NumPy arrays or numbers, broadcast together as
  NumPy does; the results are lazy Dask arrays of float64, one per result of
  the array function, computed block by block.
* With ``frame=`` (a Dask DataFrame) a string argument names a column; the
  result is the frame with the results added as columns, named by ``names=``
  or after the results (``northing``, ``easting``, ...).
* ``apply(method, ...)`` does the same for a method of the value types
  (``tervala.dask.apply(tm.forward, lat, lon)``); keyword arguments such as
  ``xy=True`` pass through.
* Every block runs the array function on one thread (``threads=1``): Dask
  already runs one task per worker thread.
* The object is captured as it is when the function is called. It reaches
  each worker process once, pickled: a loaded grid or coefficient set
  travels as the paths of its files and is read once per worker process.
  A worker that cannot open such a file raises ``FileNotFoundError`` (or
  another ``OSError``) naming the path, and Dask raises it on the client when
  the result is computed.

The results equal the single-process array call bit for bit.
"""

import copy
import functools
import hashlib
import inspect
import pickle
import threading

import numpy as np

__all__ = [
    "apply",
    "geodetic_to_geocentric", "geocentric_to_geodetic", "geodetic_to_tm", "tm_to_geodetic",
    "geodetic_to_utm", "utm_to_geodetic", "bursa_wolf", "inv_bursa_wolf", "molodensky_badekas",
    "inv_molodensky_badekas", "abridged_molodensky", "helmert_2d", "height_trans",
    "egm96_geoid_height", "kegm_geoid_height", "corr_undulation",
]


def _dask():
    try:
        import dask.array
        import dask.dataframe  # noqa: F401
    except ImportError as error:
        raise ImportError("tervala.dask needs Dask with its DataFrames "
                          "(Debian: python3-dask, python3-distributed, python3-pandas)") from error
    return dask


# ---- The object on the workers -------------------------------------------------

_received_objects: dict = {}  # token -> object, per process
_received_lock = threading.Lock()
_KEPT_OBJECTS = 16


def _received(token, payload):
    shipped = _Shipped.__new__(_Shipped)
    shipped._object, shipped._token, shipped._payload = None, token, payload
    return shipped


class _Shipped:
    """An object pickled once on the client; each process unpickles it once."""

    __slots__ = ("_object", "_token", "_payload")

    def __init__(self, obj):
        self._payload = pickle.dumps(obj, protocol=pickle.HIGHEST_PROTOCOL)
        self._token = hashlib.sha256(self._payload).hexdigest()
        # A snapshot for tasks run in this process: later changes to the
        # caller's object must not reach a graph already built.
        self._object = copy.copy(obj)

    def __reduce__(self):
        return _received, (self._token, self._payload)

    def __dask_tokenize__(self):
        return self._token

    def get(self):
        if self._object is None:
            with _received_lock:
                obj = _received_objects.get(self._token)
                if obj is None:
                    obj = pickle.loads(self._payload)
                    if len(_received_objects) >= _KEPT_OBJECTS:
                        _received_objects.pop(next(iter(_received_objects)))
                    _received_objects[self._token] = obj
            self._object = obj
        return self._object


def _call(shipped, name, kwargs, *args):
    result = getattr(shipped.get(), name)(*args, **kwargs)
    if isinstance(result, tuple):
        return tuple(np.asarray(r, dtype=np.float64) for r in result)
    return np.asarray(result, dtype=np.float64)


def _frame_partition(part, shipped, name, kwargs, layout, names):
    args = [part[value].to_numpy() if is_column else value for is_column, value in layout]
    result = _call(shipped, name, kwargs, *args)
    if not isinstance(result, tuple):
        result = (result,)
    return part.assign(**{n: r for n, r in zip(names, result)})


def _map(obj, name, args, kwargs, frame, names, default_names):
    dask = _dask()
    if frame is None:
        if any(isinstance(a, str) for a in args):
            raise TypeError(f"{name}: a column name was given without frame=")
        probe = [np.zeros(1, dtype=a.dtype) if hasattr(a, "dtype") and np.ndim(a) > 0 else a for a in args]
    else:
        if not isinstance(frame, dask.dataframe.DataFrame):
            raise TypeError(f"{name}: frame must be a dask.dataframe.DataFrame")
        if not any(isinstance(a, str) for a in args):
            raise TypeError(f"{name}: with frame=, name at least one column")
        for a in args:
            if isinstance(a, str) and a not in frame.columns:
                raise KeyError(f"{name}: the frame has no column {a!r} (columns: {list(frame.columns)})")
            if not isinstance(a, str) and np.ndim(a) > 0:
                raise TypeError(f"{name}: with frame=, give columns by name and parameters as numbers")
        probe = [np.zeros(1, dtype=frame[a].dtype) if isinstance(a, str) else a for a in args]

    # One call on the client: the object's own errors (no ellipsoid's worth
    # checking here, but "call LoadKEGMData first", a bad hemisphere flag)
    # come at once, and the number of results is known.
    sample = getattr(obj, name)(*probe, **kwargs)
    fields = getattr(sample, "_fields", None)
    count = len(sample) if isinstance(sample, tuple) else 1
    if names is None:
        names = tuple(fields) if fields is not None else default_names
    names = tuple(names)
    if len(names) != count:
        raise ValueError(f"{name}: {count} result(s), but {len(names)} name(s) were given: {names}")

    shipped = _Shipped(obj)
    kwargs = dict(kwargs)
    if frame is not None:
        layout = [(isinstance(a, str), a) for a in args]
        meta = frame._meta.assign(**{n: np.array([], dtype=np.float64) for n in names})
        return frame.map_partitions(_frame_partition, shipped, name, kwargs, layout, names, meta=meta,
                                    token=f"tervala-{name}")

    arrays = _aligned([a if hasattr(a, "dask") else np.asarray(a) for a in args], dask.array)
    signature = ",".join(["()"] * len(arrays)) + "->" + ",".join(["()"] * count)
    result = dask.array.apply_gufunc(functools.partial(_call, shipped, name, kwargs), signature, *arrays,
                                     output_dtypes=(np.float64,) * count if count > 1 else np.float64,
                                     vectorize=False)
    if fields is not None:
        return type(sample)(*result)
    return result


def _aligned(arrays, da):
    """The arrays with the same blocks along every dimension they share, as NumPy broadcasting pairs them.

    Each dimension takes the blocks of the first Dask array that spans it;
    arrays of length 1 there are broadcast block by block.
    """
    shape = np.broadcast_shapes(*(np.shape(a) for a in arrays))
    chunks = []
    for i, size in enumerate(shape):
        spans = [a.chunks[i - len(shape) + a.ndim] for a in arrays
                 if hasattr(a, "dask") and a.ndim >= len(shape) - i and a.shape[i - len(shape) + a.ndim] == size]
        chunks.append(spans[0] if spans else (size,))
    aligned = []
    for a in arrays:
        if np.ndim(a) > 0:
            a = da.asarray(a)
            offset = len(shape) - a.ndim
            blocks = tuple(chunks[offset + j] if n != 1 else (1,) for j, n in enumerate(a.shape))
            if blocks != a.chunks:
                a = a.rechunk(blocks)
        aligned.append(a)
    return aligned


def apply(method, *args, frame=None, names=None, **kwargs):
    """A method of a Tervala object or value type over Dask arrays or frame columns.

    ``method`` is bound (``tm.forward``, ``grid.height``, ``t.geodetic_to_tm``);
    the remaining arguments are the method's own. Keyword arguments pass
    through; ``threads`` is 1 unless given. The results are named after the
    method's named tuple fields (``easting``, ``northing``) unless ``names``
    says otherwise; a single result is named ``value``.
    """
    obj, name = getattr(method, "__self__", None), getattr(method, "__name__", None)
    if name is None or not type(obj).__module__.startswith("tervala") or getattr(obj, name, None) is None:
        raise TypeError(f"apply: {method!r} is not a bound method of a tervala object such as tm.forward")
    kwargs = dict(kwargs)
    try:
        takes_threads = "threads" in inspect.signature(method).parameters
    except (TypeError, ValueError):
        takes_threads = "threads=" in (method.__doc__ or "")
    if takes_threads:
        kwargs.setdefault("threads", 1)
    return _map(obj, name, args, kwargs, frame, names, ("value",))


def _array_function(name, default_names, t, args, frame, names):
    return _map(t, name, args, {"threads": 1}, frame, names, default_names)


_GEOCENTRIC = ("X", "Y", "Z")
_GEODETIC = ("latitude", "longitude")
_GRID = ("northing", "easting")


def geodetic_to_geocentric(t, latitude, longitude, height=0.0, *, frame=None, names=None):
    """Tervala.geodetic_to_geocentric block by block -> X, Y, Z."""
    return _array_function("geodetic_to_geocentric", _GEOCENTRIC, t, (latitude, longitude, height), frame, names)


def geocentric_to_geodetic(t, X, Y, Z, *, frame=None, names=None):
    """Tervala.geocentric_to_geodetic block by block -> latitude, longitude, height."""
    return _array_function("geocentric_to_geodetic", _GEODETIC + ("height",), t, (X, Y, Z), frame, names)


def geodetic_to_tm(t, latitude_of_origin, central_meridian, false_northing, false_easting, scale_factor,
                   latitude, longitude, *, frame=None, names=None):
    """Tervala.geodetic_to_tm block by block -> northing, easting."""
    return _array_function("geodetic_to_tm", _GRID, t, (latitude_of_origin, central_meridian, false_northing,
                                                         false_easting, scale_factor, latitude, longitude),
                           frame, names)


def tm_to_geodetic(t, latitude_of_origin, central_meridian, false_northing, false_easting, scale_factor,
                   northing, easting, *, frame=None, names=None):
    """Tervala.tm_to_geodetic block by block -> latitude, longitude."""
    return _array_function("tm_to_geodetic", _GEODETIC, t, (latitude_of_origin, central_meridian, false_northing,
                                                             false_easting, scale_factor, northing, easting),
                           frame, names)


def geodetic_to_utm(t, hemisphere, central_meridian, latitude, longitude, *, frame=None, names=None):
    """Tervala.geodetic_to_utm block by block -> northing, easting."""
    return _array_function("geodetic_to_utm", _GRID, t, (hemisphere, central_meridian, latitude, longitude),
                           frame, names)


def utm_to_geodetic(t, hemisphere, central_meridian, northing, easting, *, frame=None, names=None):
    """Tervala.utm_to_geodetic block by block -> latitude, longitude."""
    return _array_function("utm_to_geodetic", _GEODETIC, t, (hemisphere, central_meridian, northing, easting),
                           frame, names)


def bursa_wolf(t, X, Y, Z, *, frame=None, names=None):
    """Tervala.bursa_wolf (the stored parameters) block by block -> X, Y, Z."""
    return _array_function("bursa_wolf", _GEOCENTRIC, t, (X, Y, Z), frame, names)


def inv_bursa_wolf(t, X, Y, Z, *, frame=None, names=None):
    """Tervala.inv_bursa_wolf block by block -> X, Y, Z."""
    return _array_function("inv_bursa_wolf", _GEOCENTRIC, t, (X, Y, Z), frame, names)


def molodensky_badekas(t, X, Y, Z, *, frame=None, names=None):
    """Tervala.molodensky_badekas block by block -> X, Y, Z."""
    return _array_function("molodensky_badekas", _GEOCENTRIC, t, (X, Y, Z), frame, names)


def inv_molodensky_badekas(t, X, Y, Z, *, frame=None, names=None):
    """Tervala.inv_molodensky_badekas block by block -> X, Y, Z."""
    return _array_function("inv_molodensky_badekas", _GEOCENTRIC, t, (X, Y, Z), frame, names)


def abridged_molodensky(t, lat, lon, dX, dY, dZ, da, df, *, frame=None, names=None):
    """Tervala.abridged_molodensky block by block -> dlat, dlon, dh."""
    return _array_function("abridged_molodensky", ("dlat", "dlon", "dh"), t, (lat, lon, dX, dY, dZ, da, df),
                           frame, names)


def helmert_2d(t, x0, y0, x, y, *, frame=None, names=None):
    """Tervala.helmert_2d block by block -> x, y."""
    return _array_function("helmert_2d", ("x", "y"), t, (x0, y0, x, y), frame, names)


def height_trans(t, x0, y0, x, y, h, *, frame=None, names=None):
    """Tervala.height_trans block by block -> height."""
    return _array_function("height_trans", ("height",), t, (x0, y0, x, y, h), frame, names)


def egm96_geoid_height(t, latitude, longitude, *, frame=None, names=None):
    """Tervala.egm96_geoid_height block by block -> geoid_height."""
    return _array_function("egm96_geoid_height", ("geoid_height",), t, (latitude, longitude), frame, names)


def kegm_geoid_height(t, latitude, longitude, *, frame=None, names=None):
    """Tervala.kegm_geoid_height block by block -> geoid_height."""
    return _array_function("kegm_geoid_height", ("geoid_height",), t, (latitude, longitude), frame, names)


def corr_undulation(t, lat, lon, dX, dY, dZ, da, df, *, frame=None, names=None):
    """Tervala.corr_undulation block by block -> height_change."""
    return _array_function("corr_undulation", ("height_change",), t, (lat, lon, dX, dY, dZ, da, df), frame, names)
