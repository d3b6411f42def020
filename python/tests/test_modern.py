"""The value types (tervala.Ellipsoid, TransverseMercator, ...) against the
legacy members, pyproj and themselves after pickling; their refusals; and the
guards of the legacy face."""

import concurrent.futures
import multiprocessing
import math
import pickle
import warnings

import numpy as np
import pytest

import tervala
from conftest import GRS80, egm96_folder, same_bits, write_grid_file

BESSEL = (6377397.155, 299.1528128)
RNG = np.random.default_rng(20261205)
N = 2000
LAT = RNG.uniform(-80.0, 80.0, N)
LON = RNG.uniform(-180.0, 180.0, N)
H = RNG.uniform(-100.0, 3000.0, N)
OFFSET = RNG.uniform(-3.0, 3.0, N)  # degrees from a central meridian
XYZ = [RNG.uniform(-6.4e6, 6.4e6, N) for _ in range(3)]
PLANE = [RNG.uniform(-5e4, 5e4, N) + 2e5, RNG.uniform(-5e4, 5e4, N) + 4e5]
SEVEN = dict(tx=-115.8, ty=474.99, tz=674.11, s=-2.4, rx=1.16, ry=-2.31, rz=-1.63)
ORIGIN = (-3159521.31, 4068151.32, 3748113.85)


def legacy(a=GRS80):
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*a)
    return t


def tm_case():
    t, tm = legacy(), tervala.TransverseMercator(tervala.Ellipsoid(*GRS80), 38.0, 127.0, 600000.0, 200000.0, 0.9999,
                                                   method="legacy")
    lon = 127.0 + OFFSET
    n, e = t.geodetic_to_tm(38.0, 127.0, 600000.0, 200000.0, 0.9999, LAT, lon)
    return [(tm.forward(LAT, lon), (e, n)), (tm.inverse(e, n), t.tm_to_geodetic(38.0, 127.0, 600000.0, 200000.0, 0.9999, n, e))]


def utm_case():
    t, south = legacy((6378137.0, 298.257223563)), tervala.Utm(33, south=True, method="legacy")
    lat, lon = -np.abs(LAT), 15.0 + OFFSET
    n, e = t.geodetic_to_utm(1, 15.0, lat, lon)
    return [(south.forward(lat, lon), (e, n)), (south.inverse(e, n), t.utm_to_geodetic(1, 15.0, n, e))]


def seven_case(kind):
    t = legacy()
    if kind == "helmert7":
        t.SetParameters_Bursa_WolfModel(*SEVEN.values())
        modern, names = tervala.Helmert7(**SEVEN, convention="coordinate_frame"), ("bursa_wolf", "inv_bursa_wolf")
    else:
        t.SetParameters_Molodensky_BadekasModel(*ORIGIN, *SEVEN.values())
        modern = tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame", origin=ORIGIN)
        names = ("molodensky_badekas", "inv_molodensky_badekas")
    return [(modern.forward(*XYZ), getattr(t, names[0])(*XYZ)), (modern.inverse(*XYZ), getattr(t, names[1])(*XYZ))]


def plane_case():
    t, origin = legacy(), (2.1e5, 3.9e5)
    t.Set2DHelmert(12.5, -7.25, 3.5, 1.75)
    t.SetHeightTrans(1.5e-5, -2.5e-5, 0.125)
    helmert, plane = tervala.Helmert2D(12.5, -7.25, 3.5, 1.75, origin), tervala.HeightPlane(1.5e-5, -2.5e-5, 0.125, origin)
    return [(helmert.forward(*PLANE), t.helmert_2d(*origin, *PLANE)),
            ((plane.forward(*PLANE, H),), (t.height_trans(*origin, *PLANE, H),))]


def geocentric_case():
    t, bessel = legacy(BESSEL), tervala.Ellipsoid(*BESSEL)
    x, y, z = t.geodetic_to_geocentric(LAT, LON, H)
    return [(bessel.to_geocentric(LAT, LON, H), (x, y, z)), (bessel.to_geodetic(x, y, z), t.geocentric_to_geodetic(x, y, z))]


def abridged_case():
    t, wgs84, bessel = legacy(BESSEL), tervala.Ellipsoid("WGS84"), tervala.Ellipsoid(*BESSEL)
    shift = tervala.AbridgedMolodensky(bessel, wgs84, 582.0, 105.0, 414.0)
    da, df = wgs84.a - bessel.a, wgs84.flattening - bessel.flattening
    return [(shift.shift(LAT, LON), t.abridged_molodensky(LAT, LON, 582.0, 105.0, 414.0, da, df))]


# Every modern method against the legacy array function that computes the
# same quantity (the array functions equal the per-point members bit for
# bit, which test_arrays checks): same doubles, NaN included.
@pytest.mark.parametrize("case", [tm_case, utm_case, lambda: seven_case("helmert7"), lambda: seven_case("badekas"),
                                  plane_case, geocentric_case, abridged_case],
                         ids=["tm", "utm", "helmert7", "badekas", "plane", "geocentric", "abridged"])
def test_modern_methods_equal_the_legacy_members_bit_for_bit(case):
    for modern, old in case():
        assert len(modern) == len(old)
        for m, o in zip(modern, old):
            assert same_bits(m, o)


def test_scalars_xy_and_broadcasting_give_the_array_doubles():
    tm = tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0)
    lon = 127.0 + OFFSET
    e, n = tm.forward(LAT, lon)
    for i in range(0, N, 97):
        assert tm.forward(float(LAT[i]), float(lon[i])) == (e[i], n[i])
        assert tm.forward(float(lon[i]), float(LAT[i]), xy=True) == (e[i], n[i])
    back = tm.inverse(e, n, xy=True)
    assert type(back).__name__ == "GeographicXY" and same_bits(back.longitude, tm.inverse(e, n).longitude)
    grid = tm.forward(LAT[:5, None], lon[None, :7], threads=3)  # (5, 1) against (7,)
    assert grid.easting.shape == (5, 7) and grid.northing[2, 4] == tm.forward(float(LAT[2]), float(lon[4])).northing
    shifted = tervala.Ellipsoid("GRS80").to_geodetic(*tervala.Ellipsoid("GRS80").to_geocentric(LAT, LON, H), xy=True)
    assert np.allclose(shifted.longitude, LON, atol=1e-9) and np.allclose(shifted.latitude, LAT, atol=1e-9)


# The fits against the legacy estimators on the same points. Seven
# parameters: Bursa-Wolf is the coordinate-frame convention. Expected values
# come from the legacy members. (The 2D fit and the position-vector sense:
# test_estimation, against NumPy and the tool.)
def test_fits_agree_with_the_legacy_estimators():
    src = np.column_stack([RNG.uniform(-2e4, 2e4, 12) + c for c in ORIGIN])
    noisy = np.column_stack(tervala.Helmert7(**SEVEN, convention="coordinate_frame").forward(*src.T))
    noisy += RNG.normal(0.0, 0.02, noisy.shape)
    for fit, member in [(tervala.fit_helmert7, "SevenParameters_Bursa_WolfModel"),
                        (tervala.fit_molodensky_badekas, "SevenParameters_Molodensky_BadekasModel")]:
        modern, old = fit(src, noisy, convention="coordinate_frame"), getattr(legacy(), member)(src, noisy)
        assert modern.converged and not modern.degenerate and modern.rank == 7
        assert np.allclose(modern.parameters, old.parameters, rtol=0, atol=1e-6)
        assert np.allclose(modern.residuals, old.residuals, atol=1e-6)
        assert modern.sigma == pytest.approx(old.sigma, rel=1e-6)
        assert np.allclose(modern.apply(src) - noisy, modern.residuals, atol=1e-6)
        # standard deviations in the parameters' own units: sqrt of the diagonal
        assert np.allclose(modern.standard_deviations, np.sqrt(np.diag(modern.covariance)))
    xy = np.column_stack(PLANE)[:9]
    hs, ht = H[:9], H[:9] + 0.3 + 1e-5 * xy[:, 0]
    modern = tervala.fit_height_plane(xy, hs, ht, origin=(2e5, 4e5))
    old = legacy().Parameters_HeightTrans(4e5, 2e5, xy, hs, ht)  # legacy order: y0, x0
    assert np.allclose(modern.parameters, old.parameters, atol=1e-9)
    assert modern.mean_accuracy == pytest.approx(old.mean_accuracy, abs=1e-9)


# pyproj's tmerc (Poder/Engsager, Krueger's series to n^6) is the oracle:
# the legacy series keep within 1 mm up to max_offset from the meridian,
# Krueger's series within 10 nm out to 30 degrees.
@pytest.mark.parametrize("make,proj", [
    (lambda m: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0, method=m),
     "+proj=tmerc +lat_0=38 +lon_0=127 +k=1 +x_0=200000 +y_0=600000 +ellps=GRS80"),
    (lambda m: tervala.Utm(33, south=True, method=m), "+proj=utm +zone=33 +south +ellps=WGS84"),
    (lambda m: tervala.Utm(52, ellipsoid=tervala.Ellipsoid("Bessel1841"), method=m), "+proj=utm +zone=52 +ellps=bessel"),
])
@pytest.mark.parametrize("method,tolerance_m", [("legacy", 1e-3), ("kruger", 1e-8)])
def test_projections_agree_with_pyproj(make, proj, method, tolerance_m):
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    p = make(method)
    assert p.method == method
    transformer = pyproj.Transformer.from_pipeline(proj)
    lat = RNG.uniform(-79.0, 83.0, N) if isinstance(p, tervala.Utm) else RNG.uniform(-80.0, 80.0, N)
    lon = p.central_meridian + RNG.uniform(-1.0, 1.0, N) * min(p.max_offset, 30.0)
    e, n = p.forward(lat, lon, threads=2)
    pe, pn = transformer.transform(lon, lat)
    assert np.max(np.hypot(e - pe, n - pn)) < tolerance_m
    back = p.inverse(pe, pn, xy=True)  # the inverse's error on the ground, about 111.32 km per degree
    ground = 111320.0 * np.hypot(back.latitude - lat, (back.longitude - lon) * np.cos(np.radians(lat)))
    assert np.max(ground) < tolerance_m
    outside = p.forward(10.0, p.central_meridian + 1.01 * p.max_offset_at(10.0))
    assert np.isnan(outside.easting) and np.isnan(outside.northing)


# A sphere (1/f = 0, PROJ's +R): Krueger's series reduce to the spherical
# Transverse Mercator, x = k R atanh(cos lat sin dlon), y = k R atan2(tan
# lat, cos dlon). PROJ evaluates y by an arc cosine, which loses up to 0.1 mm
# at the equator (60 nm still at 1.3 degrees), so it is the oracle beyond 10.
def test_sphere_agrees_with_pyproj_and_reads_from_proj_strings():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    text = "+proj=tmerc +lat_0=0 +lon_0=15 +k=0.9996 +x_0=500000 +R=6371000"
    p = tervala.TransverseMercator.from_proj(text)
    assert p == tervala.TransverseMercator(tervala.Ellipsoid.sphere(6371000.0), 0.0, 15.0, false_easting=500000.0,
                                           scale_factor=0.9996)
    assert tervala.TransverseMercator.from_proj(text.replace("+R=", "+a=")) == p
    assert p.ellipsoid.flattening == 0.0 and p.ellipsoid.b == 6371000.0
    lat, lon = RNG.uniform(-85.0, 85.0, N), 15.0 + RNG.uniform(-40.0, 40.0, N)
    e, n = p.forward(lat, lon)
    phi, dlon, kr = np.radians(lat), np.radians(lon - 15.0), 0.9996 * 6371000.0
    ce, cn = 500000.0 + kr * np.arctanh(np.cos(phi) * np.sin(dlon)), kr * np.arctan2(np.tan(phi), np.cos(dlon))
    assert np.max(np.hypot(e - ce, n - cn)) < 1e-8
    pe, pn = pyproj.Transformer.from_pipeline(text).transform(lon, lat)
    away = np.abs(lat) > 10.0
    assert np.max(np.hypot(e - pe, n - pn)[away]) < 1e-8


# Each refusal names the value; ValueError for a value, TypeError for a type.
# (Every refusal of the types themselves: the C++ suite; here one of each
# kind through the binding, and what only Python can get wrong.)
@pytest.mark.parametrize("call,error,match", [
    (lambda: tervala.Ellipsoid("Mars"), ValueError, "Mars"),
    (lambda: tervala.Ellipsoid(6378137.0, 1 / 298.257), ValueError, "0.00335"),
    (lambda: tervala.Ellipsoid(6378137.0), ValueError, "inverse_flattening"),
    (lambda: tervala.Ellipsoid("GRS80", 298.0), ValueError, "name alone"),
    (lambda: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 91.0, 0.0), ValueError, "91"),
    (lambda: tervala.Utm(0), ValueError, "zone 0"),
    (lambda: tervala.Utm(33, ellipsoid=tervala.Ellipsoid.sphere(6371000.0), method="legacy"), ValueError, "sphere"),
    (lambda: tervala.Utm.for_longitude(float("inf")), ValueError, "inf"),
    (lambda: tervala.Helmert7(**SEVEN, convention="cf"), ValueError, "'cf'"),
    (lambda: tervala.Helmert7(**{**SEVEN, "s": -2e6}, convention="position_vector"), ValueError, "s"),
    (lambda: tervala.Helmert7(tx=1.0, ty=2.0, tz=3.0), TypeError, ""),
    (lambda: tervala.Helmert7(**SEVEN, convention="position_vector", rotations="small"), ValueError, "'small'"),
    (lambda: tervala.MolodenskyBadekas(**SEVEN, convention="position_vector", origin=(1.0, 2.0)), ValueError, "origin"),
    (lambda: tervala.Helmert2D(0.0, 0.0, 0.0, 1e6), ValueError, "rotation"),
    (lambda: tervala.Utm(33).forward("north", 15.0), TypeError, "latitude"),
    (lambda: tervala.Utm(33).forward(np.zeros(3), np.zeros(4)), ValueError, "broadcast"),
    (lambda: tervala.Utm(33).forward(1.0, 15.0, threads=-1), ValueError, "threads"),
    (lambda: tervala.fit_helmert7(np.zeros((2, 3)), np.zeros((2, 3)), convention="position_vector"), ValueError, "3"),
    (lambda: tervala.fit_helmert7(np.zeros((4, 2)), np.zeros((4, 2)), convention="position_vector"), ValueError,
     r"source must be an \(n, 3\)"),
    (lambda: tervala.fit_helmert_2d(np.zeros((3, 2)), np.zeros((4, 2))), ValueError, "length|same"),
    (lambda: tervala.fit_helmert_2d(np.zeros((3, 2)), np.zeros((3, 2))).apply([[0.0, 0.0]]), ValueError, "degenerate"),
    (lambda: tervala.fit_height_plane(np.zeros((3, 2)), np.zeros(3), np.zeros(3)).slope1, ValueError, "degenerate"),
    (lambda: tervala.Egm96Model("/nonexistent/EGM96.dat"), FileNotFoundError, "/nonexistent/EGM96.dat"),
    (lambda: tervala.GeoidGrid("/nonexistent/grid.dat"), FileNotFoundError, "/nonexistent/grid.dat"),
    (lambda: tervala.GeoidGrid("/dev/null"), tervala.DataFileError, "/dev/null"),
    (lambda: tervala.GeoidGrid(b"a\0b"), ValueError, "null"),
])
def test_refusals_name_the_value(call, error, match):
    with pytest.raises(error, match=match):
        call()


@pytest.fixture
def grid_file(scratch):
    # A regional 1-degree grid holding a plane in latitude and longitude.
    lat = 40.0 - np.arange(21.0)
    lon = 120.0 + np.arange(21.0)
    path = scratch / "kgeoid14.dat"
    write_grid_file(path, 40.0, 120.0, 1.0, 1.0, 20.0 + 0.25 * lat[:, None] - 0.125 * lon[None, :])
    return path


def test_geoid_grid_matches_the_legacy_grid_and_refuses_its_edges(grid_file):
    grid = tervala.GeoidGrid(grid_file)
    assert (grid.rows, grid.columns, grid.is_global) == (21, 21, False)
    lat, lon = RNG.uniform(24.0, 36.0, 500), RNG.uniform(124.0, 136.0, 500)
    t = tervala.Tervala()
    tervala.Tervala.SetDataFolder(grid_file.parent)
    t.LoadKEGMData(14)
    assert same_bits(grid.height(lat, lon), t.kegm_geoid_height(lat, lon))
    assert np.allclose(grid.height(lat, lon), 20.0 + 0.25 * lat - 0.125 * lon, atol=1e-4)
    assert np.isnan(grid.height(39.5, 130.0)) and np.isnan(grid.height(30.0, 150.0))


def test_egm96_model_matches_the_legacy_member():
    folder = egm96_folder()
    model = tervala.Egm96Model(folder)
    t = tervala.Tervala()
    tervala.Tervala.SetDataFolder(folder)
    t.LoadEGMData()
    lat, lon = LAT[:40], LON[:40]
    assert same_bits(model.height(lat, lon), t.egm96_geoid_height(lat, lon))
    assert same_bits(model.height(lon, lat, xy=True), t.egm96_geoid_height(lat, lon))
    assert tervala.Egm96Model(folder / "EGM96.dat").path == model.path


def every_value(grid_file):
    """One object of every type in every state it can be in."""
    grs80 = tervala.Ellipsoid("GRS80")
    src = np.column_stack([RNG.uniform(-2e4, 2e4, 6) + c for c in ORIGIN])
    dst = np.column_stack(tervala.Helmert7(**SEVEN, convention="position_vector").forward(*src.T))
    xy = np.column_stack(PLANE)[:5]
    values = [
        grs80, tervala.Ellipsoid(*BESSEL),
        tervala.TransverseMercator(grs80, 38.0, 127.0, 600000.0, 200000.0, 0.9996),
        tervala.TransverseMercator(tervala.Ellipsoid(*BESSEL), 0.0, 190.0),
        tervala.Utm(52), tervala.Utm(33, south=True, ellipsoid=tervala.Ellipsoid(*BESSEL)),
        tervala.Helmert7(**SEVEN, convention="position_vector"), tervala.Helmert7(**SEVEN, convention="coordinate_frame"),
        tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame", origin=ORIGIN),
        tervala.Helmert7(**SEVEN, convention="position_vector", rotations="small_angle"),
        tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame", origin=ORIGIN, rotations="small_angle"),
        tervala.AbridgedMolodensky(tervala.Ellipsoid(*BESSEL), tervala.Ellipsoid("WGS84"), 582.0, 105.0, 414.0),
        tervala.Helmert2D(1.0, 2.0, 3.0, 4.0, (5.0, 6.0)), tervala.HeightPlane(1e-5, 2e-5, 0.5, (5.0, 6.0)),
        tervala.GeoidGrid(grid_file),
        tervala.fit_helmert7(src, dst, convention="position_vector"),
        tervala.fit_molodensky_badekas(src, dst, convention="coordinate_frame"),
        tervala.fit_helmert7(np.ones((3, 3)), np.ones((3, 3)), convention="position_vector"),  # degenerate
        tervala.fit_helmert_2d(xy, xy + 1.0), tervala.fit_helmert_2d(np.ones((2, 2)), np.ones((2, 2))),
        tervala.fit_height_plane(xy, H[:5], H[:5] + 1.0), tervala.fit_height_plane(xy[:3] * 0, H[:3], H[:3]),
        tervala.Geodetic(1.0, 2.0, 3.0), tervala.Projected(4.0, 5.0),
    ]
    try:
        values.append(tervala.Egm96Model(egm96_folder()))
    except pytest.skip.Exception:
        pass
    return values


def fingerprint(value):
    """What a value computes and reports, to compare across a pickle."""
    if isinstance(value, tuple):
        return value
    out = [repr(value)]
    for method, args in [("forward", (np.array([30.0, 50.0]), np.array([128.0, 14.0]))),
                         ("to_geocentric", (LAT[:3], LON[:3])), ("inverse", (np.array([3.1e5]), np.array([4.1e6]))),
                         ("height", (np.array([30.0]), np.array([130.0]))), ("shift", (LAT[:3], LON[:3]))]:
        if callable(getattr(type(value), method, None)):
            try:
                out.append(getattr(value, method)(*args))
            except TypeError:
                out.append(getattr(value, method)(*args, np.array([5.0])))
    for field in ["covariance", "residuals", "standard_deviations", "degenerate", "rank", "sigma", "transformation"]:
        if hasattr(value, field):
            out.append(getattr(value, field))
    return [np.asarray(o, dtype=np.float64).view(np.uint64).tolist() if not isinstance(o, str) and
            not hasattr(o, "forward") else repr(o) for o in out]


@pytest.mark.parametrize("rotations,want", [
    # rz = 1" on (a, 0, 0), coordinate frame: the small-angle matrix gives
    # (a, -a rz, 0), the exact one (a cos rz, -a sin rz, 0).
    ("small_angle", (6378137.0, -6378137.0 * math.pi / 648000.0)),
    ("exact", (6378137.0 * math.cos(math.pi / 648000.0), -6378137.0 * math.sin(math.pi / 648000.0))),
])
def test_rotation_form_picks_the_matrix(rotations, want):
    h = tervala.Helmert7(tx=0.0, ty=0.0, tz=0.0, s=0.0, rx=0.0, ry=0.0, rz=1.0, convention="coordinate_frame",
                         rotations=rotations)
    x, y, z = h.forward(6378137.0, 0.0, 0.0)
    assert abs(x - want[0]) < 1e-9 and abs(y - want[1]) < 1e-9 and abs(z) < 1e-9
    assert h.rotations == rotations and h.to_convention("position_vector").rotations == rotations
    assert tervala.Helmert7(**SEVEN, convention="position_vector").rotations == "exact"


def test_every_value_survives_a_pickle_round_trip(grid_file):
    for value in every_value(grid_file):
        back = pickle.loads(pickle.dumps(value))
        assert type(back) is type(value)
        assert fingerprint(back) == fingerprint(value), repr(value)


def test_a_file_is_read_once_per_process_until_it_changes(grid_file):
    loads = tervala._tervala._file_loads()
    first = tervala.GeoidGrid(grid_file)
    pickle.loads(pickle.dumps(first))
    tervala.GeoidGrid(str(grid_file))
    assert tervala._tervala._file_loads() == loads + 1
    write_grid_file(grid_file, 40.0, 120.0, 1.0, 1.0, np.full((21, 22), 5.0))  # rewritten: read again
    assert tervala.GeoidGrid(grid_file).columns == 22 and first.columns == 21
    assert tervala._tervala._file_loads() == loads + 2


def test_values_travel_to_fresh_processes_without_initialisers(grid_file):
    # spawn: the workers start empty and load the grid from its path.
    grid = tervala.GeoidGrid(grid_file)
    utm = tervala.Utm(52)
    lat, lon = list(RNG.uniform(25.0, 35.0, 8)), list(RNG.uniform(125.0, 135.0, 8))
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        heights = list(pool.map(grid.height, lat, lon))
        projected = list(pool.map(utm.forward, lat, lon))
    assert heights == [grid.height(a, b) for a, b in zip(lat, lon)]
    assert projected == [utm.forward(a, b) for a, b in zip(lat, lon)]


def test_legacy_face_guards_what_misleads():
    t = tervala.Tervala()
    with pytest.raises(ValueError, match="flattening f given instead of 1/f"):
        t.Setup_Ellipsoid(6378137.0, 1 / 298.26)
    for a, f in [(0.0, 298.0), (float("nan"), 298.0), (6378137.0, 1.0), (6378137.0, float("nan"))]:
        with pytest.raises(ValueError, match="Setup_Ellipsoid"):
            t.Setup_Ellipsoid(a, f)
    t.Setup_Ellipsoid(6378137.0, float("inf"))  # a sphere stays allowed
    assert t.Geodetic_to_Geocentric(90.0, 0.0, 0.0)[2] == pytest.approx(6378137.0)

    with pytest.warns(UserWarning, match="'/nonexistent/EGM96.dat' is not read"):
        with pytest.raises(FileNotFoundError):
            t.LoadEGMData("/nonexistent/EGM96.dat")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(FileNotFoundError):
            t.LoadEGMData()  # no name, no warning


def test_help_and_signatures_show_parameter_names():
    import inspect
    assert list(inspect.signature(tervala.Helmert7).parameters) == ["tx", "ty", "tz", "s", "rx", "ry", "rz",
                                                                    "convention", "rotations"]
    assert str(inspect.signature(tervala.Utm(1).forward)) == "(latitude, longitude, *, xy=False, threads=0)"
    assert "latitude_of_origin" in str(inspect.signature(tervala.Tervala.Geodetic_to_TM))
    assert str(inspect.signature(tervala.Tervala.abridged_molodensky)) == \
        "(self, lat, lon, dX, dY, dZ, da, df, *, threads=0)"
    assert tervala.__version__.count(".") == 2


# One point in Python numbers takes a short way past pybind11's dispatcher;
# it must return what the array path returns for that point (same doubles,
# same named tuple, the same default height), with and without xy=True (xy:
# which of the first two inputs and results trade places), for ints and NumPy
# floats too, and hand everything else (other keywords, subclasses, wrong
# arguments) on.
def test_one_point_calls_equal_the_array_path(grid_file):
    grs80, bessel = tervala.Ellipsoid("GRS80"), tervala.Ellipsoid(*BESSEL)
    tm = tervala.TransverseMercator(grs80, 38.0, 127.0, 600000.0, 200000.0, 0.9999)
    utm = tervala.Utm(33, south=True)
    abridged = tervala.AbridgedMolodensky(bessel, grs80, 582.0, 105.0, 414.0)
    plane = (PLANE[0][:9], PLANE[1][:9])
    xyz = tuple(c[:9] for c in XYZ)
    lat, lon, h = LAT[:9], 127.0 + OFFSET[:9], H[:9]
    grid_at = (RNG.uniform(22.0, 38.0, 9), RNG.uniform(122.0, 138.0, 9))
    cases = [  # method, arguments, what xy=True swaps: "in", "out", "both" or None (no xy)
        (grs80.to_geocentric, (lat, lon, h), "in"), (grs80.to_geocentric, (lat, lon), "in"),
        (grs80.to_geodetic, xyz, "out"), (tm.forward, (lat, lon), "in"), (tm.inverse, tm.forward(lat, lon), "out"),
        (tm.forward_with_scale, (lat, lon), "in"), (tm.inverse_with_scale, tm.forward(lat, lon), "out"),
        (utm.forward, (-np.abs(lat), lon - 112.0), "in"), (utm.inverse, utm.forward(-np.abs(lat), lon - 112.0), "out"),
        (tervala.Helmert7(**SEVEN, convention="position_vector").forward, xyz, None),
        (tervala.Helmert7(**SEVEN, convention="coordinate_frame").inverse, xyz, None),
        (tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame", origin=ORIGIN).inverse, xyz, None),
        (abridged.shift, (lat, lon), "in"), (abridged.forward, (lat, lon), "both"),
        (tervala.Helmert2D(12.5, -7.25, 3.5, 1.75, (2e5, 4e5)).inverse, plane, None),
        (tervala.HeightPlane(1.5e-5, -2.5e-5, 0.125, (2e5, 4e5)).forward, plane + (h,), None),
        (tervala.GeoidGrid(grid_file).height, grid_at, "in"),
    ]
    for method, args, swaps in cases:
        calls = [(args, {}), (args, {"threads": 1})]
        if swaps:
            calls.append(((args[1], args[0]) + args[2:] if swaps in ("in", "both") else args, {"xy": True}))
        for given, keywords in calls:
            arrays = method(*given, **keywords)
            if swaps and "xy" in keywords:  # the same point as without xy, the fields in xy order
                plain = method(*args)
                assert same_bits(np.array(arrays)[:2], np.array(plain)[:2] if swaps == "in" else np.array(plain)[1::-1])
            for i in range(len(given[0])):
                one = method(*(float(a[i]) for a in given), **keywords)
                assert type(one) is type(arrays) or isinstance(one, float), (method, keywords)
                assert same_bits(np.array(one), np.array(arrays)[..., i]), (method, keywords, i)
    assert tm.forward(np.float64(38), 127) == tm.forward(38.0, 127.0) == tm.forward(longitude=127.0, latitude=38.0)
    assert grs80.to_geocentric(10.0, height=5.0, longitude=20.0) == grs80.to_geocentric(10.0, 20.0, 5.0)
    class Local(tervala.TransverseMercator):
        pass
    assert Local(grs80, 38.0, 127.0, 600000.0, 200000.0, 0.9999).forward(37.5, 127.3) == tm.forward(37.5, 127.3)
    for call in (lambda: tm.forward(37.5), lambda: tm.forward(37.5, 127.3, 1.0), lambda: tm.forward(37.5, "a"), lambda: tm.forward(True, 127.0),
                 lambda: tm.forward(37.5, 127.3, yx=True), lambda: tm.forward(37.5, latitude=1.0),
                 lambda: tm.forward(longitude=1.0)):
        with pytest.raises(TypeError):
            call()
    with pytest.raises(ValueError, match="threads"):
        tm.forward(37.5, 127.3, threads=-1)


# Convergence and point scale against PROJ's (pyproj's get_factors, derived
# numerically from its exact tmerc): Krueger's series keep within 5e-8
# degrees and 1e-8 of them out to 30 degrees from the meridian.
@pytest.mark.parametrize("make,proj", [
    (lambda: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0, 0.9999),
     "+proj=tmerc +lat_0=38 +lon_0=127 +k=0.9999 +x_0=200000 +y_0=600000 +ellps=GRS80"),
    (lambda: tervala.Utm(33, south=True), "+proj=utm +zone=33 +south +ellps=WGS84"),
])
def test_convergence_and_scale_agree_with_pyproj(make, proj):
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    p = make()
    lat = RNG.uniform(-79.0, 83.0, N) if isinstance(p, tervala.Utm) else RNG.uniform(-80.0, 80.0, N)
    lon = p.central_meridian + RNG.uniform(-1.0, 1.0, N) * min(p.max_offset, 30.0)
    factors = pyproj.Proj(proj).get_factors(lon, lat)
    there = p.forward_with_scale(lat, lon)
    back = p.inverse_with_scale(there.easting, there.northing, xy=True)
    assert same_bits(there.easting, p.forward(lat, lon).easting)
    assert np.allclose(back.longitude, lon, rtol=0.0, atol=1e-7)  # xy: the longitude first
    for r in (there, back):
        assert np.max(np.abs(r.convergence - factors.meridian_convergence)) < 5e-8
        assert np.max(np.abs(r.scale - factors.meridional_scale)) < 1e-8
    assert np.all(np.isnan(p.forward_with_scale(10.0, p.central_meridian + 1.01 * p.max_offset)))


# --- Transverse Mercator grids of national mapping agencies ---------------------------
# Every point of a grid over each CRS's area of use (from pyproj's database)
# is computed by the value types (Krueger's series by default, the ellipsoid
# named as pyproj names it) and agrees with pyproj's tmerc within 0.01 mm,
# forward and inverse; the legacy series refused parts of these areas.
@pytest.mark.parametrize("epsg,grid", [
    (3006, dict(latitude_of_origin=0.0, central_meridian=15.0, false_northing=0.0, false_easting=500000.0,
                scale_factor=0.9996)),                                                # SWEREF 99 TM
    (27700, dict(latitude_of_origin=49.0, central_meridian=-2.0, false_northing=-100000.0, false_easting=400000.0,
                 scale_factor=0.9996012717)),                                         # British National Grid
    (5179, dict(latitude_of_origin=38.0, central_meridian=127.5, false_northing=2000000.0, false_easting=1000000.0,
                scale_factor=0.9996)),                                                # UTM-K
    (2193, dict(latitude_of_origin=0.0, central_meridian=173.0, false_northing=10000000.0, false_easting=1600000.0,
                scale_factor=0.9996)),                                                # NZTM
])
def test_national_grids_cover_their_areas_of_use(epsg, grid):
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    crs = pyproj.CRS.from_epsg(epsg)
    west, south, east, north = crs.area_of_use.bounds
    if east < west:
        east += 360.0
    lon, lat = np.meshgrid(np.linspace(west, east, 120), np.linspace(south, north, 120))
    lon, lat = lon.ravel(), lat.ravel()
    tm = tervala.TransverseMercator(tervala.Ellipsoid(crs.ellipsoid.name), **grid)
    to_grid = pyproj.Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True)
    pe, pn = to_grid.transform(lon, lat)
    e, n = tm.forward(lat, lon)
    assert np.all(np.isfinite(e)) and np.all(np.isfinite(n))
    assert np.max(np.hypot(e - pe, n - pn)) < 1e-5
    back = tm.inverse(pe, pn)
    dlon = (back.longitude - lon + 180.0) % 360.0 - 180.0
    ground = 111320.0 * np.hypot(back.latitude - lat, dlon * np.cos(np.radians(lat)))
    assert np.max(ground) < 1e-5
    # The legacy series, asked for explicitly, still refuse the farthest
    # corners of the two wide grids rather than print a wrong number.
    legacy = tervala.TransverseMercator(tervala.Ellipsoid(crs.ellipsoid.name), **grid, method="legacy")
    le, _ = legacy.forward(lat, lon)
    ok = np.isfinite(le)
    assert np.max(np.abs(le[ok] - pe[ok])) < 1e-3


# South Orientated Transverse Mercator: Hartebeesthoek94 / Lo29 (EPSG 2053),
# westing and southing, against pyproj, with both methods.
@pytest.mark.parametrize("method,tolerance", [("kruger", 1e-8), ("legacy", 1e-3)])
def test_south_oriented_grid_agrees_with_pyproj(method, tolerance):
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    crs = pyproj.CRS.from_epsg(2053)
    assert [a.direction for a in crs.axis_info] == ["west", "south"]
    lo29 = tervala.TransverseMercator(tervala.Ellipsoid(crs.ellipsoid.name), 0.0, 29.0, method=method,
                                      south_oriented=True)
    assert lo29.south_oriented and "south_oriented=True" in repr(lo29)
    lat, lon = RNG.uniform(-35.0, -22.0, N), RNG.uniform(27.0, 31.0, N)
    pw, ps = pyproj.Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True).transform(lon, lat)
    w, s = lo29.forward(lat, lon)
    assert np.max(np.hypot(w - pw, s - ps)) < tolerance
    back = lo29.inverse(pw, ps)
    assert np.max(np.abs(back.latitude - lat)) < tolerance / 1e5 and np.max(np.abs(back.longitude - lon)) < tolerance / 1e5
    same = pickle.loads(pickle.dumps(lo29))
    assert same.south_oriented and same.method == method


# Ellipsoid names as PROJ (proj -le, pyproj.get_ellps_map) and EPSG (pyproj's
# CRS.ellipsoid.name) spell them give PROJ's and EPSG's constants.
def test_ellipsoid_names_of_proj_and_epsg():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    ellps = pyproj.get_ellps_map()
    for short in ["GRS80", "WGS84", "bessel", "clrk66", "intl", "krass", "airy", "WGS72", "WGS66", "GRS67", "aust_SA",
                  "evrst30", "helmert", "hough", "bess_nam", "mod_airy"]:
        p = ellps[short]
        for text in (short, short.upper(), " ".join(short)):  # case and spaces forgiven
            e = tervala.Ellipsoid(text)
            assert e.a == p["a"], text
            b = p["b"] if "b" in p else p["a"] * (1 - 1 / p["rf"])
            assert abs(e.b - b) < 1e-5, text  # Clarke 1866: 1/f as published, 294.9786982
    for epsg in [4326, 4277, 4230, 4284, 4267, 4314, 4322, 4202, 4240, 4019]:
        ref = pyproj.CRS.from_epsg(epsg).ellipsoid
        e = tervala.Ellipsoid(ref.name)
        assert e.a == ref.semi_major_metre, ref.name
        assert abs(e.inverse_flattening - ref.inverse_flattening) < 1e-9 * ref.inverse_flattening, ref.name
    with pytest.raises(ValueError, match="clrk80"):
        tervala.Ellipsoid("clrk80")  # in PROJ's list, not in the table: refused, not guessed
