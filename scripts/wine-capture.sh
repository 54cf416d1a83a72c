# shellcheck shell=bash
# Shell helpers that take screenshots of a Windows build's window as wine draws it on an X
# display (Xvfb). Source it; it sets nothing on its own. Each function runs in a subshell of its
# own (its body is in parentheses), so its `set -euo pipefail` and its temporary files stay
# there and the caller's shell options are left as they were.
#
# Why the waiting: wine maps a window's X window when the program shows it, but its contents
# reach the X server only when wine copies the program's first painting there. Until then the X
# window has no background of its own and shows whatever is beneath it: on Xvfb, the black
# root. "Mapped" (xwininfo) therefore says nothing about the picture; a capture taken between
# the map and that first copy is black. These functions wait until the picture has content and
# has stopped changing.
#
# Needs: xwininfo (x11-utils), import, convert and compare (imagemagick). The fonts a picture
# shows are set up with the prefix (wine_env_fonts, scripts/wine-env.sh).
#
# Environment:
#   WINE_CAPTURE_TIMEOUT  seconds to wait for the window and its picture (default 60: the first
#                         program run in a new prefix sets the prefix up first)
#   WINE_CAPTURE_SETTLE   seconds between the two equal pictures that count as settled
#                         (default 0.5)

# wine_capture_window DISPLAY WINDOW OUT.png
# Waits until the top-level window WINDOW (its exact title, or its X window id as 0x... or a
# decimal number) is mapped on DISPLAY and its picture has more than one colour and is the same
# in two captures WINE_CAPTURE_SETTLE seconds apart; then writes that picture, exactly the
# window's size, to OUT.png. Fails with the reason when the time is up: no such window, not
# mapped, or still all one colour (wine has not drawn it).
wine_capture_window() (
    set -euo pipefail
    _wine_capture_args 3 "wine_capture_window DISPLAY WINDOW OUT.png" "$@" || return
    _wine_capture_in_work_folder "$1" "$3" window "$2"
)

# wine_capture_region DISPLAY WxH+X+Y OUT.png
# The same wait for a rectangle of the root window: for a picture of a window together with
# what is around it, or of several windows at once.
wine_capture_region() (
    set -euo pipefail
    _wine_capture_args 3 "wine_capture_region DISPLAY WxH+X+Y OUT.png" "$@" || return
    local geometry="$2"
    if ! [[ "$geometry" =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]]; then
        echo "wine_capture_region: '$geometry' is not a geometry of the form WxH+X+Y" >&2
        return 2
    fi
    _wine_capture_in_work_folder "$1" "$3" region "$geometry"
)

# _wine_capture_args COUNT USAGE ARGS...
# Returns 2, with the usage on standard error, unless there are COUNT arguments.
_wine_capture_args() {
    local count="$1" usage="$2"
    shift 2
    if [ $# -ne "$count" ]; then
        echo "usage: $usage" >&2
        return 2
    fi
}

# _wine_capture_in_work_folder DISPLAY OUT.png KIND WHAT
# The wait of both captures, in a work folder removed when the calling subshell exits.
_wine_capture_in_work_folder() {
    # Not local: the exit trap runs after the function has returned.
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    _wine_capture_wait "$1" "$work" "$2" "$3" "$4"
}

# _wine_capture_find DISPLAY TITLE
# Prints the id of the mapped top-level window titled exactly TITLE; returns 1 when there is
# none, 2 when there are several. xwininfo's tree is read rather than a name search, whose
# pattern would also match case-insensitively and in part.
_wine_capture_find() {
    local display="$1" title="$2"
    local ids id found=""
    ids="$(xwininfo -display "$display" -root -tree 2>/dev/null |
        TITLE="$title" awk 'index($0, "\"" ENVIRON["TITLE"] "\": ") { print $1 }')" || return 1
    for id in $ids; do
        if xwininfo -display "$display" -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            [ -z "$found" ] || return 2
            found="$id"
        fi
    done
    [ -n "$found" ] || return 1
    echo "$found"
}

# _wine_capture_wait DISPLAY WORK OUT KIND WHAT
# The loop behind both functions: KIND is "window" (WHAT a title or an id) or "region" (WHAT a
# geometry). Captures every few tenths of a second into WORK until two captures in a row,
# WINE_CAPTURE_SETTLE seconds apart, have more than one colour and no pixel that differs.
_wine_capture_wait() {
    local display="$1" work="$2" out="$3" kind="$4" what="$5"
    local timeout="${WINE_CAPTURE_TIMEOUT:-60}" settle="${WINE_CAPTURE_SETTLE:-0.5}"
    local deadline=$((SECONDS + timeout)) state="" id="" info colours colour found have_previous=0
    local label="$kind $what"
    [ "$kind" = window ] && label="window \"$what\""

    if ! xwininfo -display "$display" -root >/dev/null 2>&1; then
        echo "wine-capture: cannot open the X display $display" >&2
        return 1
    fi
    while [ "$SECONDS" -lt "$deadline" ]; do
        if [ "$kind" = window ]; then
            if [[ "$what" =~ ^(0x[0-9a-fA-F]+|[0-9]+)$ ]]; then
                id="$what"
                info="$(xwininfo -display "$display" -id "$id" 2>/dev/null)" || info=""
                if ! grep -q 'Map State: IsViewable' <<<"$info"; then
                    state="is not mapped"
                    have_previous=0
                    sleep 0.2
                    continue
                fi
            else
                found=0
                id="$(_wine_capture_find "$display" "$what")" || found=$?
                if [ "$found" != 0 ]; then
                    state="is not mapped (no mapped window has that title)"
                    [ "$found" = 2 ] && state="is ambiguous: several mapped windows have that title"
                    have_previous=0
                    sleep 0.2
                    continue
                fi
            fi
            # The window itself: the picture is exactly its size, wherever it is.
            if ! import -display "$display" -silent -window "$id" "$work/now.png" 2>/dev/null; then
                state="could not be captured (it went away while it was read)"
                have_previous=0
                sleep 0.2
                continue
            fi
        else
            if ! import -display "$display" -silent -window root -crop "$what" +repage \
                "$work/now.png" 2>"$work/import.err"; then
                echo "wine-capture: import could not read $what of the root window of $display:" >&2
                cat "$work/import.err" >&2
                return 1
            fi
        fi

        colours="$(convert "$work/now.png" -format '%k' info:)"
        if [ "$colours" -le 1 ]; then
            colour="$(convert "$work/now.png" -format '%[hex:p{0,0}]' info:)"
            state="is all one colour (#$colour): wine has not drawn it yet"
            have_previous=0
            sleep 0.2
            continue
        fi
        # compare exits 0 when no pixel differs, 1 when some do.
        if [ "$have_previous" = 1 ] &&
            compare -metric AE "$work/before.png" "$work/now.png" null: 2>/dev/null; then
            # -strip: no time stamps in the file, so that equal pictures are equal files.
            convert "$work/now.png" -strip "$out"
            return 0
        fi
        state="was still being drawn (no two captures ${settle} s apart were equal)"
        mv "$work/now.png" "$work/before.png"
        have_previous=1
        sleep "$settle"
    done
    echo "wine-capture: after ${timeout} s the $label on $display $state" >&2
    return 1
}
