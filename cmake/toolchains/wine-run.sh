#!/bin/sh
# Runs a Windows program built here under Wine, headless and without
# questions: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# The Wine prefix lives in the build folder unless WINEPREFIX is set; Wine's
# own messages are off; no display is used, and the .NET and HTML runtimes,
# which a new prefix would offer to download, are not wanted.
prefix_dir=$1
shift
export WINEPREFIX="${WINEPREFIX:-$prefix_dir}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
[ -n "$wine" ] || wine=$(command -v wine || true)
[ -n "$wine" ] || { echo "wine-run.sh: Wine is not installed" >&2; exit 127; }
exec "$wine" "$@"
