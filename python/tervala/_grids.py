"""GeoidGrid.from_raster: a GTX grid or a GeoTIFF opened in one call, through
the converter of `tervala data import-grid`."""

import os
from typing import Type, Union

from ._tervala import GeoidGrid, convert_grid

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _install() -> None:
    def from_raster(cls: Type[GeoidGrid], source: _Path, target: _Path) -> GeoidGrid:
        """The geoid grid of a GTX grid or a GeoTIFF (anything convert_grid reads): converted into the grid
        file `target` (replaced if it exists; the source's name goes into its check file), then opened.
        DataFileError names a source that cannot be converted, and nothing is written then."""
        convert_grid(source, target)
        return cls(target)

    from_raster.__name__ = from_raster.__qualname__ = "from_raster"
    setattr(GeoidGrid, "from_raster", classmethod(from_raster))
