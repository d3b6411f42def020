"""The stubs as a user's type checker reads them: every Python example in the
README and docs/ passes mypy --strict, float in gives float out, arrays in
give float64 arrays out, and the slips the types should catch are caught."""

import importlib.util
import os
import pathlib
import re
import subprocess
import sys

import pytest

import tervala
from conftest import SOURCE_ROOT

# Dask, distributed and pandas ship no types: strict for our code, Any for theirs.
CONFIG = """[mypy]
strict = True
[mypy-dask.*,distributed.*,pandas.*]
follow_imports = skip
ignore_missing_imports = True
"""

# What the stubs must say: each snippet's mypy verdict, (code, error expected).
SNIPPETS = [
    ("p = tervala.Utm(52).forward(37.5, 129.0)\nx: float = p.easting\n", None),
    ("import numpy as np\na = tervala.Utm(52).forward(np.zeros(3) + 37.5, 129.0)\nm: float = float(a.easting.mean())\n",
     None),
    ("p = tervala.Utm(52).forward(37.5, 129.0)\ns = p.easting + 'oops'\n", "Unsupported operand"),
    ("t = tervala.Tervala()\nn, e = t.geodetic_to_tm(38, 127, 6e5, 2e5, 1.0, 37.5, 127.3)\nx: float = n\n", None),
    ("t = tervala.Tervala()\nr = t.geodetic_to_tm(38, 127, 6e5, 2e5, 1.0, 37.5, 127.3)\ne = r.easting + r.northing\n"
     "bad = r.x\n", '"NorthingEasting\\[float\\]" has no attribute "x"'),
    ("import numpy as np\nh = tervala.GeoidGrid('g.dat').height(np.zeros(2), 0.0)\nx: float = h\n",
     "Incompatible types in assignment"),
    ("v: str = tervala.__version__\nassert '__version__' in tervala.__all__\n", None),
]


def python_examples():
    files = [SOURCE_ROOT / "README.md", *sorted((SOURCE_ROOT / "docs").glob("*.md"))]
    return [(f"{f.stem}_{k}", block) for f in files
            for k, block in enumerate(re.findall(r"```python\n(.*?)```", f.read_text(), re.S))]


def mypy(folder, sources):
    if importlib.util.find_spec("mypy") is None:
        pytest.skip("python3-mypy is not installed: the examples are not type-checked")
    (folder / "mypy.ini").write_text(CONFIG)
    for name, code in sources:
        (folder / f"{name}.py").write_text(code)
    env = dict(os.environ, MYPYPATH=str(pathlib.Path(tervala.__file__).parents[1]))
    run = subprocess.run([sys.executable, "-m", "mypy", "--config-file", "mypy.ini", "--cache-dir", "cache",
                          "--no-error-summary", *(f"{n}.py" for n, _ in sources)],
                         cwd=folder, env=env, capture_output=True, text=True)
    return run.stdout + run.stderr


def test_every_documented_example_passes_strict_mypy(scratch):
    examples = python_examples()
    assert len(examples) >= 8, [n for n, _ in examples]
    output = mypy(scratch, examples)
    assert output.strip() == "", output


def test_the_stubs_say_float_for_floats_arrays_for_arrays_and_catch_slips(scratch):
    sources = [(f"snippet_{k}", "import tervala\n" + code) for k, (code, _) in enumerate(SNIPPETS)]
    output = mypy(scratch, sources)
    for (name, _), (code, expected) in zip(sources, SNIPPETS):
        found = [line for line in output.splitlines() if line.startswith(name + ".py:")]
        if expected is None:
            assert found == [], found
        else:
            assert any(re.search(expected, line) for line in found), (code, found)
