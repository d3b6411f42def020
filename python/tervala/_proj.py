"""Transverse Mercator and UTM grids from what users have: a PROJ string, an
EPSG code or a pyproj CRS.

PROJ strings are read by the library's reader (the one the tool's --proj
uses), with PROJ's keys for these two projections; any other key is refused
by name, so nothing the string asks for is silently dropped. EPSG codes and
CRS objects go through pyproj (optional: without it the error says so),
which reads the EPSG database."""

from typing import Any, Dict, Type, TypeVar, Union

from ._tervala import Ellipsoid, TransverseMercator, Utm, _parse_tm_proj


def _definition(text: str, utm_only: bool, who: str) -> Dict[str, Any]:
    if not isinstance(text, str):
        raise TypeError(f"{who}: a PROJ string is needed, not {type(text).__name__}")
    try:
        return _parse_tm_proj(text, utm_only)
    except ValueError as e:
        raise ValueError(f"{who}: {e}") from None


def _ellipsoid(d: Dict[str, Any]) -> Ellipsoid:
    return Ellipsoid(d["ellipsoid"]) if d["ellipsoid"] else Ellipsoid(d["a"], d["rf"])


def tm_from_proj(text: str) -> TransverseMercator:
    d = _definition(text, False, "TransverseMercator.from_proj")
    if d["utm"]:
        return _tm_of(Utm(d["zone"], south=d["south"], ellipsoid=_ellipsoid(d)))
    return TransverseMercator(_ellipsoid(d), d["lat_0"], d["lon_0"], false_northing=d["y_0"],
                              false_easting=d["x_0"], scale_factor=d["k"])


def utm_from_proj(text: str) -> Utm:
    d = _definition(text, True, "Utm.from_proj")
    return Utm(d["zone"], south=d["south"], ellipsoid=_ellipsoid(d))


def _tm_of(u: Utm) -> TransverseMercator:
    return TransverseMercator(u.ellipsoid, 0.0, u.central_meridian, false_northing=1e7 if u.south else 0.0,
                              false_easting=500000.0, scale_factor=0.9996)


def _pyproj(who: str) -> Any:
    try:
        import pyproj
    except ImportError:
        raise ImportError(f"{who} needs pyproj (pip install pyproj, or Debian's python3-pyproj); "
                          "without it use from_proj with a PROJ string") from None
    return pyproj


_P = TypeVar("_P", TransverseMercator, Utm)


def _from_crs(cls: Type[_P], crs: Any, who: str) -> _P:
    pyproj = _pyproj(who)
    crs = pyproj.CRS.from_user_input(crs)
    name = crs.name
    op = crs.coordinate_operation if crs.is_projected else None
    if op is None or op.method_name != "Transverse Mercator":
        method = op.method_name if op is not None else "not projected"
        raise ValueError(f"{who}: {name} is not a Transverse Mercator grid ({method})")
    if any(a.unit_conversion_factor != 1.0 for a in crs.axis_info):
        raise ValueError(f"{who}: {name} is not in metres")
    if crs.prime_meridian.longitude != 0.0:
        raise ValueError(f"{who}: {name} does not use the Greenwich meridian")
    params = {p.name: p.value for p in op.params}
    e = crs.ellipsoid
    ellipsoid = Ellipsoid(e.semi_major_metre, e.inverse_flattening)
    lat0, lon0 = params["Latitude of natural origin"], params["Longitude of natural origin"]
    k0, fe, fn = params["Scale factor at natural origin"], params["False easting"], params["False northing"]
    if cls is Utm:
        zone = round((lon0 + 183.0) / 6.0)
        if not (lat0 == 0.0 and k0 == 0.9996 and fe == 500000.0 and fn in (0.0, 1e7) and lon0 == 6 * zone - 183):
            raise ValueError(f"{who}: {name} is a Transverse Mercator grid but not a UTM zone; "
                             "use TransverseMercator.from_crs")
        return Utm(zone, south=fn == 1e7, ellipsoid=ellipsoid)  # type: ignore[return-value]
    return TransverseMercator(ellipsoid, lat0, lon0, false_northing=fn, false_easting=fe,  # type: ignore[return-value]
                              scale_factor=k0)


def _install() -> None:
    def tm_from_crs(cls: Any, crs: Any) -> TransverseMercator:
        """The grid of a pyproj CRS (or anything pyproj.CRS accepts); needs pyproj."""
        return _from_crs(TransverseMercator, crs, "TransverseMercator.from_crs")

    def tm_from_epsg(cls: Any, code: Union[int, str]) -> TransverseMercator:
        """The grid of an EPSG projected CRS, e.g. 5186; needs pyproj."""
        return _from_crs(TransverseMercator, _epsg(code), "TransverseMercator.from_epsg")

    def utm_from_crs(cls: Any, crs: Any) -> Utm:
        """The UTM zone of a pyproj CRS; needs pyproj."""
        return _from_crs(Utm, crs, "Utm.from_crs")

    def utm_from_epsg(cls: Any, code: Union[int, str]) -> Utm:
        """The UTM zone of an EPSG projected CRS, e.g. 32652; needs pyproj."""
        return _from_crs(Utm, _epsg(code), "Utm.from_epsg")

    def tm_proj(cls: Any, text: str) -> TransverseMercator:
        """The grid a PROJ string describes: +proj=tmerc with +lat_0, +lon_0, +k (or +k_0), +x_0, +y_0
        and +ellps, +datum, +a with +rf/+f/+b, or +R or +a alone for a sphere (or +proj=utm); other keys
        are refused by name."""
        return tm_from_proj(text)

    def utm_proj(cls: Any, text: str) -> Utm:
        """The zone a PROJ string describes: +proj=utm +zone=N [+south] and the ellipsoid keys."""
        return utm_from_proj(text)

    for target, name, function in [(TransverseMercator, "from_proj", tm_proj),
                                   (TransverseMercator, "from_crs", tm_from_crs),
                                   (TransverseMercator, "from_epsg", tm_from_epsg),
                                   (Utm, "from_proj", utm_proj), (Utm, "from_crs", utm_from_crs),
                                   (Utm, "from_epsg", utm_from_epsg)]:
        function.__name__ = function.__qualname__ = name
        setattr(target, name, classmethod(function))


def _epsg(code: Union[int, str]) -> str:
    if isinstance(code, bool) or not isinstance(code, (int, str)):
        raise TypeError(f"from_epsg: an EPSG code is an int (or \"EPSG:n\"), not {type(code).__name__}")
    return f"EPSG:{code}" if isinstance(code, int) else code
