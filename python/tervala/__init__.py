"""Tervala: geodetic computations for field surveying, from Python and NumPy.

``tervala.Tervala`` is the C++ class ``CTervala``: every public member under
its own name, argument order and units (metres, decimal degrees, arc-seconds,
parts per million), with Pythonic results:

* members that leave a result in the object also return it (a tuple for a
  triple, a float for one value); the ``Get...`` accessors still work;
* arguments are passed by value: nothing you pass is converted to radians
  or otherwise changed, unlike the C++ reference arguments;
* the estimators take ``(n, 2)`` / ``(n, 3)`` arrays and return
  ``Helmert2DFit``, ``HeightFit`` or ``SevenParameterFit``;
* a failed load raises ``OSError`` naming the file it tried
  (``FileNotFoundError``, ``PermissionError``, ... or ``DataFileError`` when
  the file opens but is refused); ``KEGMGeoidHeight`` raises ``ValueError``
  where C++ returns 999999.0 / -999999.0.

Array functions (``geodetic_to_tm``, ``bursa_wolf``, ``egm96_geoid_height``,
...) take NumPy arrays or scalars of any shape that broadcast together, and
run the per-point member in C++ with the GIL released, on every core for
large arrays. Their results equal the per-point members bit for bit.

    >>> import tervala
    >>> t = tervala.Tervala()
    >>> t.Setup_Ellipsoid(6378137.0, 298.257222101)
    >>> [round(v, 4) for v in t.Geodetic_to_TM(38, 127, 600000, 200000, 1.0, 37.5, 127.3, 50)]
    [544546.4017, 226527.6649, 50.0]
"""

from ._tervala import (
    AbridgedMolodensky,
    DataFileError,
    Egm96Model,
    Ellipsoid,
    Geocentric,
    Geodetic,
    GeodeticShift,
    GeodeticXY,
    Geographic,
    GeographicXY,
    GeoidGrid,
    Helmert2D,
    Helmert2DFit,
    Helmert2DFitResult,
    Helmert2DParameters,
    Helmert7,
    Helmert7FitResult,
    Helmert7Parameters,
    HeightFit,
    HeightPlane,
    HeightPlaneFitResult,
    HeightPlaneParameters,
    MolodenskyBadekas,
    MolodenskyBadekasFitResult,
    PlaneCoordinates,
    Projected,
    SevenParameterFit,
    Tervala,
    TransverseMercator,
    Utm,
    __version__,
    fit_height_plane,
    fit_helmert7,
    fit_helmert_2d,
    fit_molodensky_badekas,
)

__all__ = [
    # value types
    "Ellipsoid", "TransverseMercator", "Utm", "Helmert7", "MolodenskyBadekas", "AbridgedMolodensky",
    "Helmert2D", "HeightPlane", "Egm96Model", "GeoidGrid",
    # fits and their results
    "fit_helmert_2d", "fit_height_plane", "fit_helmert7", "fit_molodensky_badekas",
    "Helmert2DFitResult", "HeightPlaneFitResult", "Helmert7FitResult", "MolodenskyBadekasFitResult",
    "Helmert2DParameters", "HeightPlaneParameters", "Helmert7Parameters",
    # named tuples the methods return
    "Geodetic", "GeodeticXY", "Geocentric", "Projected", "Geographic", "GeographicXY", "GeodeticShift",
    "PlaneCoordinates",
    # the C++ class CTervala and its results
    "Tervala", "Helmert2DFit", "HeightFit", "SevenParameterFit", "DataFileError",
]
