#!/bin/sh
# Runs a Windows program under wine: in a prefix of its own, made once, with wine's own
# messages off, and with a wine server started apart, so that no server keeps the caller's
# pipes open once the program has ended.
export WINEPREFIX="${NSUICA_WINEPREFIX:-${TMPDIR:-/tmp}/nsuica-wine-$(id -u)}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Whether wine's services run for this prefix: other prefixes on the machine have their own,
# and each process of a prefix carries it in its environment.
services_run() {
    for pid in $(pgrep -f 'system32.services.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            return 0
    done
    return 1
}

# The prefix is made once; the server and wine's own services are started here with no
# standard output (the first program would start them with its own, and they would hold it
# open) and kept for ten minutes. One caller at a time: two that found no services would each
# start a program while the other's services were still coming up.
# What wine leaves running must not hold the lock: it is closed for them (9>&-).
(
    flock 9
    if [ ! -f "$WINEPREFIX/.made" ]; then
        wineboot -i </dev/null >/dev/null 2>&1 9>&- && wineserver -w && touch "$WINEPREFIX/.made"
    fi
    wineserver -p600 </dev/null >/dev/null 2>&1 9>&-
    services_run || wine wineboot </dev/null >/dev/null 2>&1 9>&-
) 9>"$WINEPREFIX.lock"
exec wine "$@"
