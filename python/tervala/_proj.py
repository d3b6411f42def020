"""Transverse Mercator and UTM grids from what users have: a PROJ string, an
EPSG code or a pyproj CRS.

PROJ strings are read here, with PROJ's keys for these two projections;
any other key is refused by name, so nothing the string asks for is
silently dropped. EPSG codes and CRS objects go through pyproj (optional:
without it the error says so), which reads the EPSG database."""

from typing import Any, Dict, Optional, Set, Type, TypeVar, Union

from ._tervala import Ellipsoid, TransverseMercator, Utm

# PROJ's datum names that fix an ellipsoid (PROJ's own table).
_DATUM_ELLIPSOIDS = {"WGS84": "WGS84", "NAD83": "GRS80", "GGRS87": "GRS80", "NAD27": "clrk66",
                     "potsdam": "bessel", "hermannskogel": "bessel", "nzgd49": "intl", "OSGB36": "airy"}
# Keys that do not change the projection of a point: accepted and not used.
_IGNORED = {"no_defs", "type", "wktext", "towgs84", "nadgrids", "geoidgrids"}
_ELLIPSOID_KEYS = {"ellps", "datum", "a", "b", "rf", "f"}
_TMERC_KEYS = _ELLIPSOID_KEYS | {"proj", "lat_0", "lon_0", "k", "k_0", "x_0", "y_0", "units", "to_meter", "pm"}
_UTM_KEYS = _ELLIPSOID_KEYS | {"proj", "zone", "south", "units", "to_meter", "pm"}


def _parse(text: str, who: str) -> Dict[str, Optional[str]]:
    if not isinstance(text, str):
        raise TypeError(f"{who}: a PROJ string is needed, not {type(text).__name__}")
    keys: Dict[str, Optional[str]] = {}
    for word in text.split():
        if not word.startswith("+") or len(word) == 1:
            raise ValueError(f"{who}: {word!r} is not a +key or +key=value of a PROJ string")
        name, _, value = word[1:].partition("=")
        if name in keys:
            raise ValueError(f"{who}: +{name} is given twice")
        keys[name] = value if "=" in word else None
    return keys


def _number(keys: Dict[str, Optional[str]], name: str, default: Optional[float], who: str) -> float:
    if name not in keys:
        if default is None:
            raise ValueError(f"{who}: +{name} is needed")
        return default
    try:
        return float(keys[name] or "")
    except ValueError:
        raise ValueError(f"{who}: +{name} must be a number, not {keys[name]!r}") from None


def _ellipsoid(keys: Dict[str, Optional[str]], who: str) -> Ellipsoid:
    if "a" in keys:
        a = _number(keys, "a", None, who)
        if "rf" in keys:
            return Ellipsoid(a, _number(keys, "rf", None, who))
        if "f" in keys:
            return Ellipsoid(a, 1.0 / _number(keys, "f", None, who))
        if "b" in keys:
            return Ellipsoid(a, a / (a - _number(keys, "b", None, who)))
        raise ValueError(f"{who}: +a needs +rf, +f or +b (spheres are not supported)")
    if "ellps" in keys:
        return Ellipsoid(keys["ellps"] or "")
    if "datum" in keys:
        datum = keys["datum"] or ""
        if datum not in _DATUM_ELLIPSOIDS:
            raise ValueError(f"{who}: +datum={datum} is not a datum whose ellipsoid is known here; give +ellps")
        return Ellipsoid(_DATUM_ELLIPSOIDS[datum])
    return Ellipsoid("GRS80")  # PROJ's default ellipsoid


def _check(keys: Dict[str, Optional[str]], allowed: Set[str], proj: str, who: str) -> None:
    if keys.get("proj") != proj:
        given = f"+proj={keys['proj']}" if "proj" in keys else "none"
        raise ValueError(f"{who}: +proj={proj} is needed, not {given}")
    for name in keys:
        if name not in allowed and name not in _IGNORED:
            raise ValueError(f"{who}: +{name} is not supported for +proj={proj}")
    if keys.get("units", "m") != "m" or _number(keys, "to_meter", 1.0, who) != 1.0:
        raise ValueError(f"{who}: only metres are supported (+units=m)")
    if keys.get("pm", "greenwich") not in ("greenwich", "0"):
        raise ValueError(f"{who}: only the Greenwich prime meridian is supported (+pm)")


def tm_from_proj(text: str) -> TransverseMercator:
    who = "TransverseMercator.from_proj"
    keys = _parse(text, who)
    if keys.get("proj") == "utm":
        return _tm_of(utm_from_proj(text))
    _check(keys, _TMERC_KEYS, "tmerc", who)
    if "k" in keys and "k_0" in keys:
        raise ValueError(f"{who}: give +k or +k_0, not both")
    k0 = _number(keys, "k_0" if "k_0" in keys else "k", 1.0, who)
    return TransverseMercator(_ellipsoid(keys, who), _number(keys, "lat_0", 0.0, who),
                              _number(keys, "lon_0", 0.0, who), false_northing=_number(keys, "y_0", 0.0, who),
                              false_easting=_number(keys, "x_0", 0.0, who), scale_factor=k0)


def utm_from_proj(text: str) -> Utm:
    who = "Utm.from_proj"
    keys = _parse(text, who)
    _check(keys, _UTM_KEYS, "utm", who)
    zone = keys.get("zone")
    if zone is None or not zone.isdigit():
        raise ValueError(f"{who}: +zone=1..60 is needed")
    if keys.get("south", None) is not None:
        raise ValueError(f"{who}: +south takes no value")
    return Utm(int(zone), south="south" in keys, ellipsoid=_ellipsoid(keys, who))


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
        and +ellps, +datum or +a with +rf/+f/+b (or +proj=utm); other keys are refused by name."""
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
