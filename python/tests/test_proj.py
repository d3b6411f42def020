"""Grids from PROJ strings, EPSG codes and pyproj CRS objects, checked
against pyproj on Transverse Mercator and UTM systems of several datums."""

import warnings

import pytest

import tervala

# EPSG projected CRSs: UTM on WGS84, NAD83, ETRS89, GDA94; national TM grids
# on GRS80, Bessel, Airy, International and Krassovsky ellipsoids.
UTM_CODES = [32601, 32633, 32652, 32718, 32760, 26910, 26917, 25832, 25833, 28355, 28356]
TM_CODES = [5186, 5187, 5185, 5179, 2097, 27700, 31467, 2193, 3006, 6677, 2100, 3414]


def pyproj_forward(code, latitude, longitude):
    pyproj = pytest.importorskip("pyproj")
    crs = pyproj.CRS.from_epsg(code)
    forward = pyproj.Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True)
    return crs, forward.transform(longitude, latitude)


@pytest.mark.parametrize("code", UTM_CODES + TM_CODES)
def test_from_epsg_projects_as_pyproj_does(code):
    crs, _ = pyproj_forward(code, 0.0, 0.0)
    area = crs.area_of_use
    latitude = (area.south + area.north) / 2
    tm = tervala.TransverseMercator.from_epsg(code)
    longitude = tm.central_meridian + 1.25
    _, (east, north) = pyproj_forward(code, latitude, longitude)  # always_xy: easting first whatever the axes
    p = tm.forward(latitude, longitude)
    # PROJ's series and ours agree to well under a millimetre this near the central meridian.
    assert abs(p.easting - east) < 1e-3 and abs(p.northing - north) < 1e-3, (code, p, east, north)
    if code in UTM_CODES:
        u = tervala.Utm.from_epsg(code)
        assert u.forward(latitude, longitude) == p and u == tervala.Utm.from_crs(crs)
    assert tervala.TransverseMercator.from_crs(crs) == tm


@pytest.mark.parametrize("code", [32652, 32718, 25833, 5186, 2097, 27700, 31467])
def test_the_proj_string_pyproj_writes_gives_the_same_grid(code):
    pyproj = pytest.importorskip("pyproj")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # pyproj warns that a PROJ string loses the datum
        text = pyproj.CRS.from_epsg(code).to_proj4()
    assert tervala.TransverseMercator.from_proj(text) == tervala.TransverseMercator.from_epsg(code), text
    if "+proj=utm" in text:
        assert tervala.Utm.from_proj(text) == tervala.Utm.from_epsg(code)


@pytest.mark.parametrize("call, error, message", [
    (lambda: tervala.TransverseMercator.from_proj("+proj=tmerc +lat_0=38 +lon_0=127 +lat_1=3"), ValueError,
     r"\+lat_1 is not supported for \+proj=tmerc"),
    (lambda: tervala.TransverseMercator.from_proj("+proj=lcc +lat_1=33"), ValueError, r"\+proj=tmerc is needed"),
    (lambda: tervala.TransverseMercator.from_proj("+proj=tmerc +units=us-ft"), ValueError, "only metres"),
    (lambda: tervala.TransverseMercator.from_proj("+proj=tmerc +lon_0=127 +lon_0=129"), ValueError, "given twice"),
    (lambda: tervala.TransverseMercator.from_proj("+proj=tmerc +k=1 +k_0=0.9996"), ValueError, r"\+k or \+k_0"),
    (lambda: tervala.TransverseMercator.from_proj("proj=tmerc"), ValueError, "not a \\+key"),
    (lambda: tervala.Utm.from_proj("+proj=utm +south"), ValueError, r"\+zone=1..60 is needed"),
    (lambda: tervala.Utm.from_proj("+proj=utm +zone=61"), ValueError, "zone"),
    (lambda: tervala.Utm.from_proj("+proj=tmerc +lon_0=129"), ValueError, r"\+proj=utm is needed"),
    (lambda: tervala.Utm.from_epsg(5186), ValueError, "not a UTM zone"),
    (lambda: tervala.TransverseMercator.from_epsg(4326), ValueError, "not a Transverse Mercator grid"),
    (lambda: tervala.TransverseMercator.from_epsg(3857), ValueError, "not a Transverse Mercator grid"),
    (lambda: tervala.TransverseMercator.from_epsg(True), TypeError, "EPSG code"),
])
def test_what_is_not_such_a_grid_is_refused_by_name(call, error, message):
    pytest.importorskip("pyproj")
    with pytest.raises(error, match=message):
        call()


def test_proj_strings_read_every_key():
    tm = tervala.TransverseMercator.from_proj(
        "+proj=tmerc +lat_0=38 +lon_0=127.5 +k_0=0.9999 +x_0=200000 +y_0=500000 +a=6377397.155 +rf=299.1528128 "
        "+towgs84=-115.8,474.99,674.11,1.16,-2.31,-1.63,6.43 +units=m +no_defs +type=crs")
    assert tm == tervala.TransverseMercator(tervala.Ellipsoid("Bessel1841"), 38.0, 127.5, 500000.0, 200000.0, 0.9999)
    assert tervala.Utm.from_proj("+proj=utm +zone=52 +ellps=GRS80") == tervala.Utm(52, ellipsoid=tervala.Ellipsoid("GRS80"))
    assert tervala.Utm.from_proj("+proj=utm +zone=18 +south") == tervala.Utm(18, south=True,
                                                                         ellipsoid=tervala.Ellipsoid("GRS80"))
