"""The per-point members: reachability, worked examples, tuples, no in-place changes, lifetime."""

import copy
import os
import pathlib
import re

import numpy as np
import pytest

import tervala
from conftest import SOURCE_ROOT, table_rows


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


ACCESSOR = {"Geodetic_to_Geocentric": "GetGeocentric", "Geocentric_to_Geodetic": "GetGeodetic",
            "Geodetic_to_TM": "GetTM", "TM_to_Geodetic": "GetGeodetic", "Geodetic_to_UTM": "GetUTM",
            "UTM_to_Geodetic": "GetGeodetic"}
MEMBER_ROWS = table_rows("python-members.txt")


def number(text):
    return int(text) if re.fullmatch(r"-?[0-9]+", text) else float(text)


# The members against tests/tables/python-members.txt: results as tuples
# (or one float), the triple the accessors read afterwards.
@pytest.mark.parametrize("row", MEMBER_ROWS, ids=[" ".join(r[:r.index("=")]) for r in MEMBER_ROWS])
def test_members_follow_their_table(grs80, row):
    if "then" in row:
        getattr(grs80, row[0])(*map(number, row[1:row.index("then")]))
        row = row[row.index("then") + 1:]
    equals, tilde = row.index("="), row.index("~")
    result = getattr(grs80, row[0])(*map(number, row[1:equals]))
    got = result if isinstance(result, tuple) else (result,)
    assert len(got) == tilde - equals - 1 == len(row) - tilde - 1, (row, result)
    for value, want, tolerance in zip(got, row[equals + 1:tilde], row[tilde + 1:]):
        assert abs(value - float(want)) <= float(tolerance), (row, result)
    if row[0] in ACCESSOR:
        assert tuple(getattr(grs80, ACCESSOR[row[0]])(i) for i in range(3)) == result


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
