// Geoid undulations from the EGM96 spherical-harmonic model or from a geoid
// grid file, loaded from paths the caller names. Loaded data are immutable
// and shared between copies (a copy costs a reference count), and height()
// may be called from any number of threads at once.
#ifndef TERVALA_GEOID_HPP
#define TERVALA_GEOID_HPP

#include <memory>
#include <string>

#include "Export.hpp"

namespace tervala {

/// The EGM96 geoid (Lemoine et al. 1998, NASA/TP-1998-206861) to degree and
/// order 360: undulations in metres above the WGS 84 ellipsoid. A model holds
/// about 3 MB of coefficient tables, shared by its copies.
class TERVALA_API Egm96Model {
public:
    /// Reads both coefficient files.
    /// @param[in] geopotentialPath the EGM96 geopotential coefficients
    ///   (EGM96.dat: 40-byte little-endian records n, m, C, S, two sigmas),
    ///   which must reach their (360, 360) record.
    /// @param[in] correctionPath the height-anomaly-to-geoid correction
    ///   coefficients (CORRCOEF.dat: 24-byte records n, m, C, S).
    /// @throw std::runtime_error naming the file at fault and the reason
    ///   (missing, not a regular file, read error, ends before degree 360);
    ///   std::bad_alloc when memory runs out.
    Egm96Model(const std::string& geopotentialPath, const std::string& correctionPath);

    /// Both files from one folder, under their usual names EGM96.dat and
    /// CORRCOEF.dat.
    /// @param[in] folder folder holding EGM96.dat and CORRCOEF.dat
    /// @return the model read from the folder
    static Egm96Model fromFolder(const std::string& folder);

    /// Undulation N in metres at geodetic latitude and longitude (degrees,
    /// WGS 84). Latitude in [-90, 90], any finite longitude. NaN outside,
    /// and NaN where the coefficients give a height beyond +-150 m, which no
    /// geoid height reaches (damaged files; the legacy member
    /// EGM96GeoidHeight returns such a value as computed).
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the undulation, or NaN outside the domain
    double height(double latitude, double longitude) const;

    /// The paths the model was read from, as given.
    /// @return The paths the model was read from, as given.
    const std::string& geopotentialPath() const;
    /// @return The correction coefficient path.
    const std::string& correctionPath() const;

    /// Read from the same two paths (as given), or copies of one model.
    /// The files' contents are not compared.
    /// @param[in] other the value to compare with
    /// @return whether both name the same coefficient files
    bool operator==(const Egm96Model& other) const;
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Egm96Model& other) const { return !(*this == other); }

private:
    struct Data;
    std::shared_ptr<const Data> data_;
};

/// A geoid grid read from a grid file (little-endian: doubles latitude of
/// the first, northern row, longitude of the first, western column, row and
/// column spacing in degrees; int32 rows and columns; then the rows north
/// to south as float32), interpolated by natural cubic splines over a 6 x 6
/// window of nodes.
///
/// The interpolation window continues past an edge only where the grid
/// itself continues there: round in longitude when the columns span 360
/// degrees, across the pole at an edge row at most half a spacing from it.
/// Elsewhere the whole 6 x 6 window must consist of stored nodes, which
/// holds at least two spacings inside the west and south edges and more
/// than two inside the east and north edges; closer to such an edge (or
/// outside the grid) height() is NaN. isGlobal() tells whether the grid has
/// no such edge.
class TERVALA_API GeoidGrid {
public:
    /// @param[in] path the grid file.
    /// @throw std::runtime_error naming the path and the reason (missing,
    ///   not a regular file, truncated, a header that cannot describe a
    ///   grid); std::bad_alloc when memory runs out.
    explicit GeoidGrid(const std::string& path);

    /// Undulation at latitude and longitude (degrees), in the unit of the
    /// file (metres for the usual grids). The longitude may be given in
    /// either (-180, 180] or [0, 360). NaN outside the grid's reliable
    /// region (see above), for a latitude outside [-90, 90] and for
    /// non-finite input.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the undulation, or NaN outside the domain
    double height(double latitude, double longitude) const;

    /// The path the grid was read from, as given.
    /// @return The path the grid was read from, as given.
    const std::string& path() const;
    /// Whether the columns span 360 degrees and both edge rows lie at most
    /// half a spacing from their pole.
    /// @return true for a grid without a refusing edge
    bool isGlobal() const;
    /// Latitude of the northern row and longitude of the western column,
    /// degrees, as in the file.
    /// @return Latitude of the northern row and longitude of the western column,
    double north() const;
    /// @return The western column longitude, degrees.
    double west() const;
    /// Row and column spacing, degrees.
    /// @return Row and column spacing, degrees.
    double latitudeSpacing() const;
    /// @return The column spacing, degrees.
    double longitudeSpacing() const;
    /// Stored rows and columns.
    /// @return Stored rows and columns.
    int rows() const;
    /// @return The stored columns.
    int columns() const;

    /// Read from the same path (as given) with the same header, or
    /// copies of one grid. The stored heights are not compared.
    /// @param[in] other the value to compare with
    /// @return whether both name the same grid file and header
    bool operator==(const GeoidGrid& other) const;
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const GeoidGrid& other) const { return !(*this == other); }

private:
    struct Data;
    std::shared_ptr<const Data> data_;
};

} // namespace tervala

#endif
