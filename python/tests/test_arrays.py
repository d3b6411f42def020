"""Array functions: bit-for-bit equality with the per-point members, broadcasting, dtypes and threads."""

import numpy as np
import pytest

import tervala
from conftest import GRS80, same_bits


@pytest.fixture
def configured():
    """GRS80 with every kind of stored parameter set."""
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    t.SetParameters_Molodensky_BadekasModel(-3.0e6, 4.0e6, 3.8e6, -146.4, 507.3, 680.5, 1.17, -3.5, 2.2, -1.9)
    t.Set2DHelmert(120.5, -80.25, 20.0, 2000.0)
    t.SetHeightTrans(1e-5, -2e-5, 30.0)
    return t


def inputs(rng, n):
    """Distinct random arrays per argument, so that two swapped arguments change the result."""
    lon = rng.uniform(-180, 180, n)
    values = {"lat": rng.uniform(-80, 80, n), "lon": lon, "h": rng.uniform(-100, 5000, n),
              "lat0": rng.choice([0.0, 38.0, -33.0], n), "lon0": lon + rng.uniform(-3, 3, n),
              "N": rng.uniform(-9e6, 9e6, n), "E": rng.uniform(-1e5, 9e5, n), "k0": rng.uniform(0.9996, 1.0, n),
              "hemi": rng.integers(-1, 3, n), "df": rng.uniform(-1e-5, 1e-5, n)}
    values.update({k: rng.uniform(-6.4e6, 6.4e6, n) for k in ("X", "Y", "Z")})
    values.update({k: rng.uniform(-500, 500, n) for k in ("fn", "fe", "x0", "y0", "dx", "dy", "dz", "da")})
    return values


# array function, its arguments (keys of inputs()), and the per-point member
# with what it returns that the array function returns.
SHIFT = ["lat", "lon", "dx", "dy", "dz", "da", "df"]
CASES = [
    ("geodetic_to_geocentric", ["lat", "lon", "h"], lambda t, *a: t.Geodetic_to_Geocentric(*a)),
    ("geocentric_to_geodetic", ["X", "Y", "Z"], lambda t, *a: t.Geocentric_to_Geodetic(*a)),
    ("geodetic_to_tm", ["lat0", "lon0", "fn", "fe", "k0", "lat", "lon"], lambda t, *a: t.Geodetic_to_TM(*a, 0.0)[:2]),
    ("tm_to_geodetic", ["lat0", "lon0", "fn", "fe", "k0", "N", "E"], lambda t, *a: t.TM_to_Geodetic(*a, 0.0)[:2]),
    ("geodetic_to_utm", ["hemi", "lon0", "lat", "lon"], lambda t, *a: t.Geodetic_to_UTM(*a, 0.0)[:2]),
    ("utm_to_geodetic", ["hemi", "lon0", "N", "E"], lambda t, *a: t.UTM_to_Geodetic(*a, 0.0)[:2]),
    ("helmert_2d", ["x0", "y0", "N", "E"], lambda t, *a: t.Helmert2D(*a)),
    ("height_trans", ["x0", "y0", "N", "E", "h"], lambda t, *a: t.HeightTrans(*a)),
    ("bursa_wolf", ["X", "Y", "Z"], lambda t, *a: t.Bursa_WolfModel(*a)),
    ("inv_bursa_wolf", ["X", "Y", "Z"], lambda t, *a: t.Inv_Bursa_WolfModel(*a)),
    ("molodensky_badekas", ["X", "Y", "Z"], lambda t, *a: t.Molodensky_BadekasModel(*a)),
    ("inv_molodensky_badekas", ["X", "Y", "Z"], lambda t, *a: t.Inv_Molodensky_BadekasModel(*a)),
    ("abridged_molodensky", SHIFT, lambda t, *a: t.Abridged_Molodensky_Transform(*a)),
    ("corr_undulation", SHIFT, lambda t, *a: t.CorrUndulation(*a)),
]


def per_point(t, member, args):
    """The per-point member over broadcast arguments, as arrays."""
    args = np.broadcast_arrays(*[np.asarray(a) for a in args])
    rows = [member(t, *(a.item(i) for a in args)) for i in range(args[0].size)]
    out = np.array(rows, dtype=np.float64).reshape(args[0].shape + np.shape(rows[0]) if rows else (0,))
    return tuple(np.moveaxis(out, -1, 0)) if out.ndim > args[0].ndim else (out,)


def as_tuple(result):
    return result if isinstance(result, tuple) else (result,)


@pytest.mark.parametrize("name, keys, member", CASES, ids=[c[0] for c in CASES])
def test_array_results_equal_the_per_point_members_bit_for_bit(configured, name, keys, member):
    rng = np.random.default_rng([ord(c) for c in name])
    values = inputs(rng, 2001)
    for key in ("lat", "X", "N"):
        values[key][[3, 500]] = [np.nan, np.inf]  # non-finite input gives the member's own NaN/inf
    args = [values[k] for k in keys]
    expected = per_point(configured, member, args)
    for threads in (1, 3, 0):
        got = as_tuple(getattr(configured, name)(*args, threads=threads))
        assert len(got) == len(expected)
        for g, e in zip(got, expected):
            assert same_bits(g, e), (name, threads)


def test_threads_broadcasting_and_strides(grs80):
    rng = np.random.default_rng(7)
    lat, lon = rng.uniform(-80, 80, 50000), 127 + rng.uniform(-3, 3, 50000)
    n, e = grs80.geodetic_to_tm(38, 127, 600000, 200000, 1.0, lat, lon)  # auto: several threads here
    one_n, one_e = grs80.geodetic_to_tm(38, 127, 600000, 200000, 1.0, lat, lon, threads=1)
    assert same_bits(n, one_n) and same_bits(e, one_e)
    # Broadcasting (3, 1) with (1, 4) and a scalar; all scalars give Python floats.
    lat, lon = np.linspace(-60, 60, 3).reshape(3, 1), np.linspace(120, 130, 4).reshape(1, 4)
    got = grs80.geodetic_to_geocentric(lat, lon, 100.0)
    assert got[0].shape == (3, 4)
    assert all(same_bits(g, w) for g, w in zip(got, per_point(grs80, CASES[0][2], [lat, lon, 100.0])))
    scalar = grs80.geodetic_to_geocentric(37.5, 127.0, 100.0)
    assert all(type(v) is float for v in scalar) and scalar == grs80.Geodetic_to_Geocentric(37.5, 127.0, 100.0)
    n, e = grs80.geodetic_to_utm(0, 129, np.empty((0, 3)), 127.0)
    assert n.shape == e.shape == (0, 3)
    with pytest.raises(ValueError, match=r"could not be broadcast together with shapes \(3,\) \(2,\)"):
        grs80.geodetic_to_geocentric([1.0, 2.0, 3.0], [1.0, 2.0])
    # Strided, reversed and Fortran-ordered views read as their contiguous copies.
    base = rng.uniform(-80, 80, (40, 30))
    for view in [base[::3, ::-2], base.T, base[5], np.asfortranarray(base), base[:, 7]]:
        got = grs80.geodetic_to_tm(38, 127, 600000, 200000, 1.0, view, view * 0.02 + 127)
        want = grs80.geodetic_to_tm(38, 127, 600000, 200000, 1.0, np.ascontiguousarray(view),
                                    np.ascontiguousarray(view * 0.02 + 127))
        assert got[0].shape == view.shape and all(same_bits(g, w) for g, w in zip(got, want))


def test_dtypes_convert_to_float64(grs80):
    lat = np.array([10, 20, 30])
    reference = grs80.geodetic_to_geocentric(lat.astype(np.float64), 45.0, 0.0)
    variants = [lat, lat.tolist(), lat.astype(np.float32), lat.astype(">f8"), lat.astype(np.uint8),
                lat.astype(np.int16)]
    for v in variants:
        got = grs80.geodetic_to_geocentric(v, 45, 0)
        assert all(same_bits(g, r) for g, r in zip(got, reference)), np.asarray(v).dtype
    # float32 input is converted, not reinterpreted: 0.1f is not 0.1.
    f32 = grs80.geodetic_to_geocentric(np.float32(0.1), 0.0, 0.0)[2]
    assert f32 == grs80.Geodetic_to_Geocentric(float(np.float32(0.1)), 0.0, 0.0)[2] != \
        grs80.Geodetic_to_Geocentric(0.1, 0.0, 0.0)[2]
    for bad in (np.array([1 + 2j]), ["north"], [None], True, np.array([True])):
        with pytest.raises(TypeError, match="argument 'latitude'"):
            grs80.geodetic_to_geocentric(bad, 0.0, 0.0)
    # A hemisphere flag must be an integer: 1 = south, 0, 2, -1, True/False as ints.
    with pytest.raises(TypeError, match="hemisphere"):
        grs80.geodetic_to_utm(1.0, 153, -33.9, 151.2)
    n, _ = grs80.geodetic_to_utm(np.array([0, 1, 2, -1, True]), 153, -33.9, 151.2)
    assert n[1] == n[4] == pytest.approx(n[0] + 1e7, abs=1e-6) and n[0] == n[2] == n[3]
    n64, _ = grs80.geodetic_to_utm(np.array([2**62 + 1], dtype=np.int64), 153, -33.9, 151.2)
    assert n64[0] == n[0]  # no wrap-around to 1 on the way to a C int
    with pytest.raises(ValueError, match="threads"):
        grs80.geodetic_to_geocentric(1.0, 2.0, 3.0, threads=-1)


def test_array_functions_leave_the_object_untouched(configured):
    configured.Geodetic_to_TM(38, 127, 600000, 200000, 1.0, 37.5, 127.3, 50)
    configured.Bursa_WolfModel(1.0, 2.0, 3.0)
    before = [configured.GetTM(i) for i in range(3)] + [configured.GetGeocentric(i) for i in range(3)]
    configured.geodetic_to_tm(0, 0, 0, 0, 1, np.arange(100.0), 3.0)
    configured.bursa_wolf(np.arange(100.0), 0.0, 0.0, threads=4)
    after = [configured.GetTM(i) for i in range(3)] + [configured.GetGeocentric(i) for i in range(3)]
    assert same_bits(before, after)
