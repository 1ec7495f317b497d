#!/usr/bin/env bash
# Starts the program under xvfb-run (a virtual X server without a window manager) with the virtual camera,
# plays one scenario on it, ends the program as the session would (SIGTERM) unless the scenario closed it
# with its close button, and checks that it ended cleanly and saved its settings, even though it started
# from a damaged settings file.
#
#   run-program.sh PROGRAM live-picture SCREENSHOT  the window shows the camera's colour bars
#   run-program.sh PROGRAM window-looks FOLDER      the windows carry their titles, a button looks as before
#                                                   once the dialog it opened is closed, minimising leaves
#                                                   nothing of the window on the screen and restoring
#                                                   brings it back whole; screenshots are kept in FOLDER
#   run-program.sh PROGRAM capture-panel FOLDER     the capture panel closes and opens again, takes photos
#                                                   (its button and Space), in full screen the compact
#                                                   capture window takes a photo and Escape brings the
#                                                   window back, the panel records a 3-second video that
#                                                   plays and takes a burst with its animation; the close
#                                                   button ends the program, which saved the burst mode;
#                                                   screenshots are kept in FOLDER
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")

grab() {
    ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 1024x768 -i "$DISPLAY" -frames:v 1 "$1"
}

# A loaded machine may take long for each step; the bound only ends a run that really hangs.
patience=120

# Runs the command until it succeeds, for at most $patience seconds; an answer of 2 means it never will.
until_true() {
    local deadline=$((SECONDS + patience)) status
    while :; do
        "$@" && return 0 || status=$?
        [ "$status" -ne 2 ] && [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.25
    done
}

# Two screenshots in a row look the same outside the given rectangle: the screen has settled.
screen_settled() {
    local shot=$1
    shift
    grab "$shot.previous.png"
    looks_like "$shot.previous.png" "$shot" "$@"
}

# The program still runs and the screen shows more than a single colour.
window_shown() {
    local pid=$1 shot=$2
    kill -0 "$pid" 2>/dev/null || return 2
    grab "$shot"
    [ "$(stat -c %s "$shot")" -gt 20000 ]
}

# Waits until the program's window is up: the root window is no longer a single colour.
wait_for_window() {
    local pid=$1 shot=$2
    until_true window_shown "$pid" "$shot"
}

# A screenshot taken now looks like the reference outside the given rectangle.
looks_like() {
    local reference=$1 shot=$2
    shift 2
    grab "$shot"
    /usr/bin/python3 "$here/window-looks.py" same-outside "$reference" "$shot" "$@" > /dev/null 2>&1
}

no_camera_dialog() { ! xdotool search --onlyvisible --name '^Camera$' > /dev/null; }

fail() {
    echo "$1"
    [ -n "${work:-}" ] && [ -f "$work/program.log" ] && cat "$work/program.log"
    exit 1
}

# The title a window shows the desktop, in both of its properties.
check_title() {
    local window=$1 title=$2 what=$3
    xprop -id "$window" WM_NAME | grep -qF "= \"$title\"" || fail "$what: WM_NAME is not \"$title\""
    xprop -id "$window" _NET_WM_NAME | grep -qF "= \"$title\"" || fail "$what: _NET_WM_NAME is not \"$title\""
}

# The main window: shown, titled after the product, and not the utility window of its skin's background.
main_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Brevicam$'); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q UTILITY || { echo "$w"; return 0; }
    done
    return 1
}

# The pointer rests outside every window of the program.
park_pointer() {
    xdotool mousemove 1020 760
}

# The screen shows the camera's colour bars (at least the given pixels of each colour).
bars_shown() {
    grab "$1"
    /usr/bin/python3 "$here/bars-visible.py" "$1" ${2:-} > /dev/null 2>&1
}

scenario_live_picture() {
    local pid=$1 screenshot=$2
    wait_for_window "$pid" "$screenshot" || fail "the program ended or showed nothing"
    until_true bars_shown "$screenshot" || true
}

scenario_window_looks() {
    local pid=$1 folder=$2
    local desktop=$folder/desktop.png
    wait_for_window "$pid" "$folder/started.png" || fail "the program ended or showed nothing"
    # The first picture is painted once the camera runs; the screen is compared with it from then on.
    until_true bars_shown "$folder/started.png" || fail "the live picture never showed"
    local main
    main=$(main_window) || fail "no main window"
    check_title "$main" "Brevicam" "main window"
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$main")"
    # The live picture moves; everything else of the window must come back pixel for pixel.
    local picture=("$((X + 63))" "$((Y + 77))" 320 240)
    park_pointer
    # Whatever the pointer left lit goes out before the window is taken as the reference.
    until_true screen_settled "$folder/before.png" "${picture[@]}" || fail "the window never settled"

    # The video settings button (its centre in the skin's layout) opens the camera-controls dialog.
    xdotool mousemove "$((X + 129))" "$((Y + 381))"
    xdotool click 1
    local dialog
    dialog=$(timeout "$patience" xdotool search --sync --onlyvisible --name '^Camera$' | head -n 1) ||
        fail "the camera-controls dialog never showed a title"
    check_title "$dialog" "Camera" "camera-controls dialog"
    grab "$folder/dialog.png"
    xdotool key --window "$dialog" Escape
    until_true no_camera_dialog || fail "Escape did not close the dialog"
    park_pointer
    until_true looks_like "$folder/before.png" "$folder/after-dialog.png" "${picture[@]}" || true
    /usr/bin/python3 "$here/window-looks.py" same-outside "$folder/before.png" "$folder/after-dialog.png" \
        "${picture[@]}" || fail "the window did not look as before once the dialog was closed"

    # The skin's minimise button (its centre in the skin's layout).
    xdotool mousemove "$((X + 370))" "$((Y + 19))"
    xdotool click 1
    until_true looks_like "$desktop" "$folder/minimised.png" || true
    /usr/bin/python3 "$here/window-looks.py" same-outside "$desktop" "$folder/minimised.png" ||
        fail "something of the window stayed on the screen after minimising"

    # Restored as a window manager restores it: the window's state goes from iconic back to normal.
    /usr/bin/python3 "$here/window-looks.py" wm-state "$main" iconic
    /usr/bin/python3 "$here/window-looks.py" wm-state "$main" normal
    park_pointer
    until_true looks_like "$folder/before.png" "$folder/restored.png" "${picture[@]}" || true
    /usr/bin/python3 "$here/window-looks.py" same-outside "$folder/before.png" "$folder/restored.png" \
        "${picture[@]}" || fail "the window did not come back whole"
}

# The capture panel: shown beside the main window, which it overlaps by 23 pixels.
capture_panel() {
    local main=$1 X Y WIDTH HEIGHT WINDOW SCREEN w
    eval "$(xdotool getwindowgeometry --shell "$main")"
    local right=$((X + WIDTH - 23))
    for w in $(xdotool search --onlyvisible --name '^Brevicam$'); do
        [ "$w" = "$main" ] && continue
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$X" -eq "$right" ] && { echo "$w"; return 0; }
    done
    return 1
}

# A file matching the pattern lies in the folder.
file_in() {
    compgen -G "$1/$2" > /dev/null || return 1
}

# A video file that ffprobe reads and that lasts at least the given seconds.
video_lasts() {
    local file=$1 seconds=$2 duration
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file" 2>/dev/null) || return 1
    [ -n "$duration" ] && awk -v d="$duration" -v s="$seconds" 'BEGIN { exit !(d >= s) }'
}

scenario_capture_panel() {
    local pid=$1 folder=$2
    local photos="$work/home/Documents/Tavisk webcam/Photos" videos="$work/home/Documents/Tavisk webcam/Videos"
    local gifs="$work/home/Documents/Tavisk webcam/GIF"
    wait_for_window "$pid" "$folder/started.png" || fail "the program ended or showed nothing"
    until_true bars_shown "$folder/started.png" || fail "the live picture never showed"
    local main panel
    main=$(main_window) || fail "no main window"
    panel=$(until_true capture_panel "$main") || fail "the capture panel did not open docked beside the window"
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    local px=$X py=$Y
    eval "$(xdotool getwindowgeometry --shell "$main")"
    local mx=$X my=$Y

    # The panel's close button (its centre in the panel's layout) closes it; the main window's capture
    # mode button opens it again, docked as before.
    xdotool mousemove "$((px + 276))" "$((py + 19))" click 1
    until_true no_capture_panel "$main" || fail "the panel's close button did not close it"
    park_pointer
    grab "$folder/panel-closed.png"
    xdotool mousemove "$((mx + 83))" "$((my + 381))" click 1
    panel=$(until_true capture_panel "$main") || fail "the main window's button did not open the panel again"
    park_pointer
    grab "$folder/panel-opened.png"

    # The capture button (its centre in the panel's layout) takes a photo in photo mode, and so does
    # Space while the panel has the keyboard.
    xdotool mousemove "$((px + 254))" "$((py + 78))" click 1
    until_true more_files "$photos" 'Pic-*.jpg' 0 || fail "the capture button took no photo"
    park_pointer
    grab "$folder/photo.png"
    until_true more_files_after_space "$photos" 1 || fail "Space took no photo"

    # F11 (the panel has the keyboard) puts the picture on the whole screen, each bar far larger than in the
    # window.
    xdotool key F11
    until_true bars_shown "$folder/fullscreen.png" 40000 || fail "F11 did not show the picture on the whole screen"
    local compact
    compact=$(until_true compact_window) || fail "no compact capture window in full screen"
    eval "$(xdotool getwindowgeometry --shell "$compact")"
    # The compact window's capture button (its centre in the window's layout) takes the next photo.
    local before
    before=$(compgen -G "$photos/Pic-*.jpg" | wc -l)
    xdotool mousemove "$((X + 173))" "$((Y + 204))" click 1
    until_true more_files "$photos" 'Pic-*.jpg' "$before" || fail "the compact window's capture button took no photo"
    grab "$folder/fullscreen-photo.png"
    xdotool key Escape
    until_true window_back "$main" || fail "Escape did not bring the main window back"
    park_pointer
    until_true bars_shown "$folder/after-fullscreen.png" || fail "the live picture did not come back in the window"

    # Video mode, then the capture button starts and ends a recording.
    xdotool mousemove "$((px + 175))" "$((py + 80))" click 1
    park_pointer
    until_true bars_shown "$folder/video-mode.png" || fail "the live picture did not come back in video mode"
    xdotool mousemove "$((px + 254))" "$((py + 78))" click 1
    until_true file_in "$videos" '*' || fail "the capture button started no recording"
    # The recording runs for a while of its own; then the button ends it.
    sleep 4
    grab "$folder/recording.png"
    xdotool mousemove "$((px + 254))" "$((py + 78))" click 1
    park_pointer
    local video
    video=$(compgen -G "$videos/*" | head -n 1)
    until_true video_lasts "$video" 3 || fail "the recording $video does not play for 3 seconds"
    grab "$folder/recorded.png"

    # Burst mode: one press takes the series and makes the animation of it.
    local shots
    shots=$(compgen -G "$photos/Pic-*.jpg" | wc -l)
    until_true burst_started "$px" "$py" "$photos" "$shots" || fail "the burst took no photo"
    until_true file_in "$gifs" '*.gif' || fail "the burst made no animation"
    until_true more_files "$photos" 'Pic-*.jpg' "$((shots + 2))" || fail "the burst took too few photos"
    park_pointer
    grab "$folder/burst.png"

    # The main window's close button ends the program (its exit status is checked by the caller).
    xdotool mousemove "$((mx + 405))" "$((my + 19))" click 1
    closed_by_button=1
}

# Burst mode chosen, then one press of the capture button; true once the series' first photo is there
# (after its countdown). A press the busy program did not take yet is made again the next time round.
burst_started() {
    local px=$1 py=$2 photos=$3 shots=$4
    more_files "$photos" 'Pic-*.jpg' "$shots" && return 0
    xdotool mousemove "$((px + 83))" "$((py + 80))" click 1
    xdotool mousemove "$((px + 254))" "$((py + 78))" click 1
    local deadline=$((SECONDS + 15))
    until more_files "$photos" 'Pic-*.jpg' "$shots"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.25
    done
}

# The capture panel is no longer shown beside the main window.
no_capture_panel() {
    ! capture_panel "$1" > /dev/null
}

# More photos than the given count lie in the folder; if not yet, Space is pressed (again).
more_files_after_space() {
    local folder=$1 count=$2
    more_files "$folder" 'Pic-*.jpg' "$count" && return 0
    xdotool key space
    return 1
}

# The compact capture window over the full-screen picture (208 x 246 pixels).
compact_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '.*'); do
        xdotool getwindowgeometry "$w" | grep -q 'Geometry: 208x246' && { echo "$w"; return 0; }
    done
    return 1
}

# More files than before match the pattern in the folder.
more_files() {
    [ "$(compgen -G "$1/$2" | wc -l)" -gt "$3" ]
}

# The full-screen host is gone and the main window is shown again.
window_back() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Brevicam$'); do
        xdotool getwindowgeometry "$w" | grep -q 'Geometry: 1024x768' && return 1
    done
    xdotool search --onlyvisible --name '^Brevicam$' | grep -qx "$1"
}

# Inside the virtual X server (the script calls itself there): start, play the scenario, end.
run_in_display() {
    local program=$1 scenario=$2 target=$3
    work=$4
    [ "$scenario" = window-looks ] && grab "$target/desktop.png"
    "$program" > "$work/program.log" 2>&1 &
    local pid=$!
    case "$scenario" in
        live-picture) scenario_live_picture "$pid" "$target" ;;
        window-looks) scenario_window_looks "$pid" "$target" ;;
        capture-panel) scenario_capture_panel "$pid" "$target" ;;
        *) fail "unknown scenario $scenario" ;;
    esac
    if [ -z "${closed_by_button:-}" ]; then
        kill -TERM "$pid" 2>/dev/null || fail "the program was gone before the end:"
    fi
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "the program ended with status $status:"
}
if [ "${1:-}" = "--in-display" ]; then
    shift
    run_in_display "$@"
    exit
fi

program=$1
scenario=$2
target=$3
if [ "$scenario" != live-picture ]; then
    mkdir -p "$target"
else
    mkdir -p "$(dirname "$target")"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/registry"
# A damaged settings file must not keep the program from starting: it is kept aside and defaults are used.
printf '{"format": "brevicam-registry", "keys": {' > "$work/registry/HKCU.json"

env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work" \
    BREVICAM_REGISTRY_DIR="$work/registry" BREVICAM_VIRTUAL_CAMERA=1 PULSE_SERVER="unix:$work/no-pulse" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --in-display "$program" "$scenario" "$target" "$work"

# The settings were saved on the way out, and the damaged file was kept aside.
[ -s "$work/registry/HKCU.json" ] || { echo "no settings were saved"; exit 1; }
grep -q '"VideoDevice"' "$work/registry/HKCU.json" || { echo "the saved settings lack the camera"; exit 1; }
if [ "$scenario" = capture-panel ]; then
    # The mode chosen last (burst) was saved for the camera.
    /usr/bin/python3 - "$work/registry/HKCU.json" <<'CHECK' || { echo "the saved settings lack the burst mode"; exit 1; }
import json, sys
def values(key):
    yield from key.get("values", {}).items()
    for sub in key.get("keys", {}).values():
        yield from values(sub)
modes = [v["data"] for name, v in values(json.load(open(sys.argv[1]))) if name.startswith("CamMode_")]
sys.exit(0 if 1 in modes else f"saved modes: {modes}")
CHECK
fi
[ -e "$work/registry/HKCU.json.bad" ] || { echo "the damaged settings file was not kept aside"; exit 1; }

if [ "$scenario" = live-picture ]; then
    /usr/bin/python3 "$here/bars-visible.py" "$target"
fi
