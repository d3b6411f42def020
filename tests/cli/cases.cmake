# --- help ------------------------------------------------------------------
# Every subcommand has its own help; a broken registration shows up here.
foreach(sub geocentric geodetic tm tm-inverse utm utm-inverse helmert7 molodensky-badekas
        abridged-molodensky helmert2d height undulation-correction)
  tervala_cli_test(help.${sub} 0 "Usage: .*${sub}" "" ARGS ${sub} --help)
endforeach()
tervala_cli_test(help.main 0 "Subcommands:.*geocentric.*fit.*geoid.*data" "" ARGS --help)
tervala_cli_test(no-command 2 "" "A subcommand is required|required" ARGS)

# --- geocentric and geodetic ----------------------------------------------------
# The GRS80 worked example (latitude 37.5, longitude 127, height 100 m) as
# decimal degrees and DMS with hemisphere letters, after a UTF-8 byte-order
# mark from a spreadsheet export; the ellipsoid as a,1/f.
tervala_cli_test(geocentric.grs80 0 "^# one point.*(\n-3049086\\.2377 4046274\\.1025 3861624\\.9748){2}$" ""
  STDIN ${CLI_INPUTS}/bom.txt ARGS geocentric -e 6378137,298.257222101)
tervala_cli_test(geodetic.grs80 0 "^37\\.500000000 127\\.000000000 100\\.0000$" ""
  ARGS geodetic -e GRS80 --input-string "-3049086.23774 4046274.10247 3861624.97485")
# Precision applies to lengths, and to angles with five more decimals.
tervala_cli_test(geodetic.precision 0 "^37\\.5000000 127\\.0000000 100\\.00$" ""
  ARGS geodetic -e GRS80 -p 2 --input-string "-3049086.23774 4046274.10247 3861624.97485")
# Comment and blank lines pass through, bad lines are reported with their
# number, the good ones still convert, and the exit status says a line failed.
tervala_cli_test(geocentric.mixed 1
  "^# survey points\n-3049086\\.2377 4046274\\.1025 3861624\\.9748\n# error: latitude: .*'127'.*\n\n# error: expected 2 or 3 fields"
  "line 3: latitude: .*127.*line 5: expected 2 or 3 fields .*2 of the input lines failed"
  STDIN ${CLI_INPUTS}/mixed.txt ARGS geocentric -e GRS80)
# Out of range, and forms a surveyor would not mean (hexadecimal 0x3C was
# read as 60; inf and nan spellings): refused, not read.
tervala_cli_test(input.refusals 1 "" "line 1: latitude: latitude '91' is outside \\[-90, 90\\].*line 2: latitude: .*'0x3C'.*line 3: height: .*'nan'"
  ARGS geocentric --input-string "91 0 0\n0x3C 0\n1 2 nan")
# A wrong file fails on every line: the first 20 are listed, then one count.
string(REPEAT "x\n" 24 TWENTY_FIVE_BAD)
tervala_cli_test(input.bad-line-summary 1 "" "line 20: [^\n]*\n[^\n]*5 further bad lines not listed\n[^\n]*25 of the input"
  ARGS geocentric --input-string "${TWENTY_FIVE_BAD}x")
# Ellipsoids and grid parameters that define no projection: exit 2 naming the option.
foreach(bad "mars|unknown ellipsoid 'mars'" "6378137,0|inverse flattening must exceed 1"
        "0,298|semi-major axis must be positive" "inf,298|'inf'")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 value)
  list(GET bad 1 message)
  tervala_cli_test(ellipsoid.${value} 2 "" "--ellipsoid: .*${message}" ARGS geocentric -e ${value} --input-string "0 0 0")
endforeach()
foreach(bad "--scale|0|greater than zero" "--scale|-1|greater than zero" "--scale|inf|'inf'" "--lat0|91|not in range"
        "--lon0|nan|'nan'" "--false-easting|0x10|'0x10'" "--false-northing|1e999|not finite" "--max-offset|0|greater than zero")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 option)
  list(GET bad 1 value)
  list(GET bad 2 message)
  tervala_cli_test(tm.option${option}=${value} 2 "" "${option}: .*${message}"
    ARGS tm --lon0 0 ${option}=${value} --input-string "0 0")
endforeach()
tervala_cli_test(input.missing-file 2 "" "cannot open input file /nonexistent/points.txt"
  ARGS geocentric --input-file /nonexistent/points.txt)

# --- files as they come ------------------------------------------------------------
# --order en writes and reads grid coordinates easting first: the published
# TM and UTM examples with their two grid fields swapped (a swap on one side
# only would give a different point or a refusal).
foreach(case "utm|52N 349731\\.1112 4151698\\.6705 0\\.0000|37.5 127.3"
        "utm-inverse|37\\.500000000 127\\.300000000 0\\.0000|52N 349731.1112 4151698.6705"
        "tm|226527\\.6649 544546\\.4017 50\\.0000|37.5 127.3 50"
        "tm-inverse|37\\.500000000 127\\.300000000 50\\.0000|226527.6649 544546.4017 50")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 sub)
  list(GET case 1 expected)
  list(GET case 2 line)
  set(grid)
  if(sub MATCHES "^tm")
    set(grid --lat0 38 --lon0 127 --fn 600000 --fe 200000)
  endif()
  tervala_cli_test(order.${sub} 0 "^${expected}$" "" ARGS ${sub} -e GRS80 ${grid} --order en -s "${line}")
endforeach()
# --columns picks the coordinates: after a numeric point number (which alone
# would be read as a latitude, and the code 7 as a stray number) and with the
# longitude before the latitude; the other fields keep their sides.
tervala_cli_test(columns.numeric-id 0 "^1001 -3049086\\.2377 4046274\\.1025 3861624\\.9748 7$" ""
  ARGS geocentric -e GRS80 --columns 2,3,4 -s "1001 37.5 127 100 7")
tervala_cli_test(columns.swapped 0 "^pillar -3049086\\.2377 4046274\\.1025 3861624\\.9748 P7$" ""
  ARGS geocentric -e GRS80 -c 3,2,4 -s "pillar 127 37.5 100 P7")
# Lines that would be misread are refused with their number: a decimal comma
# in a blank-separated file (60,5 became two numbers), a number left after
# the coordinates, a name that also reads as a latitude, NaN in place of a
# latitude; in a comma-separated file an empty field (60.5,,25.5 was read as
# 60.5 25.5) and a decimal comma that splits a field.
tervala_cli_test(files.refusals-blank 1 "^[-0-9. ]+\n(# error: [^\n]*\n){3}# error: [^\n]*$"
  "line 2: field 1 '60,5' holds a comma.*line 3: field 5 '7' is a number after the 3 coordinates.*line 4: field 1 'N1' may be a point identifier or a latitude.*line 5: field 1 'NaN' is not a number"
  ARGS geocentric -s "60.5 25.5\n60,5 25\nP1 60.5 25.5 10 7\nN1 60.5 25.5\nNaN 25.5 10")
tervala_cli_test(files.refusals-comma 1 "^[-0-9.]+,[-0-9.]+,[-0-9.]+\n"
  "line 2: field 2 is empty.*line 3: field 2 '5 25' holds a blank"
  ARGS geocentric -s "60.5,25.5\n60.5,,25.5\n60,5 25")
foreach(bad "--columns=2|this command reads 2 to 3 coordinates, got 1" "--columns=2,2|column 2 is listed twice"
        "--columns=0,1|outside 1..1000" "--delimiter=pipe|expected comma, semicolon, tab or blank")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 option)
  list(GET bad 1 message)
  tervala_cli_test(files.option${option} 2 "" "${message}" ARGS geocentric ${option} -s "60.5 25.5")
endforeach()
tervala_cli_test(files.column-beyond-line 1 "" "line 1: column 4 is wanted but the line has 3 fields"
  ARGS geocentric -c 4,5 -s "P1 60.5 25.5")

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
tervala_cli_test(utm-inverse.no-zone 1 "" "line 1: no zone: give --zone or start the line with a zone such as 52N.*line 2: zone: the number 61 is outside 1..60"
  ARGS utm-inverse --input-string "6247473.3369 333568.9410\n61N 6247473.3369 333568.9410")
tervala_cli_test(utm.zone-range 2 "" "--zone: Value 61 not in range" ARGS utm --zone 61 --input-string "0 0")
# Longitudes reduce around the central meridian: 180 E is 3 degrees from
# zone 1's -177 (it was projected 357 degrees away, easting -9e10); -179,
# 181 and -541 on a grid at 179 E; an inverse east of 180 prints -178.3.
# Expected values from PROJ (proj/invproj +proj=utm / +proj=tmerc, GRS80).
tervala_cli_test(utm.antimeridian 0 "^1S 8062621\\.3687 181409\\.0734 0\\.0000$" ""
  ARGS utm -e GRS80 --input-string "-17.5 180")
tervala_cli_test(tm.antimeridian 0 "^(1106519\\.7376 219320\\.8672 0\\.0000\n){2}1105854\\.8332 0\\.0000 0\\.0000$" ""
  ARGS tm -e GRS80 --lon0 179 --input-string "10 -179\n10 181\n10 -541")
tervala_cli_test(tm-inverse.antimeridian 0 "^0\\.000000000 -178\\.306053987 0\\.0000$" ""
  ARGS tm-inverse -e GRS80 --lon0 179 --input-string "0 300000")
# The series' 1 mm limit on GRS80 is 6.18 degrees from the central meridian;
# --max-offset widens or narrows it, in both directions.
tervala_cli_test(tm.max-offset 1 "^0\\.0000 [0-9.]+ 0\\.0000\n# error: longitude 6\\.19 is 6\\.1900 degrees"
  "line 2: .*reliable within 6\\.18 \\(--max-offset\\)"
  ARGS tm -e GRS80 --lon0 0 --input-string "0 6.18\n0 6.19")
tervala_cli_test(tm.max-offset-option 0 "^0\\.0000 [0-9.]+ 0\\.0000$" "" ARGS tm --lon0 0 --max-offset 8 --input-string "0 7.9")
tervala_cli_test(tm-inverse.max-offset 1 "" "line 1: the point lies 1[0-9]\\.[0-9]+ degrees from the central meridian"
  ARGS tm-inverse --lon0 0 --input-string "0 1200000")
# UTM ends at 84 N and 80 S. A zone on the line may not contradict the
# options, and an inverse with northing and easting swapped leaves [-90, 90].
tervala_cli_test(utm.band 1 "^# error: .*\n# error: .*\n31S [0-9.]+ " "line 1: latitude 84\\.01 is outside the UTM band.*line 2: latitude -80\\.01"
  ARGS utm --input-string "84.01 0\n-80.01 0\n-80 0")
tervala_cli_test(utm-inverse.contradiction 1 "^(# error[^\n]*\n){3}-33\\.900000000 151\\.200000000"
  "line 1: zone 55S contradicts --zone 56.*line 2: zone 56N contradicts --south.*line 3: the grid coordinates give latitude .*outside \\[-90, 90\\]"
  ARGS utm-inverse -e GRS80 --south --zone 56 --input-string "55S 6247473.3369 333568.9410\n56N 6247473.3369 333568.9410\n56S 333568.9410 6247473.3369\n56S 6247473.3369 333568.9410")

# --- datum and local transformations ------------------------------------------------
# Translations only: the point plus (tx, ty, tz); the inverse subtracts them.
tervala_cli_test(helmert7.translation 0 "^11\\.0000 22\\.0000 33\\.0000$" ""
  ARGS helmert7 --convention coordinate-frame --params 1,2,3,0,0,0,0 --input-string "10 20 30")
tervala_cli_test(helmert7.inverse-translation 0 "^9\\.0000 18\\.0000 27\\.0000$" ""
  ARGS helmert7 --inverse --convention coordinate-frame --params 1,2,3,0,0,0,0 --input-string "10 20 30")
# rz = +1 arc-second on (a, 0, 0): Y' = -a sin(1") = -30.9221 m, the
# coordinate frame sign.
tervala_cli_test(helmert7.rotation-sign 0 "^6378136\\.9999 -30\\.9221 0\\.0000$" ""
  ARGS helmert7 --convention coordinate-frame --params 0,0,0,0,0,0,1 --input-string "6378137 0 0")
tervala_cli_test(helmert7.bad-params 2 "" "--params: expected 7 comma-separated numbers, got 3"
  ARGS helmert7 --convention position-vector --params 1,2,3 --input-string "1 2 3")
tervala_cli_test(helmert7.missing-params-file 2 "" "is neither a parameter file nor a list of numbers"
  ARGS helmert7 --params no-such-file.txt --input-string "1 2 3")
# The rotation origin maps to origin + translation whatever scale and rotation.
tervala_cli_test(molodensky-badekas.origin 0 "^1010\\.0000 2020\\.0000 3030\\.0000$" ""
  ARGS molodensky-badekas --convention coordinate-frame --origin 1000,2000,3000 --params 10,20,30,25,3,-4,5 --input-string "1000 2000 3000")
tervala_cli_test(molodensky-badekas.needs-origin 2 "" "the rotation origin is required with parameters on the command line: --origin X0,Y0,Z0"
  ARGS molodensky-badekas --convention coordinate-frame --params 10,20,30,25,3,-4,5 --input-string "1000 2000 3000")
# Seven parameters typed on the command line must say how their rotations
# read (the UK's position-vector set went in as coordinate-frame, 31 m off,
# and a scale typed after the rotations 418 m off, silently); each way of
# giving them wrongly is refused naming the option.
set(PV --convention position-vector)
foreach(bad "--params;1,2,3,4,5,6,7|--convention is required with parameters on the command line: position-vector or coordinate-frame"
        "--convention;pv;--params;1,2,3,4,5,6,7|--convention: pv not in \\{position-vector,coordinate-frame\\}"
        "${PV};--params;1,2,3,4,5,6,7;--rx;1|--params and the named options"
        "${PV};--tx;1;--tx;2;--ty;0;--tz;0;--s;0;--rx;0;--ry;0;--rz;0|--tx is given 2 times"
        "${PV};--tx;1;--ty;0;--tz;0;--s;0;--rx;0;--ry;0|--rz is missing"
        "${PV};--tx;1;--ty;0;--tz;0;--s;x;--rx;0;--ry;0;--rz;0|--s: expected a number .*got 'x'"
        "${PV};--params;0,0,0,0,700000,0,0|rotation rx = 700000 arc-seconds must be finite and at most 648000"
        "${PV};--params;${CLI_INPUTS}/params-legacy.txt|--convention position-vector contradicts .*params-legacy.txt, which holds coordinate-frame rotations"
        "molodensky-badekas;${PV};--params;1,2,3,4,5,6,7;--origin;1,2,3;--x0;1|--origin and --x0 --y0 --z0"
        "molodensky-badekas;${PV};--params;1,2,3,4,5,6,7;--x0;1|--y0 is missing")
  string(REPLACE "|" ";" bad "${bad}")
  list(POP_BACK bad message)
  set(sub helmert7)
  if(bad MATCHES "^molodensky")
    list(POP_FRONT bad sub)
  endif()
  string(MAKE_C_IDENTIFIER "${message}" id)
  string(SUBSTRING "${id}" 0 40 id)
  tervala_cli_test(${sub}.refuse.${id} 2 "" "${message}" ARGS ${sub} ${bad} -s "1 2 3")
endforeach()
# A parameter file from before the convention line keeps its meaning
# (coordinate frame: rz = +1" moves (a, 0, 0) to Y' = -30.9221 m) and says so.
tervala_cli_test(helmert7.file-without-convention 0 "^6378136\\.9999 -30\\.9221 0\\.0000$"
  "warning: .*params-legacy.txt has no convention line: its rotations are read as coordinate-frame"
  ARGS helmert7 --params ${CLI_INPUTS}/params-legacy.txt -s "6378137 0 0")
# Only dX at (0, 0): the height grows by dX, nothing else moves.
tervala_cli_test(abridged-molodensky.dx 0 "^0\\.000000000 0\\.000000000 110\\.0000$" ""
  ARGS abridged-molodensky --shift 100,0,0 --input-string "0 0 10")
# da and df at 45 N on WGS84: dh = -da + (a df + f da) sin^2(lat), dlat =
# (a df + f da) sin(2 lat) / M, evaluated apart (Python, the published
# formulas); swapping --da and --df gives kilometres.
tervala_cli_test(abridged-molodensky.da-df 0 "^0\\.000574016 0\\.000000000 28\\.8957$" ""
  ARGS abridged-molodensky --shift 0,0,0 --da 3 --df 1e-5 --shifts-only --input-string "45 0")
# Set2DHelmert(10, 20, 0, 0): (x + 10, y + 20) whatever the origin.
tervala_cli_test(helmert2d.translation 0 "^11\\.0000 22\\.0000$" ""
  ARGS helmert2d --params 10,20,0,0 --origin 5,5 --input-string "1 2")
# 90 degrees: (x0 + 1, y0) goes to (x0, y0 + 1).
tervala_cli_test(helmert2d.rotation 0 "^5\\.0000 6\\.0000$" ""
  ARGS helmert2d --params 0,0,0,324000 --origin 5,5 --input-string "6 5")
tervala_cli_test(height.shift-at-origin 0 "^1\\.0000 2\\.0000 12\\.5000$" ""
  ARGS height --params 0.001,0.002,2.5 --origin 1,2 --input-string "1 2 10")
tervala_cli_test(height.wrong-fields 1 "" "line 1: expected 3 fields \\(x y h\\), got 2"
  ARGS height --params 0,0,2.5 --origin 0,0 --input-string "1 2")
# At latitude 0, longitude 0 the correction is exactly dX - da.
tervala_cli_test(undulation-correction.origin 0 "^7\\.0000$" "" ARGS undulation-correction --shift 10,20,30 --da 3 --input-string "0 0")

# --- fits and files --------------------------------------------------------------------
tervala_cli_test(fit.bad-points 1 "" "points.txt: line 2: expected 7 fields \\(id X Y Z X' Y' Z'\\), or 8 or 9 or 13 with standard deviations, got 4"
  STDIN ${CLI_INPUTS}/mixed.txt ARGS fit bursa-wolf ${CLI_INPUTS}/bad-points.txt)
# Fits the core refuses: exit 1 and no parameter file (coincident and
# collinear points gave NaN parameters, "Converged: yes" and exit 0; targets
# given to the wrong points never settle; coordinates near the double range
# overflow the normal equations).
foreach(bad "bursa-wolf|collinear-points|singular geometry" "helmert2d|coincident-points|singular geometry"
        "height|collinear-heights|singular geometry" "bursa-wolf|two-points|too few observations"
        "bursa-wolf|mismatched-points|did not converge in 21 passes" "helmert2d|huge-points|not a finite number")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 model)
  list(GET bad 1 file)
  list(GET bad 2 message)
  tervala_cli_test(fit.${file} 1 "" "fit ${model}: [^\n]*${message}.*no parameters written" ABSENT p.txt
    ARGS fit ${model} ${CLI_INPUTS}/${file}.txt --write-params p.txt --json p.txt)
endforeach()
tervala_cli_test(fit.refused-writes-no-proj 1 "" "no parameters written" ABSENT p.proj
  ARGS fit bursa-wolf ${CLI_INPUTS}/collinear-points.txt --write-proj p.proj)
# Options and standard deviation columns a fit cannot use: exit 2 naming the
# option, or exit 1 naming the line; never a fit with a silently dropped value.
set(NET ${CLI_INPUTS}/blunder-network.txt)
foreach(bad "2|--fix: unknown parameter 'bogus'|${NET};--sigma;0.006;--fix;t1,bogus"
        "2|--fix: the 2D Helmert scale can be held only together with the rotation|${NET};--sigma;0.006;--fix;scale"
        "2|--snoop tests the points against their a priori|${NET};--snoop"
        "2|--alpha: must lie strictly between 0 and 1, got 1|${NET};--alpha;1"
        "2|--sigma: .*greater than zero|${NET};--sigma;0"
        "2|--sigma and standard deviation columns|${CLI_INPUTS}/sigma-columns.txt;--sigma;0.006"
        "1|line 3: has 1 standard deviation columns, line 2 has 2|${CLI_INPUTS}/sigma-mixed.txt"
        "1|line 2: standard deviation 1: must not be negative|${CLI_INPUTS}/sigma-negative.txt"
        "1|line 2: the standard deviations of observed coordinates must be positive|${CLI_INPUTS}/sigma-zero.txt")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 exit)
  list(GET bad 1 message)
  list(SUBLIST bad 2 -1 args)
  string(MAKE_C_IDENTIFIER "${message}" id)
  string(SUBSTRING "${id}" 0 40 id)
  tervala_cli_test(fit.refuse.${id} ${exit} "" "${message}" ABSENT p.txt ARGS fit helmert2d ${args} --write-params p.txt)
endforeach()
tervala_cli_test(fit.help-columns 0 "--snoop.*id x y x' y' +\\[s \\| sx' sy'\\]" "" ARGS fit helmert2d --help)
tervala_cli_test(fit.missing-file 2 "" "common-point file: cannot open nowhere.txt: No such file" ARGS fit helmert2d nowhere.txt)
tervala_cli_test(geoid.no-grid 2 "" "cannot load the geoid grid .*/no-data/egm2008p.dat" ARGS geoid grid --input-string "0 0")
tervala_cli_test(geoid.no-coefficients 2 "" "cannot load the EGM96 coefficients" ARGS geoid egm96 --input-string "0 0")
tervala_cli_test(grid-info.missing 2 "" "cannot open nowhere.dat" ARGS data grid-info nowhere.dat)
tervala_cli_test(grid-info.truncated 1 "" "the file ends before" ARGS data grid-info ${CLI_INPUTS}/truncated-grid.dat)
tervala_cli_test(egm96-grid.bad-region 2 "" "need -90 <= --south < --north <= 90"
  ARGS data egm96-grid --north 10 --south 20 --west 0 --east 1 --step 1 out.dat)

foreach(scenario proj-strings proj-cct files streaming fit-bursa-wolf fit-molodensky-badekas fit-helmert2d fit-height fit-snooping fit-options
        fit-geodetic grid-geoid egm96 demo)
  add_test(NAME cli.scenario.${scenario}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scenarios.sh ${TERVALA} ${CLI_WORK}/scenarios ${scenario})
  set_tests_properties(cli.scenario.${scenario} PROPERTIES
    ENVIRONMENT "TERVALA_EGM96_DIR=${TERVALA_TEST_EGM96_DIR};TERVALA_DATA_DIR=${CLI_WORK}/no-data;TERVALA_CLI_INPUTS=${CLI_INPUTS}"
    SKIP_REGULAR_EXPRESSION "SKIP:")
endforeach()

# --- heights, grid extras and transform ------------------------------------------
foreach(scenario heights extra transform)
  add_test(NAME cli.scenario.${scenario}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scenarios.sh ${TERVALA} ${CLI_WORK}/scenarios ${scenario})
  set_tests_properties(cli.scenario.${scenario} PROPERTIES
    ENVIRONMENT "TERVALA_DATA_DIR=${CLI_WORK}/no-data;TERVALA_TM_REFERENCE=${TM_REFERENCE}"
    SKIP_REGULAR_EXPRESSION "SKIP:")
endforeach()
# transform: a request that is incomplete or contradicts itself stops before
# any line (exit 2, naming the option); points the chosen road cannot carry
# fail as lines. The parameters never default to a rotation convention.
tervala_cli_test(help.transform 0 "Usage: .*transform.*--convention.*--projection.*--geoid" "" ARGS transform --help)
set(ROAD transform --source-ellipsoid Airy1830 --target-ellipsoid WGS84)
foreach(bad "--convention is required|--model;bursa-wolf;--params;1,2,3,0,0,0,0"
        "--shift belongs to --model abridged-molodensky|--model;bursa-wolf;--params;1,2,3,0,0,0,0;--convention;position-vector;--shift;1,2,3"
        "--shift dX,dY,dZ is required|--model;abridged-molodensky"
        "--lon0 \\(the central meridian\\) is required with --projection tm|--model;abridged-molodensky;--shift;1,2,3;--projection;tm"
        "--zone, --south and --north belong to --projection utm|--model;abridged-molodensky;--shift;1,2,3;--projection;tm;--lon0;0;--zone;31"
        "--geoid: geoid grid: nowhere.dat: cannot open|--model;abridged-molodensky;--shift;1,2,3;--geoid;nowhere.dat")
  string(REPLACE "|" ";" bad "${bad}")
  list(GET bad 0 message)
  list(SUBLIST bad 1 -1 args)
  string(MAKE_C_IDENTIFIER "${message}" id)
  string(SUBSTRING "${id}" 0 40 id)
  tervala_cli_test(transform.refuse.${id} 2 "" "${message}" ARGS ${ROAD} ${args} -s "51 0")
endforeach()
tervala_cli_test(transform.bad-lines 1 "^# error: [^\n]*\n# error: [^\n]*\n31N [0-9.]+ [0-9.]+ -?[0-9.]+$"
  "line 1: the transformed latitude 84\\.5[0-9]* is outside the UTM band.*line 2: the abridged Molodensky shift is undefined at a pole"
  ARGS ${ROAD} --model abridged-molodensky --shift 1,2,3 --projection utm -s "84.5 0\n90 0\n51 0 10")
