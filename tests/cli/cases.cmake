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
