# --- help ------------------------------------------------------------------
# Every subcommand has its own help; a broken registration shows up here.
foreach(sub geocentric geodetic tm tm-inverse utm utm-inverse helmert7 molodensky-badekas
        abridged-molodensky helmert2d height undulation-correction)
  tervala_cli_test(help.${sub} 0 "Usage: .*${sub}" "" ARGS ${sub} --help)
endforeach()
tervala_cli_test(help.main 0 "Subcommands:.*geocentric.*fit.*geoid.*data" "" ARGS --help)
tervala_cli_test(no-command 2 "" "A subcommand is required|required" ARGS)

# --- geocentric and geodetic ----------------------------------------------------
# The GRS80 worked example: latitude 37.5, longitude 127, height 100 m.
tervala_cli_test(geocentric.grs80 0 "^-3049086\\.2377 4046274\\.1025 3861624\\.9748$" ""
  ARGS geocentric -e GRS80 --input-string "37.5 127 100")
# DMS input with hemisphere letters gives the same point (guards the DMS parser).
tervala_cli_test(geocentric.dms 0 "^-3049086\\.2377 4046274\\.1025 3861624\\.9748$" ""
  ARGS geocentric -e GRS80 --input-string "37d30'00\"N 127d00'00\"E 100")
# Commas separate fields as well as blanks.
tervala_cli_test(geocentric.commas 0 "^-3049086\\.2377 4046274\\.1025 3861624\\.9748$" ""
  ARGS geocentric -e 6378137,298.257222101 --input-string "37.5,127,100")
tervala_cli_test(geodetic.grs80 0 "^37\\.500000000 127\\.000000000 100\\.0000$" ""
  ARGS geodetic -e GRS80 --input-string "-3049086.23774 4046274.10247 3861624.97485")
# Precision applies to lengths, and to angles with five more decimals.
tervala_cli_test(geodetic.precision 0 "^37\\.5000000 127\\.0000000 100\\.00$" ""
  ARGS geodetic -e GRS80 -p 2 --input-string "-3049086.23774 4046274.10247 3861624.97485")
# Comment and blank lines pass through, bad lines are reported with their
# number, the good ones still convert, and the exit status says a line failed.
tervala_cli_test(geocentric.mixed 1
  "^# survey points\n-3049086\\.2377 4046274\\.1025 3861624\\.9748\n# error: latitude: .*'abc'.*\n\n# error: expected 2 or 3 fields"
  "line 3: latitude: .*abc.*line 5: expected 2 or 3 fields .*2 of the input lines failed"
  STDIN ${CLI_INPUTS}/mixed.txt ARGS geocentric -e GRS80)
tervala_cli_test(geocentric.latitude-range 1 "" "line 1: latitude: latitude '91' is outside \\[-90, 90\\]"
  ARGS geocentric --input-string "91 0 0")
tervala_cli_test(ellipsoid.unknown 2 "" "unknown ellipsoid 'mars'" ARGS geocentric -e mars --input-string "0 0 0")
tervala_cli_test(ellipsoid.bad-flattening 2 "" "inverse flattening must exceed 1" ARGS geocentric -e 6378137,0 --input-string "0 0 0")
tervala_cli_test(input.missing-file 2 "" "cannot open input file /nonexistent/points.txt"
  ARGS geocentric --input-file /nonexistent/points.txt)

# --- data egm96-from-text ---------------------------------------------------------
tervala_cli_test(egm96-from-text.records 0 "EGM96.dat: 3 records.*CORRCOEF.dat: 2 records" ""
  ARGS data egm96-from-text -c ${CLI_INPUTS}/coefficients.txt -k ${CLI_INPUTS}/corrections.txt -d .)
# A missing (360, 360) record would make the loader read to the end of the file.
tervala_cli_test(egm96-from-text.no-last-record 1 "" "no \\(360, 360\\) record"
  ARGS data egm96-from-text -c ${CLI_INPUTS}/corrections.txt -k ${CLI_INPUTS}/corrections.txt -d .)
tervala_cli_test(egm96-from-text.bad-order 1 "" "line 2: degree and order must satisfy 0 <= m <= n <= 360"
  ARGS data egm96-from-text -c ${CLI_INPUTS}/bad-coefficients.txt -k ${CLI_INPUTS}/corrections.txt -d .)

# --- Transverse Mercator and UTM ----------------------------------------------------
# The published grid example: latitude of origin 38, central meridian 127,
# false origin 600000/200000, scale 1, GRS80.
tervala_cli_test(tm.example 0 "^544546\\.4017 226527\\.6649 50\\.0000$" ""
  ARGS tm -e GRS80 --lat0 38 --lon0 127 --fn 600000 --fe 200000 --input-string "37.5 127.3 50")
tervala_cli_test(tm-inverse.example 0 "^37\\.500000000 127\\.300000000 50\\.0000$" ""
  ARGS tm-inverse -e GRS80 --lat0 38 --lon0 127 --fn 600000 --fe 200000 --input-string "544546.4017 226527.6649 50")
# Without --lon0 the grid is undefined: a usage error, not a silent default.
tervala_cli_test(tm.needs-lon0 2 "" "--lon0 is required" ARGS tm --input-string "37.5 127.3")
# The zone comes from the longitude (52 for 127.3 E, 56 for 151.2 E) and the
# hemisphere from the latitude; the published UTM examples.
tervala_cli_test(utm.zone-from-longitude 0 "^52N 4151698\\.6705 349731\\.1112 0\\.0000\n56S 6247473\\.3369 333568\\.9410 0\\.0000$" ""
  STDIN ${CLI_INPUTS}/utm-points.txt ARGS utm -e GRS80)
tervala_cli_test(utm-inverse.zone-field 0 "^37\\.500000000 127\\.300000000 0\\.0000\n-33\\.900000000 151\\.200000000 0\\.0000$" ""
  STDIN ${CLI_INPUTS}/utm-grid.txt ARGS utm-inverse -e GRS80)
# A given zone and hemisphere override the computed ones.
tervala_cli_test(utm-inverse.zone-option 0 "^-33\\.900000000 151\\.200000000 0\\.0000$" ""
  ARGS utm-inverse -e GRS80 --zone 56 --south --input-string "6247473.3369 333568.9410")
tervala_cli_test(utm-inverse.no-zone 1 "" "line 1: no zone: give --zone or start the line with a zone such as 52N"
  ARGS utm-inverse --input-string "6247473.3369 333568.9410")
tervala_cli_test(utm-inverse.bad-zone 1 "" "line 1: zone: the number 61 is outside 1..60"
  ARGS utm-inverse --input-string "61N 6247473.3369 333568.9410")
tervala_cli_test(utm.zone-range 2 "" "--zone: Value 61 not in range" ARGS utm --zone 61 --input-string "0 0")
