#!/usr/bin/env bash
# Times keyscout and the other registry tools that are installed on the same
# requests, on real SYSTEM hives and on generated hives of every size, next to
# the floors (a static program that does nothing; one that touches the pages
# the request needs and writes as many output bytes), and prints one table.
#
#   bash bench/run.sh            (or: make bench)
#
# Environment: BENCH_BUILD (build directory, default build-bench), BENCH_DATA
# (hives, scripts and results, default $BENCH_BUILD/bench-data), KEYSCOUT_HIVES
# (the real hives, default ../shared/hives), BENCH_MAX_RUNS, BENCH_MIN_RUNS,
# BENCH_NO_INSTALL=1 (use only the tools already installed), BENCH_ONLY (a
# regular expression: run only the requests whose names match it),
# BENCH_KEYSCOUT (another keyscout binary to time, such as an older build).
#
# Run it on a quiet machine: the files are read from the page cache and every
# other process shows in the times.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench}
DATA=${BENCH_DATA:-$BUILD/bench-data}
HIVES=${KEYSCOUT_HIVES:-$ROOT/../shared/hives}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
MAX_RUNS=${BENCH_MAX_RUNS:-500}
MIN_RUNS=${BENCH_MIN_RUNS:-30}
SLOW_SECONDS=1  # a tool slower than this gets few runs

say() { printf '%s\n' "$*" >&2; }

# --- tools ------------------------------------------------------------------

# Installs the Debian packages of missing tools when we may.
install_missing() {
  local wanted=()
  command -v hyperfine >/dev/null || wanted+=(hyperfine)
  [ -x /usr/bin/time ] || wanted+=(time)
  command -v xz >/dev/null || wanted+=(xz-utils)
  command -v hivexsh >/dev/null || wanted+=(libhivex-bin)
  command -v reglookup >/dev/null || wanted+=(reglookup)
  command -v hivexregedit >/dev/null || wanted+=(libwin-hivex-perl)
  perl -MParse::Win32Registry -e1 2>/dev/null || wanted+=(libparse-win32registry-perl)
  [ ${#wanted[@]} -eq 0 ] && return 0
  if [ "${BENCH_NO_INSTALL:-0}" = 1 ] || [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
    say "not installed (and not installing): ${wanted[*]}"
    return 0
  fi
  say "installing ${wanted[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "${wanted[@]}" >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null && apt-get install -y -qq "${wanted[@]}" >/dev/null; } ||
    say "could not install some of: ${wanted[*]}"
}

install_missing
BUSY_AT_START=$(pgrep -f keyscout_fuzz >/dev/null && echo 1 || echo 0)
command -v hyperfine >/dev/null || { say "hyperfine is needed"; exit 1; }
[ -x /usr/bin/time ] || { say "/usr/bin/time is needed"; exit 1; }

say "building in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target bench_tools -j "$JOBS" >/dev/null
KEYSCOUT=${BENCH_KEYSCOUT:-$BUILD/keyscout}
TRACE=$BUILD/bench/bench_trace_pages
FLOOR_START=$BUILD/bench/bench_floor_start
FLOOR_WORK=$BUILD/bench/bench_floor_work
PEER_PERL=$ROOT/bench/peer_win32registry.pl

mkdir -p "$DATA"/{out,pages,scripts,check,csv}

# --- hives --------------------------------------------------------------------

# Generated once and kept; again when the generator or the hive builder changes.
recipe=$(cat "$ROOT/bench/make_scale_hives.cpp" "$ROOT"/tests/support/hive_builder.* | sha256sum | cut -d' ' -f1)
if [ "$(cat "$DATA/scale.stamp" 2>/dev/null)" != "$recipe" ]; then
  say "generating the scale hives in $DATA"
  "$BUILD/bench/make_scale_hives" "$DATA" >&2
  echo "$recipe" >"$DATA/scale.stamp"
fi
for name in regipy_SYSTEM_WIN_10_1709 regipy_SYSTEM dissect_SYSTEM; do
  if [ ! -s "$DATA/$name" ] && [ -f "$HIVES/$name.xz" ]; then
    xz -dc "$HIVES/$name.xz" >"$DATA/$name.part" && mv "$DATA/$name.part" "$DATA/$name"
  fi
done
# A dirty copy of the Windows 10 SYSTEM hive with a .LOG1 that carries every
# eighth page (zeroed in the copy), and the hive as that log leaves it.
logged_recipe=$(cat "$ROOT/bench/make_scale_hives.cpp" "$ROOT"/tests/support/{hive,log}_builder.* \
  "$ROOT"/src/hive/log_recovery.* | sha256sum | cut -d' ' -f1)
if [ -s "$DATA/regipy_SYSTEM_WIN_10_1709" ] && [ "$(cat "$DATA/logged.stamp" 2>/dev/null)" != "$logged_recipe" ]; then
  say "generating the dirty SYSTEM hive and its log in $DATA"
  "$BUILD/bench/make_scale_hives" --logged "$DATA" "$DATA/regipy_SYSTEM_WIN_10_1709" >&2
  echo "$logged_recipe" >"$DATA/logged.stamp"
fi

# --- measuring ----------------------------------------------------------------

# One command line for hyperfine -N: every word in single quotes.
quote_words() {
  local out="" word
  for word in "$@"; do out+="'${word//\'/\'\\\'\'}' "; done
  printf '%s' "${out% }"
}

# "median min max" in seconds and the peak RSS in KiB of one command.
measure() {
  local id=$1 slow=$2
  shift 2
  local runs=(--warmup 3 --min-runs "$MIN_RUNS" --max-runs "$MAX_RUNS")
  [ "$slow" = 1 ] && runs=(--warmup 1 --min-runs 5 --max-runs 10)
  # Output goes through a pipe, as it does to a reader; /dev/null would make
  # writing it free.
  hyperfine -N --style none --output=pipe "${runs[@]}" --export-csv "$DATA/csv/$id.csv" \
    --command-name "$id" "$(quote_words "$@")" >/dev/null 2>&1
  local rss=0 try kib
  for try in 1 2 3; do
    /usr/bin/time -f %M -o "$DATA/check/rss" "$@" >/dev/null 2>&1 || true
    kib=$(tail -n 1 "$DATA/check/rss")
    [ "$kib" -gt "$rss" ] && rss=$kib
  done
  # CSV: command,mean,stddev,median,user,system,min,max
  awk -F, -v rss="$rss" 'NR == 2 { print $4, $7, $8, rss }' "$DATA/csv/$id.csv"
}

# True when the standard output file $2 holds at least $1 bytes and the error
# stream file $3 nothing; else prints why the tool fails.
printed_at_least() {
  local bytes
  bytes=$(wc -c <"$2")
  [ "$bytes" -ge "$1" ] && [ ! -s "$3" ] && return 0
  echo "fails: $bytes bytes printed, $(head -c 60 "$3" | tr '\n' ' ')"
  return 1
}

# Runs a tool once and decides whether it did the request. Prints "ok SECONDS"
# or the reason it failed.
check() {
  local kind=$1 expected=$2 dump=$3
  shift 3
  local out=$DATA/check/stdout err=$DATA/check/stderr start end code=0
  rm -f "$out" "$err"
  [ "$kind" != decode ] || [ -z "$dump" ] || rm -f "$dump"
  start=$(date +%s.%N)
  timeout 300 "$@" >"$out" 2>"$err" || code=$?
  end=$(date +%s.%N)
  if [ "$code" != 0 ]; then
    echo "fails: exit $code, $(head -c 60 "$err" | tr '\n' ' ')"
    return
  fi
  case $kind in
    lookup)
      [ -s "$out" ] && [ ! -s "$err" ] || { echo "fails: $(head -c 60 "$err" | tr '\n' ' ')"; return; } ;;
    decode)
      if [ -n "$dump" ]; then
        # keyscout's own -v -w beside -d: the file must be written.
        [ -s "$dump" ] || { echo "fails: no file written"; return; }
      else
        # The texts whole, in some text form: at least one byte per character.
        printed_at_least "$expected" "$out" "$err" || return 0
      fi ;;
    subkeys|values)
      local lines
      lines=$(wc -l <"$out")
      [ "$lines" -ge "$expected" ] || { echo "fails: $lines of $expected rows"; return; } ;;
    export)
      if [ -n "$dump" ]; then
        cmp -s "$dump" "$DATA/out/keyscout.bin" || { echo "fails: file differs"; return; }
      else
        # A tool that prints the value instead: the whole value, in some text form.
        printed_at_least "$expected" "$out" "$err" || return 0
      fi ;;
  esac
  echo "ok $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
}

ROWS=()  # "work|tool|median|min|max|rss|note"

# One request done by every tool. kind: lookup, subkeys, values, export or
# decode (the value's texts printed; keyscout's -v -w on the same value is
# timed beside it, as the reference -d is held to).
workload() {
  local id=$1 title=$2 hive=$3 kind=$4 key=$5 value=${6:-}
  local path=$DATA/$hive
  [[ $id =~ ${BENCH_ONLY:-.} ]] || return 0
  [ -s "$path" ] || { say "skipping $id: no $hive"; return; }
  say "== $id: $title"
  local slash=/${key//\\//}
  local script=$DATA/scripts/$id.hivexsh
  printf 'cd \\%s\n' "$key" >"$script"

  local ks=(-f "$path" -k "$key") expected=1
  case $kind in
    lookup) ks+=(-v "$value"); printf 'lsval %s\n' "$value" >>"$script" ;;
    subkeys) ks+=(-l); printf 'ls\n' >>"$script" ;;
    values) ks+=(-e); printf 'lsval\n' >>"$script" ;;
    export) ks+=(-v "$value" -w "$DATA/out/keyscout.bin"); printf 'lsval %s\n' "$value" >>"$script" ;;
    decode) ks+=(-v "$value" -d); printf 'lsval %s\n' "$value" >>"$script" ;;
  esac

  # keyscout first: its output says how many rows the others must print.
  local trace outbytes pages code
  trace=$("$TRACE" "$DATA/pages/$id.txt" "${ks[@]}")
  read -r outbytes pages code <<<"$trace"
  [ "$code" = 0 ] || { say "keyscout fails on $id"; return; }
  case $kind in
    subkeys) expected=$("$KEYSCOUT" "${ks[@]}" | sed -n 's/^Subkey count : //p') ;;
    values) expected=$("$KEYSCOUT" "${ks[@]}" | sed -n 's/^Key values count : //p') ;;
    export) "$KEYSCOUT" "${ks[@]}" >/dev/null; expected=$(stat -c %s "$DATA/out/keyscout.bin") ;;
    decode)
      # The characters of the texts: each line after the title without its
      # tab, an escape counted as the one character it stands for.
      expected=$("$KEYSCOUT" "${ks[@]}" | sed '1,/^Value data : $/d; s/^\t//; s/\\x[0-9A-F][0-9A-F]/./g' | tr -d '\n' | wc -c) ;;
  esac

  local -a tools=() cmds=() dumps=()
  add() { tools+=("$1"); dumps+=("$2"); shift 2; cmds+=("$(printf '%q ' "$@")"); }
  local own=""
  [ "$kind" = export ] && own=$DATA/out/keyscout.bin
  add keyscout "$own" "$KEYSCOUT" "${ks[@]}"
  [ "$kind" = decode ] && add "keyscout -v -w" "$DATA/out/reference.bin" \
    "$KEYSCOUT" -f "$path" -k "$key" -v "$value" -w "$DATA/out/reference.bin"
  if command -v hivexsh >/dev/null; then add hivexsh "" hivexsh -f "$script" "$path"; fi
  if command -v hivexget >/dev/null; then
    case $kind in
      lookup|export|decode) add hivexget "" hivexget "$path" "\\$key" "$value" ;;
      values) add hivexget "" hivexget "$path" "\\$key" ;;
    esac
  fi
  if command -v reglookup >/dev/null; then
    case $kind in
      lookup|export|decode) add reglookup "" reglookup -H -p "$slash/$value" "$path" ;;
      subkeys) add reglookup "" reglookup -H -t KEY -p "$slash" "$path" ;;
      values) add reglookup "" reglookup -H -p "$slash" "$path" ;;
    esac
  fi
  if perl -MParse::Win32Registry -e1 2>/dev/null; then
    case $kind in
      lookup|decode) add Parse::Win32Registry "" perl "$PEER_PERL" value "$path" "$key" "$value" ;;
      subkeys|values) add Parse::Win32Registry "" perl "$PEER_PERL" "$kind" "$path" "$key" ;;
      export) add Parse::Win32Registry "$DATA/out/peer.bin" perl "$PEER_PERL" export "$path" "$key" "$value" "$DATA/out/peer.bin" ;;
    esac
  fi

  local i verdict seconds slow
  for i in "${!tools[@]}"; do
    local -a argv
    eval "argv=(${cmds[$i]})"
    verdict=$(check "$kind" "$expected" "${dumps[$i]}" "${argv[@]}")
    if [ "${verdict%% *}" != ok ]; then
      say "   ${tools[$i]}: $verdict"
      ROWS+=("$id|${tools[$i]}||||| $verdict")
      continue
    fi
    seconds=${verdict#ok }
    slow=$(awk -v s="$seconds" -v t="$SLOW_SECONDS" 'BEGIN { print (s > t) ? 1 : 0 }')
    local result
    result=$(measure "$id.$i" "$slow" "${argv[@]}")
    say "   ${tools[$i]}: $result"
    ROWS+=("$id|${tools[$i]}|${result// /|}|")
  done

  # The floors: start-up alone, then start-up, the pages and the output.
  local floor=("$FLOOR_WORK" "$path" "$DATA/pages/$id.txt" "$outbytes")
  [ "$kind" = export ] && floor+=("$DATA/out/floor.bin" "$expected")
  ROWS+=("$id|floor: start|$START_FLOOR|")
  local result
  result=$(measure "$id.floor" 0 "${floor[@]}")
  say "   floor: $result ($pages pages, $outbytes output bytes)"
  ROWS+=("$id|floor: start + $pages pages + output|${result// /|}|")
  PAGES[$id]=$pages
  TITLES[$id]=$title
  ORDER+=("$id")
  KIND[$id]=$kind
  EXPECTED[$id]=$expected
}

declare -A PAGES TITLES KIND EXPECTED
ORDER=()

START_FLOOR=$(measure start 0 "$FLOOR_START")
START_FLOOR=${START_FLOOR// /|}

W10=regipy_SYSTEM_WIN_10_1709
W10_DEEP='Setup\Upgrade\PnP\CurrentControlSet\Control\DeviceMigration\Devices\HDAUDIO\FUNC_01&VEN_15AD&DEV_1975&SUBSYS_15AD1975&REV_1001\5&217be3d6&0&0001\Driver\DeviceInterfaces\eAuxIn\DeviceParameters\MSEP\0'
W7_DEEP='ControlSet001\Control\NetDiagFx\Microsoft\HostDLLs\DnsHelperClass\HelperClasses\DnsHelperClass\Providers\{1c95126e-7eea-49a9-a3fe-a378b03ddb4d}'
DISSECT_DEEP='ControlSet001\Control\NetDiagFx\Microsoft\HostDLLs\DirectAccessServerHelperClass\HelperClasses\DirectAccessServerHC\Providers\{0C478C5B-0351-41B1-8C58-4A6737DA32E3}'
DEEP100=$(seq -f 'L%02g' 1 100 | paste -sd '\\')

workload w10-lookup16 "depth-16 key, one value; Windows 10 SYSTEM, 15 MB" "$W10" lookup "$W10_DEEP" '{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},7'
workload w7-lookup10 "depth-10 key, one value; Windows 7 SYSTEM, 12 MB" regipy_SYSTEM lookup "$W7_DEEP" Name
workload w10b-lookup10 "depth-10 key, one value; Windows 10 SYSTEM, 11 MB" dissect_SYSTEM lookup "$DISSECT_DEEP" Name
workload small-lookup100 "depth-100 key, one value; 16 KB hive" deep-small.hiv lookup "$DEEP100" Target
workload big-lookup100 "depth-100 key, one value; 321 MB hive" all-in-one.hiv lookup "$DEEP100" Target
workload w10-list3195 "list 3,195 subkeys; Windows 10 SYSTEM" "$W10" subkeys 'DriverDatabase\DeviceIds\PCI'
workload w7-list2548 "list 2,548 subkeys; Windows 7 SYSTEM" regipy_SYSTEM subkeys 'ControlSet001\Control\CriticalDeviceDatabase'
workload w10b-list3247 "list 3,247 subkeys; Windows 10 SYSTEM (2)" dissect_SYSTEM subkeys 'DriverDatabase\DeviceIds\PCI'
workload list1m "list 1,000,000 subkeys (ri of 2,000 lh)" subkeys-1m.hiv subkeys ManySubkeys
workload values100k "list 100,000 values" values-100k.hiv values ManyValues
workload export200m "-v -w of a 200 MiB big-data value" bigdata-200m.hiv export BigValue Big
workload decode200m "-v -d of a 200 MiB REG_MULTI_SZ value" bigtext-200m.hiv decode BigText Texts

# --- whole-hive exports (-x) ---------------------------------------------------

# What a peer's whole-hive dump measured, per hive, so that the three formats
# of one hive time each peer once ("median min max rss"), and whether it did
# the request, per hive and for keys alone or values too ("ok SECONDS", or why
# it fails).
declare -A DUMP_PEER DUMP_CHECK

# Runs a peer's dump once: exit status 0, at least one line per key, and at
# least MIN_BYTES of output: a dump of the values that leaves most of the
# data out (reglookup cuts a value at 1 MiB) did not do the request.
# (reglookup warns on the error stream about data it quotes raw; a dump that
# ends in 0 with every line is kept all the same.) Prints "ok SECONDS" or why
# it fails.
check_dump() {
  local keys=$1 min_bytes=$2 start end code=0 lines bytes
  shift 2
  start=$(date +%s.%N)
  timeout 900 "$@" >"$DATA/check/stdout" 2>"$DATA/check/stderr" || code=$?
  end=$(date +%s.%N)
  [ "$code" = 0 ] || { echo "fails: exit $code, $(head -c 60 "$DATA/check/stderr" | tr '\n' ' ')"; return; }
  lines=$(wc -l <"$DATA/check/stdout")
  [ "$lines" -ge "$keys" ] || { echo "fails: $lines lines for $keys keys"; return; }
  bytes=$(stat -c %s "$DATA/check/stdout")
  [ "$bytes" -ge "$min_bytes" ] || { echo "fails: $bytes bytes, where the values' data alone takes more"; return; }
  echo "ok $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
}

# keyscout -x FORMAT of a whole hive, against the peers' whole-hive dumps and
# the floor: every page of the hive read and as many bytes written as keyscout
# writes. The bodyfile holds keys alone and is held to every peer, the fastest
# of which (reglookup-timeline) dumps keys alone too; JSON Lines and CSV hold
# every value as well and are held to the peers that dump values (reglookup,
# hivexregedit).
dump_workload() {
  local id=$1 title=$2 hive=$3 format=$4
  local path=$DATA/$hive
  [[ $id =~ ${BENCH_ONLY:-.} ]] || return 0
  [ -s "$path" ] || { say "skipping $id: no $hive"; return; }
  say "== $id: $title"
  local out=$DATA/out/export.$format
  if ! "$KEYSCOUT" -f "$path" -x "$format" >"$out" 2>"$DATA/check/stderr"; then
    say "keyscout fails on $id: $(head -c 200 "$DATA/check/stderr")"
    return
  fi
  local outbytes keys pages result
  outbytes=$(stat -c %s "$out")
  keys=$("$KEYSCOUT" -f "$path" -x body | wc -l)
  result=$(measure "$id.keyscout" 0 "$KEYSCOUT" -f "$path" -x "$format")
  say "   keyscout: $result ($outbytes bytes, $keys keys)"
  ROWS+=("$id|keyscout|${result// /|}|")

  local -a peers=(reglookup hivexregedit)
  [ "$format" = body ] && peers=(reglookup-timeline reglookup hivexregedit)
  local peer verdict seconds slow
  for peer in "${peers[@]}"; do
    local -a argv
    case $peer in
      reglookup) argv=(reglookup "$path") ;;
      reglookup-timeline) argv=(reglookup-timeline "$path") ;;
      hivexregedit) argv=(hivexregedit --export "$path" '\') ;;
    esac
    command -v "${argv[0]}" >/dev/null || continue
    # The values' data in any text form takes at least a byte per byte: an
    # eighth of keyscout's hexadecimal leaves room for any layout. The
    # bodyfile asks for keys alone.
    local min_bytes=$((outbytes / 8)) need=values
    [ "$format" = body ] && { min_bytes=0; need=keys; }
    if [ -z "${DUMP_CHECK[$hive|$peer|$need]:-}" ]; then
      DUMP_CHECK[$hive|$peer|$need]=$(check_dump "$keys" "$min_bytes" "${argv[@]}")
    fi
    verdict=${DUMP_CHECK[$hive|$peer|$need]}
    if [ "${verdict%% *}" != ok ]; then
      result=$verdict
    else
      if [ -z "${DUMP_PEER[$hive|$peer]:-}" ]; then
        seconds=${verdict#ok }
        slow=$(awk -v s="$seconds" -v t="$SLOW_SECONDS" 'BEGIN { print (s > t) ? 1 : 0 }')
        DUMP_PEER[$hive|$peer]=$(measure "$id.$peer" "$slow" "${argv[@]}")
      fi
      result=${DUMP_PEER[$hive|$peer]}
    fi
    say "   $peer: $result"
    case $result in
      fails:*) ROWS+=("$id|$peer||||| $result") ;;
      *) ROWS+=("$id|$peer|${result// /|}|") ;;
    esac
  done

  pages=$(( ($(stat -c %s "$path") + 4095) / 4096 ))
  echo "0 $pages" >"$DATA/pages/$id.txt"
  ROWS+=("$id|floor: start|$START_FLOOR|")
  result=$(measure "$id.floor" 0 "$FLOOR_WORK" "$path" "$DATA/pages/$id.txt" "$outbytes")
  say "   floor: $result ($pages pages, $outbytes output bytes)"
  ROWS+=("$id|floor: start + $pages pages + output|${result// /|}|")
  PAGES[$id]=$pages
  TITLES[$id]=$title
  ORDER+=("$id")
  KIND[$id]=dump
  EXPECTED[$id]=$(stat -c %s "$path")
}

for format in jsonl csv body; do
  dump_workload "w10-x$format" "-x $format of the whole Windows 10 SYSTEM hive (43,211 keys, 90,307 values), 15 MB" \
    "$W10" "$format"
done
for format in jsonl csv body; do
  dump_workload "1m-x$format" "-x $format of 1,000,000 subkeys (ri of 2,000 lh), 104 MB" subkeys-1m.hiv "$format"
done
for format in jsonl csv body; do
  dump_workload "100k-x$format" "-x $format of a key with 100,000 values" values-100k.hiv "$format"
done
for format in jsonl csv body; do
  dump_workload "200m-x$format" "-x $format of a hive holding a 200 MiB big-data value" bigdata-200m.hiv "$format"
done

# -t: a lookup on a dirty hive with its logs, against the same lookup on the
# hive replayed beforehand (or, with no such hive, on the dirty hive read as
# stored), and what reading the logs once costs: a static program that maps
# each log and copies every byte out of it, less one that does nothing.
LOG_ROWS=()  # "id|title|-t|plain|logs read|RSS -t|RSS plain"
logs_workload() {
  local id=$1 title=$2 dirty=$3 plain=$4 key=$5 value=$6
  [[ $id =~ ${BENCH_ONLY:-.} ]] || return 0
  [ -s "$dirty" ] && [ -s "$plain" ] || { say "skipping $id: no $dirty"; return; }
  say "== $id: $title"
  local with without read=0 log i=0 bytes result
  with=$(measure "$id.t" 0 "$KEYSCOUT" -t -f "$dirty" -k "$key" -v "$value")
  without=$(measure "$id.plain" 0 "$KEYSCOUT" -f "$plain" -k "$key" -v "$value")
  say "   -t: $with; plain: $without"
  for log in "$dirty".LOG*; do
    bytes=$(stat -c %s "$log")
    [ "$bytes" -gt 0 ] || continue
    echo "0 $(( (bytes + 4095) / 4096 ))" >"$DATA/pages/$id.log$i.txt"
    result=$(measure "$id.log$i" 0 "$FLOOR_WORK" "$log" "$DATA/pages/$id.log$i.txt" 0 /dev/null "$bytes")
    say "   reading $(basename "$log") once: $result"
    read=$(awk -v r="${result%% *}" -v s="${START_FLOOR%%|*}" -v a="$read" 'BEGIN { printf "%.9f", a + r - s }')
    i=$((i + 1))
  done
  read -r wm _ _ wr <<<"$with"
  read -r pm _ _ pr <<<"$without"
  LOG_ROWS+=("$id|$title|$wm|$pm|$read|$wr|$pr")
}

W10_VALUE='{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},7'
NTUSER_LOGS=$HIVES/logs/regipy_transactions_NTUSER/transactions_NTUSER.DAT
logs_workload logs-w10 "-t, depth-16 key, one value; Windows 10 SYSTEM, 1.9 MB .LOG1 of 15 entries (473 pages) against the hive replayed beforehand" \
  "$DATA/logged.hiv" "$DATA/replayed.hiv" "$W10_DEEP" "$W10_VALUE"
logs_workload logs-ntuser "-t, key and value; the real NTUSER.DAT with its 1.1 MB .LOG1 (23 entries) against the hive read as stored" \
  "$NTUSER_LOGS" "$NTUSER_LOGS" 'Software\Microsoft\Windows\CurrentVersion\Explorer' 'GlobalAssocChangedCounter'

# --- deleted keys and values (-r) ----------------------------------------------

# -x jsonl -r of a whole hive against the same export without -r and against
# reglookup-recover, which prints the deleted keys and values alone.
RECOVER_ROWS=()  # "id|title|-r|-x alone|reglookup-recover or why not|RSS -r|RSS -x"
recover_workload() {
  local id=$1 title=$2 hive=$3
  local path=$DATA/$hive
  [[ $id =~ ${BENCH_ONLY:-.} ]] || return 0
  [ -s "$path" ] || { say "skipping $id: no $hive"; return; }
  say "== $id: $title"
  if ! "$KEYSCOUT" -f "$path" -x jsonl -r >/dev/null 2>"$DATA/check/stderr"; then
    say "keyscout fails on $id: $(head -c 200 "$DATA/check/stderr")"
    return
  fi
  say "   $(cat "$DATA/check/stderr")"
  local with without peer="not installed" verdict slow
  with=$(measure "$id.r" 0 "$KEYSCOUT" -f "$path" -x jsonl -r)
  without=$(measure "$id.x" 0 "$KEYSCOUT" -f "$path" -x jsonl)
  say "   -x jsonl -r: $with; -x jsonl: $without"
  if command -v reglookup-recover >/dev/null; then
    verdict=$(check_dump 1 0 reglookup-recover "$path")
    peer=$verdict
    if [ "${verdict%% *}" = ok ]; then
      slow=$(awk -v s="${verdict#ok }" -v t="$SLOW_SECONDS" 'BEGIN { print (s > t) ? 1 : 0 }')
      peer=$(measure "$id.peer" "$slow" reglookup-recover "$path")
    fi
    say "   reglookup-recover: $peer"
  fi
  read -r wm _ _ wr <<<"$with"
  read -r xm _ _ xr <<<"$without"
  RECOVER_ROWS+=("$id|$title|$wm|$xm|$peer|$wr|$xr")
}

recover_workload w10-recover "-x jsonl -r of the whole Windows 10 SYSTEM hive (990 deleted keys, 1,868 deleted values), 15 MB" \
  "$W10"

# --- the table ----------------------------------------------------------------

report() {
  local cpu mem
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  mem=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
  echo "# keyscout benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(nproc) cores, $cpu, $mem, $(uname -sr); load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  if [ "$BUSY_AT_START" = 1 ] || pgrep -f keyscout_fuzz >/dev/null; then
    echo "Note: a fuzzing process was running during the measurements."
  fi
  echo "keyscout: $KEYSCOUT ($(file -b "$KEYSCOUT" | grep -o 'static[-a-z]* linked\|dynamically linked'), $(stat -c %s "$KEYSCOUT") bytes)."
  echo "Medians of whole runs with the files in the page cache (hyperfine -N); peak RSS from /usr/bin/time."
  echo
  echo "| work | tool | median | min–max | peak RSS | keyscout ÷ best peer | keyscout ÷ floor |"
  echo "|---|---|---:|---:|---:|---:|---:|"
  local id row
  for id in "${ORDER[@]}"; do
    # keyscout's median, the best peer's and the floor's.
    local ks="" best="" floor=""
    for row in "${ROWS[@]}"; do
      IFS='|' read -r rid tool median _ _ _ note <<<"$row"
      [ "$rid" = "$id" ] && [ -n "$median" ] || continue
      case $tool in
        keyscout) ks=$median ;;
        "floor: start"|"keyscout -v -w") ;;
        floor:*) floor=$median ;;
        *) if [ -z "$best" ] || holds "$median < $best"; then best=$median; fi ;;
      esac
    done
    local first=1
    for row in "${ROWS[@]}"; do
      IFS='|' read -r rid tool median min max rss note <<<"$row"
      [ "$rid" = "$id" ] || continue
      local work="" vs_peer="" vs_floor=""
      [ $first = 1 ] && work="$id: ${TITLES[$id]}"
      first=0
      if [ -z "$median" ]; then
        echo "| $work | $tool | ${note# } | | | | |"
        continue
      fi
      if [ "$tool" = keyscout ]; then
        if [ -n "$best" ]; then vs_peer=$(awk -v a="$ks" -v b="$best" 'BEGIN { printf "%.3f", a / b }'); else vs_peer="no peer"; fi
        [ -n "$floor" ] && vs_floor=$(awk -v a="$ks" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')
      fi
      echo "| $work | $tool | $(ms "$median") | $(ms "$min")–$(ms "$max") | $(mb "$rss") | $vs_peer | $vs_floor |"
    done
  done
  echo
  targets
  logs_table
  recover_table
}

# The -t rows, and their target: at most the time of reading the logs once
# above the plain lookup.
logs_table() {
  [ ${#LOG_ROWS[@]} -gt 0 ] || return 0
  echo
  echo "| -t request | -t | plain | reading the logs once | -t − plain | met | peak RSS -t / plain |"
  echo "|---|---:|---:|---:|---:|:---:|---:|"
  local row id title with plain read rss_with rss_plain met
  for row in "${LOG_ROWS[@]}"; do
    IFS='|' read -r id title with plain read rss_with rss_plain <<<"$row"
    met=NO
    holds "$with - $plain <= $read" && met=yes
    echo "| $id: $title | $(ms "$with") | $(ms "$plain") | $(ms "$read") |" \
      "$(awk -v a="$with" -v b="$plain" 'BEGIN { printf "%.2f ms", (a - b) * 1000 }') | $met |" \
      "$(mb "$rss_with") / $(mb "$rss_plain") |"
  done
}

# The -r rows, and their targets: at most 2× the export alone, and at least
# 10× faster than reglookup-recover.
recover_table() {
  [ ${#RECOVER_ROWS[@]} -gt 0 ] || return 0
  echo
  echo "| -r request | -x jsonl -r | -x jsonl | ÷ -x jsonl (≤ 2) | reglookup-recover | faster by (≥ 10) | peak RSS -r / -x |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  local row id title with without peer rss_with rss_without alone faster
  for row in "${RECOVER_ROWS[@]}"; do
    IFS='|' read -r id title with without peer rss_with rss_without <<<"$row"
    alone=$(awk -v a="$with" -v b="$without" 'BEGIN { printf "%.2f", a / b }')
    holds "$alone <= 2" && alone="$alone yes" || alone="$alone NO"
    faster=""
    case $peer in
      [0-9]*)
        faster=$(awk -v a="${peer%% *}" -v b="$with" 'BEGIN { printf "%.1f×", a / b }')
        holds "${peer%% *} >= 10 * $with" && faster="$faster yes" || faster="$faster NO"
        peer=$(ms "${peer%% *}") ;;
    esac
    echo "| $id: $title | $(ms "$with") | $(ms "$without") | $alone | $peer | $faster |" \
      "$(mb "$rss_with") / $(mb "$rss_without") |"
  done
}

# True when the arithmetic comparison holds.
holds() { awk "BEGIN { exit !($1) }"; }
ms() { awk -v s="$1" 'BEGIN { if (s >= 1) printf "%.2f s", s; else printf "%.2f ms", s * 1000 }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }'; }

# The value of one column of one row: field 3 median, 6 RSS.
field() {
  local id=$1 tool=$2 n=$3 row
  for row in "${ROWS[@]}"; do
    IFS='|' read -r rid t _ <<<"$row"
    if [ "$rid" = "$id" ] && [[ $t == $tool ]]; then echo "$row" | cut -d'|' -f"$n"; return; fi
  done
}

# The median of the fastest peer that did request $1, or nothing.
best_peer() {
  local best="" row rid tool median
  for row in "${ROWS[@]}"; do
    IFS='|' read -r rid tool median _ <<<"$row"
    [ "$rid" = "$1" ] && [ -n "$median" ] || continue
    case $tool in keyscout*|floor*) continue ;; esac
    if [ -z "$best" ] || holds "$median < $best"; then best=$median; fi
  done
  echo "$best"
}

# The targets, each with what was measured.
targets() {
  echo "| target | measured | met |"
  echo "|---|---:|:---:|"
  verdict() { if holds "$2"; then echo "| $1 | $3 | yes |"; else echo "| $1 | $3 | NO |"; fi; }
  local id ks floor best rss mapped
  for id in "${ORDER[@]}"; do
    ks=$(field "$id" keyscout 3)
    floor=$(field "$id" 'floor: start + *' 3)
    rss=$(field "$id" keyscout 6)
    # The hive pages the request maps, as the floor program shows them: what
    # it touches plus what the kernel maps around each fault, beyond what a
    # static program that does nothing holds.
    mapped=$(( $(field "$id" 'floor: start + *' 6) - $(field "$id" 'floor: start' 6) ))
    [ -n "$ks" ] && [ -n "$floor" ] || continue
    local ratio
    ratio=$(awk -v a="$ks" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')
    case ${KIND[$id]} in
      lookup)
        verdict "$id: within 2× the floor" "$ratio <= 2" "${ratio}×"
        verdict "$id: peak RSS under 4 MB + the pages touched" "$rss < 4000000 / 1024 + $mapped" \
          "$(mb "$rss") (pages mapped: $(mb "$mapped"))" ;;
      subkeys)
        verdict "$id: within 3× the floor" "$ratio <= 3" "${ratio}×" ;;
      values)
        verdict "$id: under 5 ms" "$ks < 0.005" "$(ms "$ks")" ;;
      decode)
        local reference
        reference=$(field "$id" 'keyscout -v -w' 3)
        [ -n "$reference" ] && verdict "$id: within 1.2× keyscout -v -w on the same value" \
          "$ks <= 1.2 * $reference" "$(awk -v a="$ks" -v b="$reference" 'BEGIN { printf "%.2f×", a / b }')" ;;
      dump)
        verdict "$id: within 3× the floor" "$ratio <= 3" "${ratio}×"
        verdict "$id: peak RSS at most the hive + 32 MiB" "$rss * 1024 <= ${EXPECTED[$id]} + 33554432" \
          "$(mb "$rss") (hive: $(mb $((EXPECTED[$id] / 1024))))"
        if [[ $id == w10-* ]]; then
          best=$(best_peer "$id")
          [ -n "$best" ] && verdict "$id: at least 20× faster than the fastest peer" "$best >= 20 * $ks" \
            "$(awk -v a="$best" -v b="$ks" 'BEGIN { printf "%.1f×", a / b }')"
        fi ;;
      export)
        verdict "$id: within 1.5× the floor" "$ratio <= 1.5" "${ratio}×"
        mapped=$((mapped - EXPECTED[$id] / 1024))
        verdict "$id: peak RSS at most the value + 16 MB + the pages touched" \
          "$rss <= (${EXPECTED[$id]} + 16000000) / 1024 + $mapped" \
          "$(mb "$rss") (value: $(mb $((EXPECTED[$id] / 1024))), pages mapped: $(mb "$mapped"))" ;;
    esac
  done
  ks=$(field list1m keyscout 3)
  [ -n "$ks" ] && verdict "list1m: under 20 ms" "$ks < 0.020" "$(ms "$ks")"
  ks=$(field w10-lookup16 keyscout 3)
  best=$(best_peer w10-lookup16)
  [ -n "$ks" ] && [ -n "$best" ] && verdict "w10-lookup16: at least 5× faster than the fastest peer" "$best >= 5 * $ks" \
    "$(awk -v a="$best" -v b="$ks" 'BEGIN { printf "%.1f×", a / b }')"
  local small big
  small=$(field small-lookup100 keyscout 3)
  big=$(field big-lookup100 keyscout 3)
  [ -n "$small" ] && [ -n "$big" ] && verdict "depth-100 lookup: 321 MB hive within 20% of the 16 KB hive" \
    "$big <= 1.2 * $small" "$(awk -v a="$big" -v b="$small" 'BEGIN { printf "%+.1f%%", (a / b - 1) * 100 }')"
  # A request left out (BENCH_ONLY) leaves its target out; the tables after
  # still print.
  return 0
}

RESULT=$DATA/results-$(date -u +%Y%m%d-%H%M%S).md
report | tee "$RESULT"
say "table written to $RESULT"
