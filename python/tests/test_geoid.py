"""Loaders and geoid heights: errors naming the files tried, real EGM96 data, grids from the GTX file."""

import errno
import math
import os
import re
import signal
import threading
import time

import numpy as np
import pytest

import tervala
from conftest import egm96_folder, gtx_grid, same_bits, write_grid_file

Tervala = tervala.Tervala


def test_missing_files_raise_os_errors_naming_the_path(scratch):
    Tervala.SetDataFolder(scratch)
    t = Tervala()
    # CORRCOEF.dat is opened first; with it present, EGM96.dat is the one missing.
    for missing in ["CORRCOEF.dat", "EGM96.dat"]:
        with pytest.raises(FileNotFoundError) as caught:
            t.LoadEGMData()
        assert caught.value.errno == errno.ENOENT and "LoadEGMData" in str(caught.value)
        assert caught.value.filename == os.path.join(Tervala.GetDataFolder(), missing)
        (scratch / "CORRCOEF.dat").write_bytes(b"")
    for model, name in [(13, "kgeoid13.dat"), (2008, "egm2008p.dat"), (14, "kgeoid14.dat"), (-5, "kgeoid14.dat")]:
        with pytest.raises(FileNotFoundError) as caught:
            t.LoadKEGMData(model)
        assert caught.value.filename == str(scratch / name)
    (scratch / "kgeoid13.dat").mkdir()
    with pytest.raises(IsADirectoryError):
        t.LoadKEGMData(13)


def test_refused_contents_raise_data_file_error_saying_why(scratch):
    Tervala.SetDataFolder(scratch)
    t = Tervala()
    (scratch / "kgeoid14.dat").write_bytes(b"\0" * 10)
    with pytest.raises(tervala.DataFileError, match=r"kgeoid14\.dat was not loaded: .*40-byte header") as caught:
        t.LoadKEGMData(14)
    assert isinstance(caught.value, OSError) and str(scratch) in str(caught.value)
    # EGM96.dat: records of 40 bytes; the loader stops after (360, 360).
    record = np.zeros(1, dtype=[("n", "<i4"), ("m", "<i4"), ("c", "<f8"), ("s", "<f8"), ("sd", "<f8", 2)])
    first, last = record.copy(), record.copy()
    first["c"] = -9999.999  # the value the loader writes into (0, 0) when EGM96.dat cannot be opened
    last["n"] = last["m"] = 360
    (scratch / "CORRCOEF.dat").write_bytes(b"")
    for contents, why in [(first.tobytes() + last.tobytes(), "-9999.999"),
                          (last.tobytes()[:20], r"ends before its \(360, 360\) record")]:
        (scratch / "EGM96.dat").write_bytes(contents)
        with pytest.raises(tervala.DataFileError, match=r"EGM96\.dat was not loaded: .*" + why):
            t.LoadEGMData("ignored.dat")


def test_geoid_heights_need_loaded_data(scratch):
    t = Tervala()
    Tervala.SetDataFolder(scratch)
    with pytest.raises(FileNotFoundError):
        t.LoadEGMData()  # leaves a table of zeros behind
    for call, loader in [(t.EGM96GeoidHeight, "LoadEGMData"), (t.egm96_geoid_height, "LoadEGMData"),
                         (t.KEGMGeoidHeight, "LoadKEGMData"), (t.kegm_geoid_height, "LoadKEGMData")]:
        with pytest.raises(RuntimeError, match=loader):
            call(0.0, 0.0)


def loaded_egm96():
    folder = egm96_folder()
    Tervala.SetDataFolder(folder)
    t = Tervala()
    assert t.LoadEGMData() == 1
    return t


def test_egm96_against_the_gtx_grid_nodes():
    t = loaded_egm96()
    south, west, dlat, dlon, values = gtx_grid()
    rng = np.random.default_rng(5)
    rows = rng.integers(0, values.shape[0], 6)
    cols = rng.integers(0, values.shape[1], 6)
    lat, lon = south + rows * dlat, west + cols * dlon
    heights = t.egm96_geoid_height(lat, lon, threads=2)
    # The grid was computed from the same coefficients; nodes agree to float32 rounding.
    assert np.max(np.abs(heights - values[rows, cols])) < 1e-3
    assert same_bits(heights, [t.EGM96GeoidHeight(a, b) for a, b in zip(lat, lon)])


def test_convert_grid_opens_the_gtx_grid_and_refuses_what_it_cannot_read(scratch):
    # The converter of `tervala data import-grid` from Python: the GTX grid
    # becomes a grid file whose heights at the nodes are the GTX file's own
    # float32 values (read here with NumPy), its 721st row the north pole's.
    south, west, dlat, dlon, values = gtx_grid()
    gtx = os.environ.get("TERVALA_TEST_GTX", "/usr/share/proj/egm96_15.gtx")
    report = tervala.convert_grid(gtx, scratch / "egm96.dat")
    assert re.search(r"721 rows x 1440 columns, north 90, west 0", report), report
    grid = tervala.GeoidGrid(scratch / "egm96.dat")
    rng = np.random.default_rng(8)
    rows = np.append(rng.integers(0, values.shape[0], 40), values.shape[0] - 1)
    cols = np.append(rng.integers(0, values.shape[1], 40), 0)
    lat, lon = south + rows * dlat, west + cols * dlon
    assert np.max(np.abs(grid.height(lat, lon) - values[rows, cols])) < 1e-6
    # In one call: converted into the named file and opened, the same heights.
    again = tervala.GeoidGrid.from_raster(gtx, scratch / "again.dat")
    assert again.path == str(scratch / "again.dat")
    assert np.array_equal(again.height(lat, lon), grid.height(lat, lon))
    # Not a raster: refused naming the file, nothing written.
    (scratch / "notes.txt").write_text("not a raster\n")
    with pytest.raises(tervala.DataFileError, match="notes.txt") as caught:
        tervala.convert_grid(scratch / "notes.txt", scratch / "out.dat")
    assert caught.value.filename == str(scratch / "notes.txt")
    assert not (scratch / "out.dat").exists()
    with pytest.raises(tervala.DataFileError, match="notes.txt"):
        tervala.GeoidGrid.from_raster(scratch / "notes.txt", scratch / "out.dat")
    assert not (scratch / "out.dat").exists()


def test_grid_arrays_equal_the_member_and_give_nan_out_of_range(scratch):
    # A global 10-degree grid of random heights (the stored nodes, the
    # border and the GTX conversion: the C++ suite).
    write_grid_file(scratch / "kgeoid14.dat", 90.0, 0.0, 10.0, 10.0, np.random.default_rng(6).uniform(-50, 50, (19, 36)))
    Tervala.SetDataFolder(scratch)
    t = Tervala()
    assert t.LoadKEGMData(14) == 1
    rng = np.random.default_rng(7)
    lat, lon = rng.uniform(-89, 89, 500), rng.uniform(-180, 360, 500)
    member = [t.KEGMGeoidHeight(a, b) for a, b in zip(lat, lon)]
    for threads in (1, 3):  # one thread reads the object's grid itself, more share it
        assert same_bits(t.kegm_geoid_height(lat, lon, threads=threads), member), threads
    # Out of range: the member raises, the array function gives NaN.
    for lat_bad, lon_bad in [(90.5, 0.0), (0.0, 730.0), (0.0, -370.0), (math.nan, 0.0)]:
        with pytest.raises(ValueError, match="out of range"):
            t.KEGMGeoidHeight(lat_bad, lon_bad)
    out = t.kegm_geoid_height([90.5, 10.0, math.nan], [0.0, 10.0, 0.0])
    assert np.isnan(out[[0, 2]]).all() and out[1] == t.KEGMGeoidHeight(10.0, 10.0)


def test_a_grid_load_waits_for_an_array_call_reading_the_grid(scratch):
    # kegm_geoid_height reads the object's own grid, uncopied, with the GIL
    # released; a LoadKEGMData of the same object from another thread must
    # wait for it, not replace the grid under it (the reader would then mix
    # heights of both grids, or read freed rows).
    write_grid_file(scratch / "kgeoid13.dat", 90.0, 0.0, 10.0, 10.0, np.full((19, 36), 10.0))
    write_grid_file(scratch / "kgeoid14.dat", 90.0, 0.0, 10.0, 10.0, np.full((19, 36), -20.0))
    Tervala.SetDataFolder(scratch)
    t = Tervala()
    t.LoadKEGMData(13)
    lat, lon = np.full(4_000_000, 45.0), np.full(4_000_000, 45.0)
    for threads in (1, 2):
        started, result = threading.Event(), {}

        def read():
            started.set()
            result["h"] = t.kegm_geoid_height(lat, lon, threads=threads)

        reader = threading.Thread(target=read)
        reader.start()
        started.wait()
        time.sleep(0.02)  # into the call, which takes some 100 ms
        t.LoadKEGMData(14 if threads == 1 else 13)
        reader.join()
        assert np.unique(result["h"]).size == 1, threads
        assert t.KEGMGeoidHeight(45.0, 45.0) == (-20.0 if threads == 1 else 10.0)


def test_regional_grid_edges(scratch):
    # A 1-degree grid over 30..40 N, 120..130 E: 10 spacings west of it the window cannot fit.
    lat, lon = np.arange(40.0, 29.5, -1.0)[:, None], np.arange(120.0, 131.0, 1.0)[None, :]
    write_grid_file(scratch / "kgeoid13.dat", 40.0, 120.0, 1.0, 1.0, 20.0 + 0.1 * lat + 0.01 * lon)
    Tervala.SetDataFolder(scratch)
    t = Tervala()
    assert t.LoadKEGMData(13) == 1
    assert t.KEGMGeoidHeight(35.0, 125.0) == np.float32(20.0 + 3.5 + 1.25)  # a node
    with pytest.raises(ValueError, match="outside the loaded grid"):
        t.KEGMGeoidHeight(35.0, 110.0)
    assert np.isnan(t.kegm_geoid_height(35.0, 110.0))
    # Half a degree inside the east edge the window would wrap to the west edge's nodes.
    with pytest.raises(ValueError, match="more than 2.0 degrees of latitude and 2.0 of longitude inside"):
        t.KEGMGeoidHeight(35.5, 129.5)
    out = t.kegm_geoid_height([35.5, 35.5], [129.5, 127.5])
    assert np.isnan(out[0]) and out[1] == pytest.approx(20.0 + 3.55 + 1.275, abs=1e-5)


def test_a_signal_handler_exception_propagates_out_of_an_array_call():
    t = loaded_egm96()

    class Stop(Exception):
        pass

    def handler(signum, frame):
        raise Stop

    previous = signal.signal(signal.SIGINT, handler)
    timer = threading.Timer(0.2, signal.raise_signal, (signal.SIGINT,))
    try:
        timer.start()
        with pytest.raises(Stop):
            t.egm96_geoid_height(np.linspace(-80, 80, 200000), 10.0)  # about half a minute of work
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)
