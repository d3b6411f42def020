"""UPS, the UTM/UPS choice and MGRS from Python, against GeographicLib's
GeoConvert (the tables of tests/tables) and pyproj's polar stereographic."""

import numpy as np
import pytest

import tervala
from conftest import table_rows

GEOCONVERT = table_rows("utmups-geoconvert.txt")


def test_forward_and_mgrs_agree_with_geoconvert():
    grids, mgrs = tervala.UtmUps(), tervala.Mgrs()
    for lat, lon, _, zone, hemisphere, e, n, gamma, k, reference in GEOCONVERT[::7]:
        z, north, easting, northing, convergence, scale = grids.forward(float(lat), float(lon))
        assert (z, north) == (int(zone), hemisphere == "n"), (lat, lon)
        assert abs(easting - float(e)) <= 1e-8 and abs(northing - float(n)) <= 1e-8, (lat, lon)
        assert abs(scale - float(k)) <= 1e-12
        if z == 0:  # 1 m references of the nanometre-accurate polar grids
            digits = reference[3:]
            assert mgrs.forward(float(lat), float(lon)) == reference[:3] + digits[:5] + digits[8:13]


def test_reverse_agrees_with_geoconvert():
    mgrs = tervala.Mgrs()
    for reference, _, lat, lon in table_rows("mgrs-reverse-geoconvert.txt")[::11]:
        square = mgrs.reverse(reference)
        assert abs(square["latitude"] - float(lat)) <= 1e-11, reference
        assert abs((square["longitude"] - float(lon) + 180) % 360 - 180) <= 1e-11 / max(
            np.cos(np.radians(float(lat))), 1e-9), reference


@pytest.mark.parametrize("reference, word", [row[:2] for row in table_rows("mgrs-malformed.txt") if row[1] != "none"])
def test_malformed_references_raise_value_error_with_the_reason(reference, word):
    with pytest.raises(ValueError, match=word):
        tervala.Mgrs().reverse(reference)


def test_sequences_bands_and_pickling():
    mgrs = tervala.Mgrs()
    refs = mgrs.forward(np.array([37.5, 89.0]), [127.3, 10.0], precision=2)
    assert refs == ["52SCG4951", "ZAF1990"]
    with pytest.raises(ValueError, match="precision"):
        mgrs.forward(37.5, 127.3, 6)
    with pytest.raises(ValueError, match="differ in length"):
        mgrs.forward([1.0, 2.0], [3.0])
    assert [tervala.utm_band(x) for x in (-80, -0.5, 0, 37.5, 84, 84.5)] == ["C", "M", "N", "S", "X", ""]
    assert tervala.Mgrs(tervala.Ellipsoid("Bessel1841")).lettering == "older"
    with pytest.raises(ValueError, match="lettering"):
        tervala.Mgrs(lettering="new")


def test_ups_arrays_agree_with_pyproj():
    pyproj = pytest.importorskip("pyproj")
    rng = np.random.default_rng(84)
    for north, epsg in ((True, 32661), (False, 32761)):
        lat = rng.uniform(84.0, 90.0, 500) * (1 if north else -1)
        lon = rng.uniform(-180.0, 180.0, 500)
        ours = tervala.Ups(north).forward(lat, lon)
        e, n = pyproj.Transformer.from_crs(4326, epsg, always_xy=True).transform(lon, lat)
        assert np.max(np.abs(ours.easting - e)) < 1e-6 and np.max(np.abs(ours.northing - n)) < 1e-6
        back = tervala.Ups(north).inverse(ours.easting, ours.northing)
        assert np.max(np.abs(back.latitude - lat)) < 1e-12
