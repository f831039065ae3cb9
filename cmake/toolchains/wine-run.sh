#!/bin/sh
# Runs a Windows program under wine: in a prefix of its own, made once, with wine's own
# messages off, and with a wine server started apart, so that no server keeps the caller's
# pipes open once the program has ended.
export WINEPREFIX="${NSUICA_WINEPREFIX:-${TMPDIR:-/tmp}/nsuica-wine-$(id -u)}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.made" ]; then
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.made" ]; then
            wineboot -i </dev/null >/dev/null 2>&1 && wineserver -w && touch "$WINEPREFIX/.made"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# The server and wine's own services (the first program starts them, and they would inherit
# its standard output) are started here with none, and kept for ten minutes.
wineserver -p600 </dev/null >/dev/null 2>&1
pgrep -f 'system32.services.exe' >/dev/null || wine wineboot </dev/null >/dev/null 2>&1
exec wine "$@"
