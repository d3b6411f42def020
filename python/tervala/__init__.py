"""Tervala: geodetic computations for field surveying, from Python and NumPy.

Value types, immutable and safe to share between threads and processes:
``Ellipsoid``, ``TransverseMercator``, ``Utm``, ``Ups``, ``UtmUps``, ``Mgrs``, ``Helmert7``,
``MolodenskyBadekas``, ``AbridgedMolodensky``, ``Helmert2D``, ``HeightPlane``,
``Egm96Model``, ``GeoidGrid`` and ``GridShift`` (NTv2), and the fits ``fit_helmert_2d``,
``fit_height_plane``, ``fit_helmert7``, ``fit_molodensky_badekas`` and ``fit_helmert15``.
Units are metres, decimal degrees, ppm and arc-seconds. Constructors check
their arguments and raise ValueError naming the value.

* Methods take Python numbers or NumPy arrays that broadcast together and
  return named tuples (``Projected(easting, northing)``,
  ``Geodetic(latitude, longitude, height)``, ``Geocentric(x, y, z)``, ...),
  of floats or of arrays. Arrays run in C++ with the GIL released, on every
  core when they are large (``threads=`` chooses).
* ``xy=True`` takes and returns longitude before latitude, as pyproj's
  ``always_xy``.
* Outside the documented domain (a point too far from the central meridian
  for the series, a latitude beyond +-90, a point near a regional grid's
  edge) the result is NaN, not a wrong number.
* Every object pickles as a value; ``Egm96Model`` and ``GeoidGrid`` pickle
  as their paths and load each file once per process, so they can be handed
  to ``multiprocessing`` and ``concurrent.futures`` workers as they are.
* The results equal the legacy members' doubles bit for bit where both
  compute the same quantity. The fits run as weighted adjustments (equal
  weights without ``sigma=``), as the tool's do, and agree with the members'
  estimators to rounding; their ``statistics`` hold the tool's report.

    >>> import tervala
    >>> tm = tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0,
    ...                                 false_northing=600000.0, false_easting=200000.0)
    >>> p = tm.forward(37.5, 127.3)
    >>> round(p.easting, 4), round(p.northing, 4)
    (226527.6649, 544546.4017)

``tervala.Tervala`` is the C++ class ``CTervala`` for code ported from C++:
every public member under its own name, argument order and units, with
Pythonic results:

* members that leave a result in the object also return it (a tuple for a
  triple, a float for one value); the ``Get...`` accessors still work;
* arguments are passed by value: nothing you pass is converted to radians
  or otherwise changed, unlike the C++ reference arguments;
* the estimators take ``(n, 2)`` / ``(n, 3)`` arrays and return
  ``Helmert2DFit``, ``HeightFit`` or ``SevenParameterFit``;
* a failed load raises ``OSError`` naming the file it tried
  (``FileNotFoundError``, ``PermissionError``, ... or ``DataFileError`` when
  the file opens but is refused); ``KEGMGeoidHeight`` raises ``ValueError``
  where C++ returns 999999.0 / -999999.0;
* ``Setup_Ellipsoid`` refuses values that are no ellipsoid (a flattening
  passed as 1/f), and ``LoadEGMData`` warns when given a file name, which it
  does not read (use ``Egm96Model(path)`` or ``Tervala.SetDataFolder``).

Array functions (``geodetic_to_tm``, ``bursa_wolf``, ``egm96_geoid_height``,
...) run a per-point member over NumPy arrays in the same way, in the
members' order, which the named tuples they return state:
``geodetic_to_tm`` gives ``NorthingEasting(northing, easting)`` where
``TransverseMercator.forward`` gives ``Projected(easting, northing)``.

``Tervala`` objects pickle (a loaded grid or coefficient set as the paths of
its files, read once per process), and ``tervala.dask`` runs the array
functions on Dask arrays and DataFrames.
"""

from ._tervala import (
    AbridgedMolodensky,
    ConventionReading,
    DataFileError,
    Egm96Model,
    Ellipsoid,
    FitEllipses,
    FitObservations,
    FitParameter,
    FitStatistics,
    Geocentric,
    Geodetic,
    GeodeticShift,
    GeodeticXY,
    Geographic,
    GeographicWithScale,
    GeographicXY,
    GeographicXYWithScale,
    GeoidGrid,
    GlobalTest,
    GridShift,
    Helmert2D,
    Helmert2DFit,
    Helmert2DFitResult,
    Helmert2DParameters,
    Helmert15,
    Helmert15FitResult,
    Helmert15Parameters,
    Helmert7,
    Helmert7FitResult,
    Helmert7Parameters,
    HeightFit,
    HeightPlane,
    HeightPlaneFitResult,
    HeightPlaneParameters,
    LatitudeLongitude,
    MolodenskyBadekas,
    MolodenskyBadekasFitResult,
    NorthingEasting,
    PlaneCoordinates,
    Projected,
    ProjectedWithScale,
    RemovedPoint,
    SevenParameterFit,
    Tervala,
    TransverseMercator,
    Ups,
    Utm,
    UtmUps,
    Mgrs,
    utm_band,
    __version__,
    convert_grid,
    diagnose,
    fit_height_plane,
    fit_helmert15,
    fit_helmert7,
    fit_helmert_2d,
    fit_molodensky_badekas,
)

from . import _proj

_proj._install()  # TransverseMercator and Utm .from_proj, .from_epsg, .from_crs

from . import _grids

_grids._install()  # GeoidGrid.from_raster

__all__ = [
    # value types
    "Ellipsoid", "TransverseMercator", "Utm", "Ups", "UtmUps", "Mgrs", "utm_band", "Helmert7", "MolodenskyBadekas",
    "AbridgedMolodensky", "Helmert2D", "HeightPlane", "Egm96Model", "GeoidGrid", "GridShift", "Helmert15",
    "convert_grid",
    # fits and their results
    "fit_helmert_2d", "fit_height_plane", "fit_helmert7", "fit_molodensky_badekas", "fit_helmert15",
    "Helmert2DFitResult", "HeightPlaneFitResult", "Helmert7FitResult", "MolodenskyBadekasFitResult",
    "Helmert15FitResult", "Helmert2DParameters", "HeightPlaneParameters", "Helmert7Parameters",
    "Helmert15Parameters",
    "FitStatistics", "FitParameter", "GlobalTest", "FitObservations", "FitEllipses", "RemovedPoint",
    # how published parameters were meant
    "diagnose", "ConventionReading",
    # named tuples the methods return
    "Geodetic", "GeodeticXY", "Geocentric", "Projected", "Geographic", "GeographicXY", "GeodeticShift",
    "PlaneCoordinates", "ProjectedWithScale", "GeographicWithScale", "GeographicXYWithScale",
    # the C++ class CTervala, its results and the named tuples of its array functions
    "Tervala", "Helmert2DFit", "HeightFit", "SevenParameterFit", "DataFileError",
    "NorthingEasting", "LatitudeLongitude",
    "__version__",
]
