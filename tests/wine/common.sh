# Helpers of the wine tests (sourced). Inside scripts/wine-sandbox only.

# Maps COM1 to `path` (a link the simulator makes) through wine's own port
# settings, then restarts the wine server so that they take effect.
map_com1() {
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$1" /f >/dev/null 2>&1
    restart_wine_server
}

# A persistent wine server whose own output, and that of wine's helper
# programs, goes nowhere: the server dumps its whole state when it ends, and
# the helpers must not hold a test's output open after the test.
restart_wine_server() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 || true
}

# Starts the simulator; sets SIM_PID. Arguments: flash file, link, options...
start_sim() {
    local flash=$1 link=$2
    shift 2
    "$LINUX_BUILD/vr3900-sim" --flash "$flash" --link "$link" "$@" > "$flash.port" &
    SIM_PID=$!
    for _ in $(seq 50); do [ -s "$flash.port" ] && return 0; sleep 0.1; done
    echo "simulator did not start" >&2
    return 1
}

stop_sim() {
    if [ -n "${SIM_PID:-}" ]; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
        SIM_PID=""
    fi
}

# Gives a window the keyboard focus (there is no window manager under
# Xvfb) and types keys into it.
press() {  # window, keys...
    local win=$1
    shift
    xdotool windowfocus --sync "$win" key --clearmodifiers "$@"
}

# The Windows path of a Linux path (wine's drive Z: is the root).
winpath() {
    echo "Z:$1" | tr '/' '\\'
}
