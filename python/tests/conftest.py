"""Shared fixtures and helpers for the tervala Python tests."""

import os
import pathlib
import shlex
import shutil

import numpy as np
import pytest

import tervala

SOURCE_ROOT = pathlib.Path(__file__).resolve().parents[2]
GRS80 = (6378137.0, 298.257222101)


@pytest.fixture
def grs80():
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    return t


@pytest.fixture
def scratch(request):
    """A fresh, empty folder under the build tree's scratch root."""
    root = pathlib.Path(os.environ.get("TERVALA_TEST_TMPDIR", "/tmp/tervala-pytest"))
    folder = root / f"{request.node.name}.{os.getpid()}"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(autouse=True)
def no_data_folder_setting():
    """Every test starts and ends without a folder chosen by SetDataFolder."""
    tervala.Tervala.SetDataFolder(None)
    yield
    tervala.Tervala.SetDataFolder(None)


def same_bits(a, b):
    """True when two float64 arrays hold the same doubles bit for bit (NaN too)."""
    a = np.ascontiguousarray(a, dtype=np.float64)
    b = np.ascontiguousarray(b, dtype=np.float64)
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))


def egm96_folder():
    folder = pathlib.Path(os.environ.get("TERVALA_TEST_EGM96_DIR", SOURCE_ROOT.parent / "shared/data/egm96"))
    if not (folder / "EGM96.dat").is_file() or not (folder / "CORRCOEF.dat").is_file():
        pytest.skip(f"the real EGM96 coefficient files are not in {folder}")
    return folder


def gtx_grid():
    """Debian proj-data's EGM96 15' grid: (south, west, dlat, dlon, values[rows, cols]), rows south first."""
    path = pathlib.Path(os.environ.get("TERVALA_TEST_GTX", "/usr/share/proj/egm96_15.gtx"))
    if not path.is_file():
        pytest.skip(f"{path} is absent (Debian package proj-data)")
    south, west, dlat, dlon = np.fromfile(path, dtype=">f8", count=4)
    rows, cols = np.fromfile(path, dtype=">i4", count=2, offset=32)
    values = np.fromfile(path, dtype=">f4", offset=40).reshape(rows, cols)
    return south, west, dlat, dlon, values


def table_rows(name):
    """Rows of tests/tables/NAME, read as the C++ tests read them: blank-separated fields, '#' comments."""
    lines = (SOURCE_ROOT / "tests" / "tables" / name).read_text().splitlines()
    return [fields for fields in (shlex.split(line, comments=True) for line in lines) if fields]


def write_grid_file(path, north, west, dlat, dlon, values):
    """A grid file as LoadKEGMData reads it: 4 doubles, 2 int32, float32 rows north first."""
    values = np.asarray(values, dtype="<f4")
    with open(path, "wb") as f:
        np.array([north, west, dlat, dlon], dtype="<f8").tofile(f)
        np.array(values.shape, dtype="<i4").tofile(f)
        values.tofile(f)


def rotation(rx, ry, rz):
    """R3(rz) R2(ry) R1(rx), coordinate frame convention, angles in arc-seconds."""
    a, b, c = np.radians(np.array([rx, ry, rz]) / 3600.0)
    r1 = np.array([[1, 0, 0], [0, np.cos(a), np.sin(a)], [0, -np.sin(a), np.cos(a)]])
    r2 = np.array([[np.cos(b), 0, -np.sin(b)], [0, 1, 0], [np.sin(b), 0, np.cos(b)]])
    r3 = np.array([[np.cos(c), np.sin(c), 0], [-np.sin(c), np.cos(c), 0], [0, 0, 1]])
    return r3 @ r2 @ r1
