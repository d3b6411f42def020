"""Objects as values: equality, hashing, pickling and eval(repr(x)) for every
value type; constructor calls and inputs that are refused with the argument
named; the legacy fit results pickle."""

import os
import pickle
import re

import numpy as np
import pytest

import tervala
from conftest import GRS80, write_grid_file

# eval(repr(x)) as a user types it after "from tervala import *".
NAMESPACE = {name: getattr(tervala, name) for name in tervala.__all__}

BESSEL = tervala.Ellipsoid("Bessel1841")
SEVEN = dict(tx=-146.414, ty=507.337, tz=680.507, s=-0.0, rx=1.162, ry=2.347, rz=1.592)


def ntv2(name):
    path = f"/usr/share/proj/{name}"
    if not os.path.exists(path):
        pytest.skip(f"{path} is missing (Debian proj-data ships it)")
    return path


def grid_file(folder, name, north=44.0):
    write_grid_file(folder / name, north, 122.0, 0.25, 0.25, np.full((12, 12), 25.0, dtype=np.float32))
    return folder / name


# (name, factory of the value, factories of values that differ from it in one defining value)
VALUES = [
    ("ellipsoid by name", lambda d: tervala.Ellipsoid("GRS80"),
     [lambda d: tervala.Ellipsoid("WGS84"), lambda d: tervala.Ellipsoid(6378137.0, 298.25)]),
    ("ellipsoid by constants", lambda d: tervala.Ellipsoid(6377397.155, 299.1528128),
     [lambda d: tervala.Ellipsoid(6377397.156, 299.1528128)]),
    ("transverse mercator", lambda d: tervala.TransverseMercator(tervala.Ellipsoid(*GRS80), 38.0, 127.0, 600000.0,
                                                                 200000.0, 1.0),
     [lambda d: tervala.TransverseMercator(BESSEL, 38.0, 127.0, 600000.0, 200000.0, 1.0),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0, 0.9996),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 200000.0, 600000.0, 1.0),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 37.0, 127.0, 600000.0, 200000.0, 1.0),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 129.0, 600000.0, 200000.0, 1.0),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0, 1.0,
                                           method="legacy"),
      lambda d: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0, 1.0,
                                           south_oriented=True)]),
    ("utm", lambda d: tervala.Utm(52),
     [lambda d: tervala.Utm(52, south=True), lambda d: tervala.Utm(51),
      lambda d: tervala.Utm(52, ellipsoid=tervala.Ellipsoid("GRS80")), lambda d: tervala.Utm(52, method="legacy")]),
    ("helmert7", lambda d: tervala.Helmert7(**SEVEN, convention="position_vector"),
     [lambda d: tervala.Helmert7(**SEVEN, convention="coordinate_frame"),
      lambda d: tervala.Helmert7(**{**SEVEN, "rz": -1.592}, convention="position_vector"),
      lambda d: tervala.Helmert7(**{**SEVEN, "s": 1e-9}, convention="position_vector"),
      lambda d: tervala.Helmert7(**SEVEN, convention="position_vector", rotations="small_angle")]),
    ("molodensky-badekas", lambda d: tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame",
                                                               origin=(-3e6, 4e6, 3.8e6)),
     [lambda d: tervala.MolodenskyBadekas(**SEVEN, convention="coordinate_frame", origin=(-3e6, 4e6, 3.9e6)),
      lambda d: tervala.MolodenskyBadekas(**SEVEN, convention="position_vector", origin=(-3e6, 4e6, 3.8e6))]),
    ("abridged molodensky", lambda d: tervala.AbridgedMolodensky(BESSEL, tervala.Ellipsoid("WGS84"), -146.4, 507.3,
                                                                 680.5),
     [lambda d: tervala.AbridgedMolodensky(tervala.Ellipsoid("WGS84"), BESSEL, -146.4, 507.3, 680.5),
      lambda d: tervala.AbridgedMolodensky(BESSEL, tervala.Ellipsoid("WGS84"), -146.4, 507.3, 680.6)]),
    ("helmert2d", lambda d: tervala.Helmert2D(12.5, -3.25, 7.5, -20.0, origin=(1000.0, 2000.0)),
     [lambda d: tervala.Helmert2D(-3.25, 12.5, 7.5, -20.0, origin=(1000.0, 2000.0)),
      lambda d: tervala.Helmert2D(12.5, -3.25, 7.5, -20.0, origin=(2000.0, 1000.0)),
      lambda d: tervala.Helmert2D(12.5, -3.25, 7.5, 20.0, origin=(1000.0, 2000.0))]),
    ("height plane", lambda d: tervala.HeightPlane(1e-5, -2e-5, 0.25, origin=(1000.0, 2000.0)),
     [lambda d: tervala.HeightPlane(-2e-5, 1e-5, 0.25, origin=(1000.0, 2000.0)),
      lambda d: tervala.HeightPlane(1e-5, -2e-5, 0.25)]),
    ("ups", lambda d: tervala.Ups(True), [lambda d: tervala.Ups(False), lambda d: tervala.Ups(True, BESSEL)]),
    ("utmups", lambda d: tervala.UtmUps(), [lambda d: tervala.UtmUps(BESSEL)]),
    ("mgrs", lambda d: tervala.Mgrs(), [lambda d: tervala.Mgrs(lettering="older"), lambda d: tervala.Mgrs(BESSEL)]),
    ("geoid grid", lambda d: tervala.GeoidGrid(grid_file(d, "a.dat")),
     [lambda d: tervala.GeoidGrid(grid_file(d, "b.dat"))]),
    ("helmert15", lambda d: tervala.Helmert15(**SEVEN, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, 2e-5), t_ref=2010.0,
                                              convention="coordinate_frame"),
     [lambda d: tervala.Helmert15(**SEVEN, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, 2e-5), t_ref=2015.0,
                                  convention="coordinate_frame"),
      lambda d: tervala.Helmert15(**SEVEN, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, -2e-5), t_ref=2010.0,
                                  convention="coordinate_frame"),
      lambda d: tervala.Helmert15(**SEVEN, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, 2e-5), t_ref=2010.0,
                                  convention="position_vector"),
      lambda d: tervala.Helmert15(**SEVEN, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, 2e-5), t_ref=2010.0,
                                  convention="coordinate_frame", rotations="small_angle"),
      lambda d: tervala.Helmert15(**{**SEVEN, "tx": 0.0}, rates=(0.1, 0.0, -1e-3, 0.01, 0.0, 0.0, 2e-5),
                                  t_ref=2010.0, convention="coordinate_frame")]),
    ("grid shift", lambda d: tervala.GridShift(ntv2("ntf_r93.gsb")),
     [lambda d: tervala.GridShift(ntv2("nzgd2kgrid0005.gsb"))]),
]


@pytest.mark.parametrize("name, make, others", VALUES, ids=[v[0] for v in VALUES])
def test_value_equality_hashing_pickling_and_repr(name, make, others, scratch):
    x, twin = make(scratch), make(scratch)
    assert x == twin and not (x != twin) and hash(x) == hash(twin)
    assert x is not twin
    for copy in (pickle.loads(pickle.dumps(x)), eval(repr(x), NAMESPACE)):
        assert type(copy) is type(x) and copy == x and hash(copy) == hash(x), repr(copy)
    for other in (o(scratch) for o in others):
        assert x != other and not (x == other), (repr(x), repr(other))
    assert len({x, twin, *(o(scratch) for o in others)}) == 1 + len(others)
    assert x != repr(x) and x != None  # noqa: E711 another type is never equal


def test_egm96_model_is_a_value():
    from conftest import egm96_folder
    folder = egm96_folder()
    a, b = tervala.Egm96Model(folder), tervala.Egm96Model(folder / "EGM96.dat", folder / "CORRCOEF.dat")
    assert a == b and hash(a) == hash(b)
    assert pickle.loads(pickle.dumps(a)) == a == eval(repr(a), NAMESPACE)


def test_equal_transformations_in_other_conventions_compare_after_conversion():
    a = tervala.Helmert7(**SEVEN, convention="position_vector")
    b = a.to_convention("coordinate_frame")
    assert a != b and b.to_convention("position_vector") == a


def test_named_tuple_results_round_trip_through_repr():
    tm = tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0, 127.0, 600000.0, 200000.0)
    for result in (tm.forward(37.5, 127.3), tm.inverse(226527.6649, 544546.4017, xy=True),
                   tm.forward_with_scale(37.5, 127.3), tervala.Ellipsoid("GRS80").to_geodetic(-3e6, 4e6, 3.8e6)):
        assert eval(repr(result), NAMESPACE) == result, repr(result)


# ---- Legacy fit results ---------------------------------------------------------------

def legacy_fits():
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    rng = np.random.default_rng(3)
    plane = rng.uniform(-1000, 1000, (6, 2))
    turned = plane @ np.array([[0.8, 0.6], [-0.6, 0.8]]) + [10.0, -5.0] + rng.normal(0, 0.01, (6, 2))
    space = np.array([-3.05e6, 4.05e6, 3.85e6]) + rng.uniform(-5e4, 5e4, (6, 3))
    return [t.Parameters_2DHelmert(plane, turned),
            t.Parameters_HeightTrans(0.0, 0.0, plane, np.zeros(6), 1.0 + 1e-4 * plane[:, 0] + rng.normal(0, 0.01, 6)),
            t.SevenParameters_Bursa_WolfModel(space, space + [1.0, -2.0, 3.0]),
            t.SevenParameters_Molodensky_BadekasModel(space, space * (1 + 2e-6))]


def test_legacy_fit_results_pickle_with_every_field():
    for fit in legacy_fits():
        copy = pickle.loads(pickle.dumps(fit))
        assert type(copy) is type(fit) and repr(copy) == repr(fit)
        fields = [f for f in dir(fit) if not f.startswith("_")]
        for field in fields:
            want, got = getattr(fit, field), getattr(copy, field)
            if want is None or isinstance(want, (bool, int, float)):
                assert got == want or (want != want and got != got), field
            else:
                assert np.array_equal(got, want, equal_nan=True), field
    with pytest.raises(ValueError, match="malformed"):
        type(fit).__new__(type(fit)).__setstate__((1.0,))


# ---- Refusals that name the argument ---------------------------------------------------

REFUSED_CALLS = [
    (lambda: tervala.Utm("52N"), TypeError, "Utm: argument 'zone' must be an integer, not '52N'.*south=True"),
    (lambda: tervala.Utm(52, "S"), TypeError, "Utm: argument 'south' must be True or False, not 'S'.*band S"),
    (lambda: tervala.Utm(52.5), TypeError, "argument 'zone' must be an integer, not 52.5"),
    (lambda: tervala.Utm(52, hemisphere="S"), TypeError, "unexpected keyword argument 'hemisphere'"),
    (lambda: tervala.Helmert7(**SEVEN), TypeError,
     "Helmert7: missing argument 'convention'.*\"position_vector\" or \"coordinate_frame\""),
    (lambda: tervala.Helmert7(1, 2, 3, 4, 5, 6, 7, "position_vector"), TypeError, "every argument is given by keyword"),
    (lambda: tervala.Helmert7(**{**SEVEN, "tx": "1"}, convention="position_vector"), TypeError,
     "argument 'tx' must be a real number, not '1'"),
    (lambda: tervala.MolodenskyBadekas(**SEVEN, convention="position_vector"), TypeError,
     "MolodenskyBadekas: missing argument 'origin'"),
    (lambda: tervala.TransverseMercator("GRS80", 38.0, 127.0), TypeError,
     "argument 'ellipsoid' must be a tervala.Ellipsoid"),
    (lambda: tervala.TransverseMercator(tervala.Ellipsoid("GRS80"), 38.0), TypeError,
     "missing argument 'central_meridian'"),
    (lambda: tervala.Helmert2D(1.0, 2.0, 3.0, None), TypeError, "argument 'rotation' must be a real number, not None"),
    (lambda: tervala.AbridgedMolodensky(BESSEL, "WGS84", 1, 2, 3), TypeError, "argument 'target'"),
]


@pytest.mark.parametrize("call, error, message", REFUSED_CALLS)
def test_constructor_refusals_name_the_argument(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_bool_masked_and_missing_inputs_are_refused():
    pd = pytest.importorskip("pandas")
    tm = tervala.Utm(52)
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    masked = np.ma.masked_array([37.0, 38.0], mask=[False, True])
    nullable = pd.Series([37, None], dtype="Int64")
    cases = [
        (lambda: tm.forward(True, 129.0), TypeError, "argument 'latitude' must be real numbers .*got dtype bool"),
        (lambda: tm.forward(37.0, np.array([True])), TypeError, "argument 'longitude'.*dtype bool"),
        (lambda: tm.forward(masked, 129.0), TypeError, r"'latitude' is a masked array.*filled\(numpy.nan\)"),
        (lambda: tm.inverse(5e5, masked * 1e5), TypeError, "'northing' is a masked array"),
        (lambda: t.geodetic_to_geocentric(nullable, 129.0, 0.0), ValueError,
         r"'latitude' holds missing values \(Int64 with NA\)"),
        (lambda: tm.forward(37.0, nullable), ValueError, "'longitude' holds missing values"),
    ]
    for call, error, message in cases:
        with pytest.raises(error, match=message):
            call()
    # Nullable integers without NA are numbers like any other.
    complete = pd.Series([37, 38], dtype="Int64")
    assert np.array_equal(tm.forward(complete, 129.0).northing, tm.forward(np.array([37.0, 38.0]), 129.0).northing)


def test_data_file_error_keeps_its_filename_through_pickling(scratch):
    path = scratch / "short.dat"
    path.write_bytes(b"\0" * 20)
    with pytest.raises(tervala.DataFileError) as caught:
        tervala.GeoidGrid(path)
    assert caught.value.filename == str(path) and str(path) in str(caught.value)
    copy = pickle.loads(pickle.dumps(caught.value))
    assert type(copy) is tervala.DataFileError and isinstance(copy, OSError)
    assert copy.filename == str(path) and copy.args == caught.value.args
    assert re.search("not loaded|short|truncated|header", str(copy))


@pytest.mark.parametrize("name, head, command", [
    ("egm96_15.gtx", b"\x40\x56" + b"\0" * 30, "tervala data gtx-to-grid .*egm96_15.gtx grid.dat"),
    ("geoid.tif", b"II*\0" + b"\0" * 60, "tervala data import-grid .*geoid.tif grid.dat"),
    ("geoid.tiff", b"MM\0*" + b"\0" * 60, "tervala data import-grid"),
], ids=["gtx", "tiff-little-endian", "tiff-big-endian"])
def test_a_grid_in_another_format_names_its_converter(name, head, command, scratch):
    (scratch / name).write_bytes(head)
    with pytest.raises(tervala.DataFileError, match=command) as caught:
        tervala.GeoidGrid(scratch / name)
    assert caught.value.filename == str(scratch / name)
