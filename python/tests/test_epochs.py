"""NTv2 grid shifts (and, below, the time-dependent Helmert transformation)
from Python: arrays against pyproj's hgridshift on the grids of proj-data,
refusals of broken files, pickling."""

import os
import pickle

import numpy as np
import pytest

import tervala

BETA = "/usr/share/proj/BETA2007.gsb"
NEED_BETA = pytest.mark.skipif(not os.path.exists(BETA), reason=BETA + " absent (Debian proj-data)")


@NEED_BETA
def test_grid_shift_arrays_agree_with_pyproj_both_ways():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    grid = tervala.GridShift(BETA)
    rng = np.random.default_rng(3)
    lat = rng.uniform(47.0, 55.3, 2000)
    lon = rng.uniform(5.5, 15.6, 2000)
    h = rng.uniform(0, 2000, 2000)
    proj = pyproj.Transformer.from_pipeline("+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
                                            "+step +proj=hgridshift +grids=" + BETA +
                                            " +step +proj=unitconvert +xy_in=rad +xy_out=deg")
    out = grid.forward(lat, lon, h)
    want_lon, want_lat, want_h = proj.transform(lon, lat, h)
    assert np.max(np.abs(out.latitude - want_lat)) < 1e-9
    assert np.max(np.abs(out.longitude - want_lon)) < 1e-9
    assert np.array_equal(out.height, h)
    back = grid.inverse(out.latitude, out.longitude, h)
    inv_lon, inv_lat, _ = proj.transform(out.longitude, out.latitude, h, direction="INVERSE")
    assert np.max(np.abs(back.latitude - inv_lat)) < 1e-9
    assert np.max(np.abs(back.longitude - inv_lon)) < 1e-9
    # xy=True trades latitude and longitude in and out; one point as floats
    # gives the array's doubles.
    xy = grid.forward(lon, lat, h, xy=True)
    assert np.array_equal(xy[0], out.longitude) and np.array_equal(xy[1], out.latitude)
    one = grid.forward(float(lat[7]), float(lon[7]), float(h[7]))
    assert one == (out.latitude[7], out.longitude[7], out.height[7])


@NEED_BETA
def test_grid_shift_refuses_points_outside_and_pickles_as_its_path():
    grid = tervala.GridShift(BETA)
    out = grid.forward(np.array([52.0, 40.0, 52.0]), np.array([13.0, 13.0, np.nan]))
    assert np.isfinite(out.latitude[0]) and np.isnan(out.latitude[1:]).all() and np.isnan(out.height[1:]).all()
    assert not grid.contains(40.0, 13.0) and grid.contains(52.0, 13.0)
    copy = pickle.loads(pickle.dumps(grid))
    assert copy.path == grid.path and copy.source_system == "DHDN90" and copy.subgrid_count == 1
    assert copy.forward(52.0, 13.0) == grid.forward(52.0, 13.0)


@pytest.mark.skipif(not os.path.exists(BETA), reason=BETA + " absent (Debian proj-data)")
@pytest.mark.parametrize("cut, error", [
    (0, tervala.DataFileError),     # empty
    (200, tervala.DataFileError),   # in the first subgrid header
    (-40, tervala.DataFileError),   # in the last node and the END record
])
def test_grid_shift_refuses_cut_files(tmp_path, cut, error):
    data = open(BETA, "rb").read()
    path = tmp_path / "cut.gsb"
    path.write_bytes(data[:cut])
    with pytest.raises(error, match="cut.gsb"):
        tervala.GridShift(path)
    with pytest.raises(FileNotFoundError):
        tervala.GridShift(tmp_path / "missing.gsb")


ITRF2014 = "/usr/share/proj/ITRF2014"


@pytest.mark.skipif(not os.path.exists(ITRF2014), reason=ITRF2014 + " absent (Debian proj-data)")
def test_helmert15_arrays_agree_with_pyproj_on_the_itrf2014_sets():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    # ITRF2014 -> ITRF2000 as published (the file's line, typed here).
    h = tervala.Helmert15(tx=0.0007, ty=0.0012, tz=-0.0261, s=0.00212, rx=0, ry=0, rz=0,
                          rates=(0.0001, 0.0001, -0.0019, 0.00011, 0, 0, 0), t_ref=2010.0,
                          convention="position_vector", rotations="small_angle")
    proj = pyproj.Transformer.from_pipeline("+init=ITRF2014:ITRF2000")
    rng = np.random.default_rng(5)
    n = 500
    lon, lat = np.radians(rng.uniform(-180, 180, n)), np.radians(rng.uniform(-89, 89, n))
    x, y, z = 6378137 * np.cos(lat) * np.cos(lon), 6378137 * np.cos(lat) * np.sin(lon), 6356752 * np.sin(lat)
    t = rng.uniform(1990, 2030, n)
    out = h.forward(x, y, z, t)
    want = proj.transform(x, y, z, t)
    for got, expected in zip(out, want):
        assert np.max(np.abs(got - expected)) < 1e-4
    back = h.inverse(out.x, out.y, out.z, t)
    assert np.max(np.abs(back.x - x)) < 1e-8
    # The parameters at 2026.9: tz = -26.1 mm - 1.9 mm/year * 16.9 years.
    assert h.at(2026.9)[2] == pytest.approx(-0.0261 - 0.0019 * 16.9, abs=1e-15)


def test_helmert15_refuses_bad_values():
    with pytest.raises(ValueError, match="dty"):
        tervala.Helmert15(tx=0, ty=0, tz=0, s=0, rx=0, ry=0, rz=0, rates=(0, float("nan"), 0, 0, 0, 0, 0),
                          t_ref=2010, convention="position_vector")
    with pytest.raises(ValueError, match="small_angle"):
        tervala.Helmert15(tx=0, ty=0, tz=0, s=0, rx=0, ry=0, rz=0, rates=(0,) * 7, t_ref=2010,
                          convention="position_vector", rotations="linear")
