#!/usr/bin/env bash
# Starts the program under xvfb-run with the virtual camera, takes a screenshot of the root window after a
# few seconds, ends the program as the session would (SIGTERM) and checks that the picture shows the
# camera's colour bars, that the program ended cleanly and saved its settings, even though it started
# from a damaged settings file.
set -euo pipefail

# Inside the virtual X server (the script calls itself there): start, shoot, end.
run_in_display() {
    local program=$1 screenshot=$2 work=$3
    "$program" > "$work/program.log" 2>&1 &
    local pid=$!
    local shot_taken=0
    for _ in $(seq 1 40); do
        sleep 0.5
        kill -0 "$pid" 2>/dev/null || break
        # The window is up once the root window is not a single colour.
        ffmpeg -loglevel error -y -f x11grab -video_size 1024x768 -i "$DISPLAY" -frames:v 1 "$screenshot"
        shot_taken=1
        if [ "$(stat -c %s "$screenshot")" -gt 20000 ]; then
            sleep 2
            ffmpeg -loglevel error -y -f x11grab -video_size 1024x768 -i "$DISPLAY" -frames:v 1 "$screenshot"
            break
        fi
    done
    [ "$shot_taken" -eq 1 ] || { echo "the program ended at once:"; cat "$work/program.log"; return 1; }
    kill -TERM "$pid" 2>/dev/null || { echo "the program was gone before the end:"; cat "$work/program.log"; return 1; }
    local status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "the program ended with status $status:"
        cat "$work/program.log"
        return 1
    fi
}
if [ "${1:-}" = "--in-display" ]; then
    shift
    run_in_display "$@"
    exit
fi

program=$1
screenshot=$2
mkdir -p "$(dirname "$screenshot")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/registry"
# A damaged settings file must not keep the program from starting: it is kept aside and defaults are used.
printf '{"format": "brevicam-registry", "keys": {' > "$work/registry/HKCU.json"

env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work" \
    BREVICAM_REGISTRY_DIR="$work/registry" BREVICAM_VIRTUAL_CAMERA=1 PULSE_SERVER="unix:$work/no-pulse" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --in-display "$program" "$screenshot" "$work"

# The settings were saved on the way out, and the damaged file was kept aside.
[ -s "$work/registry/HKCU.json" ] || { echo "no settings were saved"; exit 1; }
grep -q '"VideoDevice"' "$work/registry/HKCU.json" || { echo "the saved settings lack the camera"; exit 1; }
[ -e "$work/registry/HKCU.json.bad" ] || { echo "the damaged settings file was not kept aside"; exit 1; }

/usr/bin/python3 "$(dirname "$0")/bars-visible.py" "$screenshot"
