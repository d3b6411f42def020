"""The per-point members: reachability, worked examples, tuples, no in-place changes, lifetime."""

import copy
import math
import os
import pathlib
import re

import numpy as np
import pytest

import tervala
from conftest import GRS80, SOURCE_ROOT


def public_members():
    """Names of the public members declared in include/tervala/Tervala.h."""
    header = (SOURCE_ROOT / "include/tervala/Tervala.h").read_text()
    body = header[header.index("class TERVALA_API CTervala") :]
    public = body[body.index("public:") : body.index("private:")]
    public = re.sub(r"//[^\n]*", "", public)
    names = set(re.findall(r"^[ \t]*(?:static[ \t]+)?[\w:<>]+[ \t*&]+(\w+)[ \t]*\(", public, flags=re.M))
    assert len(names) > 40, names  # the parse found the member list, not a fragment
    return sorted(names)


@pytest.mark.parametrize("name", public_members())
def test_every_public_member_is_bound_under_its_name(name):
    assert callable(getattr(tervala.Tervala, name, None)), name


# Worked examples on GRS80 (a = 6378137, 1/f = 298.257222101), to 0.1 mm and
# 1e-9 degrees: member, arguments, expected result triple, tolerances.
WORKED = [
    ("Geodetic_to_Geocentric", (37.5, 127.0, 100.0), (-3049086.2377, 4046274.1025, 3861624.9748), (1e-4, 1e-4, 1e-4)),
    ("Geocentric_to_Geodetic", (-3049086.237740251, 4046274.102467257, 3861624.974848651),
     (37.5, 127.0, 100.0), (1e-12, 1e-12, 1e-8)),
    ("Geodetic_to_TM", (38, 127, 600000, 200000, 1.0, 37.5, 127.3, 50), (544546.4017, 226527.6649, 50), (1e-4, 1e-4, 0)),
    ("TM_to_Geodetic", (38, 127, 600000, 200000, 1.0, 544546.4017390257, 226527.6649384586, 50),
     (37.5, 127.3, 50), (1e-9, 1e-9, 0)),
    ("Geodetic_to_UTM", (0, 129, 37.5, 127.3, 7), (4151698.6705, 349731.1112, 7), (1e-4, 1e-4, 0)),
    ("Geodetic_to_UTM", (1, 153, -33.9, 151.2, 7), (6247473.3369, 333568.9410, 7), (1e-4, 1e-4, 0)),
    ("UTM_to_Geodetic", (1, 153, 6247473.3369, 333568.9410, 7), (-33.9, 151.2, 7), (1e-9, 1e-9, 0)),
]
ACCESSOR = {"Geodetic_to_Geocentric": "GetGeocentric", "Geocentric_to_Geodetic": "GetGeodetic",
            "Geodetic_to_TM": "GetTM", "TM_to_Geodetic": "GetGeodetic", "Geodetic_to_UTM": "GetUTM",
            "UTM_to_Geodetic": "GetGeodetic"}


@pytest.mark.parametrize("member, args, expected, tolerance", WORKED)
def test_worked_examples_return_the_triple_the_accessors_read(grs80, member, args, expected, tolerance):
    result = getattr(grs80, member)(*args)
    assert isinstance(result, tuple) and len(result) == 3
    for got, want, tol in zip(result, expected, tolerance):
        assert abs(got - want) <= tol, (member, result, expected)
    stored = tuple(getattr(grs80, ACCESSOR[member])(i) for i in range(3))
    assert stored == result


def test_members_that_convert_arguments_in_place_do_not_change_python_values(grs80):
    # In C++ TM_to_Geodetic replaces the caller's northing and central
    # meridian; the binding passes copies: the same arguments, the same result.
    args = [38.0, 127.0, 600000.0, 200000.0, 1.0, 544546.4017390257, 226527.6649384586, 50.0]
    assert grs80.TM_to_Geodetic(*args) == grs80.TM_to_Geodetic(*args)
    south = [1, 153.0, 6247473.3369, 333568.9410, 7.0]
    assert grs80.UTM_to_Geodetic(*south) == grs80.UTM_to_Geodetic(*south)
    point = np.array([37.5, 127.3, 50.0])  # array elements stay in degrees
    grs80.Geodetic_to_TM(38.0, 127.0, 600000.0, 200000.0, 1.0, point[0], point[1], point[2])
    assert point.tolist() == [37.5, 127.3, 50.0]


def test_copies_are_independent(grs80):
    grs80.Geodetic_to_TM(38, 127, 600000, 200000, 1.0, 37.5, 127.3, 50)
    assigned = tervala.Tervala()
    assigned.assign(grs80)
    for c in (copy.copy(grs80), copy.deepcopy(grs80), tervala.Tervala(grs80), assigned):
        assert [c.GetTM(i) for i in range(3)] == [grs80.GetTM(i) for i in range(3)]
        c.Setup_Ellipsoid(6377397.155, 299.1528128)  # Bessel 1841, in the copy only
        assert c.Geodetic_to_Geocentric(1.0, 2.0, 3.0) != grs80.Geodetic_to_Geocentric(1.0, 2.0, 3.0)


def test_data_folder_is_process_wide_and_accepts_paths(scratch):
    env = os.environ.get("TERVALA_DATA_DIR")
    tervala.Tervala.SetDataFolder(str(scratch))
    assert tervala.Tervala.GetDataFolder() == str(scratch)
    tervala.Tervala.SetDataFolder(pathlib.Path(scratch) / "sub")
    assert tervala.Tervala.GetDataFolder() == str(scratch / "sub")
    tervala.Tervala.SetDataFolder(os.fsencode(scratch))
    assert tervala.Tervala.GetDataFolder() == str(scratch)
    for reset in (None, ""):
        tervala.Tervala.SetDataFolder(reset)
        if env:
            assert tervala.Tervala.GetDataFolder() == env
    with pytest.raises(ValueError, match="null"):
        tervala.Tervala.SetDataFolder("a\0b")


# Datum and local members with results known from the model alone, chosen so
# that swapped or misplaced arguments show: setter and its arguments, member,
# arguments, expected result, tolerance.
C = math.cos(math.radians(1 / 3600))
S = math.sin(math.radians(1 / 3600))
TRANSFORMS = [
    ("Set2DHelmert", (0.0, 0.0, 0.0, 324000.0), "Helmert2D", (3.0, 4.0, 4.0, 4.0), (3.0, 5.0), 1e-12),
    ("SetHeightTrans", (1e-5, -2e-5, 30.0), "HeightTrans", (100.0, 200.0, 1100.0, 200.0, 5.0), 35.01, 1e-12),
    ("SetParameters_Bursa_WolfModel", (1, 2, 3, 0, 0, 0, 0), "Bursa_WolfModel", (10, 20, 30), (11, 22, 33), 0),
    ("SetParameters_Bursa_WolfModel", (1, 2, 3, 0, 0, 0, 0), "Inv_Bursa_WolfModel", (10, 20, 30), (9, 18, 27), 1e-9),
    ("SetParameters_Bursa_WolfModel", (0, 0, 0, 0, 0, 0, 1), "Bursa_WolfModel", (6e6, 0, 0), (6e6 * C, -6e6 * S, 0),
     1e-6),
    ("SetParameters_Molodensky_BadekasModel", (7e5, 8e5, 9e5, 1, 2, 3, 5, 4, -3, 2), "Molodensky_BadekasModel",
     (7e5, 8e5, 9e5), (7e5 + 1, 8e5 + 2, 9e5 + 3), 1e-9),
    ("SetParameters_Molodensky_BadekasModel", (7e5, 8e5, 9e5, 1, 2, 3, 5, 4, -3, 2), "Inv_Molodensky_BadekasModel",
     (7e5 + 1, 8e5 + 2, 9e5 + 3), (7e5, 8e5, 9e5), 1e-9),
    # On the equator at longitude 0: dlat = dZ / M, dlon = dY / N, dh = dX - da (df acts only off the equator).
    (None, (), "Abridged_Molodensky_Transform", (0, 0, 7.0, 100.0, 3.0, 2.0, 1e-6),
     (math.degrees(3 / (GRS80[0] * (1 - 0.00669438002290))), math.degrees(100 / GRS80[0]), 5.0), 1e-12),
    (None, (), "CorrUndulation", (0.0, 0.0, 7.0, 3.0, 4.0, 2.0, 1e-6), 5.0, 0),
]


@pytest.mark.parametrize("setter, parameters, member, args, expected, tolerance", TRANSFORMS)
def test_datum_and_local_members(grs80, setter, parameters, member, args, expected, tolerance):
    if setter:
        getattr(grs80, setter)(*parameters)
    result = getattr(grs80, member)(*args)
    assert result == pytest.approx(expected, abs=tolerance, rel=0)
