#!/usr/bin/env bash
# Checks what an analyst gets from installing keyscout:
#   1. the manual page formats without a single warning;
#   2. `make install` puts exactly the binary and the manual page under PREFIX,
#      inside DESTDIR, and the installed binary runs;
#   3. where dpkg-deb exists, `make deb` builds a package whose files, owners,
#      modes and control fields are right;
#   4. as root where dpkg exists, the package installs and removes cleanly.
# Usage: check-install.sh BUILD_DIR DEB_BUILD_DIR   (run from the source tree;
# MAKE names the make program, as the Makefile passes it)
set -uo pipefail

build=${1:?build directory}
deb_build=${2:?package build directory}
make_cmd=${MAKE:-make}
page=man/keyscout.1

passed=0
failed=0
skipped=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
skip() { skipped=$((skipped + 1)); echo "skipped: $*"; }
# check DESCRIPTION COMMAND...: runs the command, passes when it succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
quietly() { "$@" >/dev/null 2>&1; }

# The same run of two binaries on the sample hive gives the same bytes and status.
same_run() {
  local sample=$build/sample.hiv key='ControlSet001\Control\Session Manager'
  local a b
  a=$("$1" -f "$sample" -k "$key" -s -l -e -v BootExecute; echo "exit $?")
  b=$("$2" -f "$sample" -k "$key" -s -l -e -v BootExecute; echo "exit $?")
  [ "$a" = "$b" ]
}

work=$(mktemp -d)
installed_by_us=0
cleanup() {
  if [ "$installed_by_us" = 1 ]; then dpkg --purge keyscout >/dev/null 2>&1; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Prints every warning that groff, and man where it is there, give for a page.
page_warnings() {
  local file=$1
  groff -ww -z -man "$file" 2>&1
  if command -v man >/dev/null; then
    MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null
  fi
}

# Regular files under a folder, relative to it, sorted.
files_under() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# The version that the top entry of a Debian changelog names.
changelog_version() { sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p'; }

# --- 1. The manual page -----------------------------------------------------
if command -v groff >/dev/null; then
  warnings=$(page_warnings "$page")
  check "manual page formats without warnings" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings"
else
  fail "groff is needed to check the manual page (Debian package groff-base)"
fi
page_version=$(sed -n 's/^\.TH [^"]*"keyscout \([^"]*\)".*/\1/p' "$page")
changelog_top=$(changelog_version <packaging/changelog)
check "manual page and changelog name the same version ($page_version)" \
  test -n "$page_version" -a "$page_version" = "$changelog_top"

# --- 2. make install ----------------------------------------------------------
stage=$work/stage
if "$make_cmd" --no-print-directory install BUILD="$build" PREFIX=/opt/keyscout-check \
    DESTDIR="$stage" >"$work/install.log" 2>&1; then
  pass "make install PREFIX=... DESTDIR=... runs"
  expected=$'opt/keyscout-check/bin/keyscout\nopt/keyscout-check/share/man/man1/keyscout.1'
  got=$(files_under "$stage")
  check "make install places exactly the binary and the manual page" test "$got" = "$expected"
  [ "$got" = "$expected" ] || printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$got"
  check "installed manual page is the one in the source tree" \
    cmp -s "$page" "$stage/opt/keyscout-check/share/man/man1/keyscout.1"
  usage=$("$stage/opt/keyscout-check/bin/keyscout" -h)
  check "installed binary runs and prints its usage text" \
    grep -q '^Usage : ' <<<"$usage"
else
  cat "$work/install.log"
  fail "make install PREFIX=... DESTDIR=... runs"
fi

# --- 3. The Debian package ----------------------------------------------------
if ! command -v dpkg-deb >/dev/null; then
  skip "Debian package (no dpkg-deb on this machine)"
else
  rm -f "$deb_build"/keyscout_*.deb
  if "$make_cmd" --no-print-directory deb DEB_BUILD="$deb_build" >"$work/deb.log" 2>&1; then
    pass "make deb runs"
  else
    cat "$work/deb.log"
    fail "make deb runs"
  fi
  debs=("$deb_build"/keyscout_*.deb)
  if [ ! -f "${debs[0]}" ]; then
    fail "make deb leaves keyscout_*.deb in $deb_build"
  else
    deb=${debs[0]}
    field() { dpkg-deb -f "$deb" "$1"; }

    expected=$'usr/bin/keyscout\nusr/share/doc/keyscout/changelog.gz\nusr/share/doc/keyscout/copyright\nusr/share/man/man1/keyscout.1.gz'
    got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)
    check "package holds exactly the binary, manual page, copyright and changelog" \
      test "$got" = "$expected"
    [ "$got" = "$expected" ] || printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$got"
    bad_owner=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
    check "every package entry belongs to root/root" test -z "$bad_owner"
    bad_mode=$(dpkg-deb -c "$deb" | awk '($1 ~ /^d/ && $1 != "drwxr-xr-x") ||
      ($6 ~ /bin\/keyscout$/ && $1 != "-rwxr-xr-x") ||
      ($1 ~ /^-/ && $6 !~ /bin\/keyscout$/ && $1 != "-rw-r--r--")')
    check "package modes are 0755 for folders and the binary, 0644 for files" test -z "$bad_mode"
    [ -z "$bad_mode" ] || echo "$bad_mode"

    check "Package is keyscout" test "$(field Package)" = keyscout
    check "Section is utils" test "$(field Section)" = utils
    check "Priority is optional" test "$(field Priority)" = optional
    check "Maintainer is set" test -n "$(field Maintainer)"
    description=$(field Description)
    check "Description has a summary and a long text" \
      test "$(wc -l <<<"$description")" -ge 2 -a -n "$(head -n1 <<<"$description")"
    check "Description lines fit 80 columns" test -z "$(awk 'length > 80' <<<"$description")"
    if command -v dpkg >/dev/null; then
      check "Architecture is this machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
    fi
    # Only the C library and the C++ runtime may be needed, or nothing.
    depends=$(field Depends)
    others=$(tr ',' '\n' <<<"$depends" | sed 's/(.*)//; s/ //g' | grep -v -x -e '' -e libc6 -e 'libstdc++6')
    check "Depends names only libc6/libstdc++6 or nothing (got: ${depends:-nothing})" test -z "$others"

    unpacked=$work/unpacked
    dpkg-deb -x "$deb" "$unpacked"
    check "packaged binary runs" quietly "$unpacked/usr/bin/keyscout" -h
    if [ -f "$build/sample.hiv" ]; then
      check "packaged binary prints what the tested build prints" \
        same_run "$build/keyscout" "$unpacked/usr/bin/keyscout"
    fi
    version=$(field Version)
    check "changelog names the package version ($version)" \
      test "$(gzip -dc "$unpacked/usr/share/doc/keyscout/changelog.gz" | changelog_version)" = "$version"
    check "packaged manual page is the one in the source tree" \
      cmp -s "$page" <(gzip -dc "$unpacked/usr/share/man/man1/keyscout.1.gz")
    check "copyright file is the one in the source tree" \
      cmp -s packaging/copyright "$unpacked/usr/share/doc/keyscout/copyright"

    # --- 4. Install and remove it for real ----------------------------------
    # Runs of this check on one machine take turns: each installs system-wide.
    if command -v flock >/dev/null; then
      exec 9>"${TMPDIR:-/tmp}/keyscout-package-check.lock"
      flock -w 900 9
    fi
    status=$(dpkg-query -W -f '${Status}' keyscout 2>/dev/null)
    if [ "$(id -u)" != 0 ] || ! command -v dpkg >/dev/null; then
      skip "dpkg -i / dpkg -r (needs root and dpkg)"
    elif [ -n "$status" ] && [ "${status##* }" != not-installed ]; then
      skip "dpkg -i / dpkg -r (a keyscout package is installed here already; left alone)"
    elif [ -e /usr/bin/keyscout ] || [ -e /usr/share/man/man1/keyscout.1.gz ]; then
      skip "dpkg -i / dpkg -r (/usr already has keyscout files that no package owns; left alone)"
    else
      installed_by_us=1
      if DEBIAN_FRONTEND=noninteractive dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
        pass "dpkg -i installs the package"
        check "installed keyscout runs" quietly /usr/bin/keyscout -h
        if command -v man >/dev/null; then
          check "man finds the installed page" \
            test "$(man -w keyscout 2>/dev/null)" = /usr/share/man/man1/keyscout.1.gz
        fi
      else
        cat "$work/dpkg.log"
        fail "dpkg -i installs the package"
      fi
      if dpkg -r keyscout >"$work/dpkg.log" 2>&1 && dpkg --purge keyscout >>"$work/dpkg.log" 2>&1; then
        installed_by_us=0
        pass "dpkg -r and --purge remove the package"
      else
        cat "$work/dpkg.log"
        fail "dpkg -r and --purge remove the package"
      fi
      left=$(ls -d /usr/bin/keyscout /usr/share/man/man1/keyscout.1.gz /usr/share/doc/keyscout 2>/dev/null)
      check "nothing of the package is left behind" test -z "$left"
      status=$(dpkg-query -W -f '${Status}' keyscout 2>/dev/null)
      check "dpkg keeps no trace of the package" \
        test -z "$status" -o "${status##* }" = not-installed
    fi
  fi
fi

echo "test-install: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
