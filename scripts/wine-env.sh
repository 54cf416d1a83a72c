# shellcheck shell=bash
# Shell functions for the scripts that run the Windows build under wine: a prefix of the
# build's own, one wine server for the whole run, Qt for Windows' DLLs on wine's search path
# and a virtual display for the programs' windows. Source it; it sets nothing on its own and
# leaves the caller's shell options alone.

# wine_env_start PREFIX_FOLDER [QT_PREFIX]
# Exports WINEPREFIX (made when missing), WINEDEBUG, WINEDLLOVERRIDES, DISPLAY (a new Xvfb),
# WINEQT_QPA_FONTDIR, WINEQT_FORCE_STDERR_LOGGING and ODBCINI (below) and, with QT_PREFIX,
# WINEPATH (its bin/, where test programs find Qt's DLLs; a deployed program carries its own).
# Starts the wine server and sets the prefix up. Returns non-zero, saying why, when wine cannot
# run a program there. Wine's error channel stays on: a program wine cannot start says why only
# there. A program's own messages are in its output; those of the prefix's setup and of
# wine's service processes go to PREFIX_FOLDER.log (wine_env_errors names it).
wine_env_start() {
    local folder="$1" qt="${2:-}"
    mkdir -p "$folder"
    # Without the optional runtimes wine would offer to install, and without the host's menu
    # entries it would make of every shortcut a program saves. Not the NTLM package's
    # complaint that a host helper is missing, which every program loading the PostgreSQL
    # client (it links the security DLL) would repeat.
    export WINEPREFIX="$folder" WINEDEBUG=-all,err+all,err-ntlm,-winediag \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    wine_env_errors="$folder.log"
    # Ports mapped by an earlier run that ended without removing them.
    rm -f "$WINEPREFIX"/dosdevices/com[0-9]*

    # A display of its own, whose number Xvfb picks and tells.
    local fifo
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    wine_env_xvfb=$!
    local number
    if ! read -r -t 20 number <"$fifo"; then
        rm -f "$fifo"
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    rm -f "$fifo"
    export DISPLAY=":$number"

    # One server for the whole run, its streams away from the callers' pipes: wine's service
    # processes would otherwise hold a test's output open after the test ended.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    if [ -n "$qt" ]; then
        WINEPATH="$(winepath -w "$qt/bin" 2>/dev/null)"
        export WINEPATH
    fi
    # The first program run under a new prefix sets the prefix up and starts wine's services,
    # which keep the streams it was given.
    if ! wine cmd /c exit 0 </dev/null >/dev/null 2>"$wine_env_errors"; then
        echo "wine-env: wine cannot run a program (prefix $WINEPREFIX):" >&2
        cat "$wine_env_errors" >&2
        return 1
    fi
    # A program that crashes ends at once, its address on stderr: wine's debugger, which it
    # starts by default (also when no debugger is named), would hold it until the test's time
    # ran out. A debugger that cannot be started is none.
    if ! wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /d false /f >/dev/null 2>>"$wine_env_errors"; then
        echo "wine-env: wine's debugger could not be turned off (prefix $WINEPREFIX)" >&2
        return 1
    fi
    # Qt's off-screen platform, the test programs', draws text on Windows only with the font
    # files of the folder QT_QPA_FONTDIR names, never with the system's fonts; without one every
    # character is an empty box as wide as the font is high. Wine hands a Windows program no
    # variable whose name begins with QT_, but passes WINEQT_QPA_FONTDIR under that name. The
    # folder holds the faces the replacements below name.
    local faces=/usr/share/fonts/truetype/liberation
    if [ ! -d "$faces" ]; then
        echo "wine-env: no $faces (Debian's fonts-liberation)" >&2
        return 1
    fi
    WINEQT_QPA_FONTDIR="$(winepath -w "$faces" 2>/dev/null)"
    export WINEQT_QPA_FONTDIR
    # A program whose stderr is a pipe rather than a console sends Qt's warnings to the
    # debugger's channel, which no one reads here: they go to stderr instead.
    export WINEQT_FORCE_STDERR_LOGGING=1
    # Wine hands ODBC to the host's driver manager, which reads data sources from this file:
    # a test that connects through one writes it there.
    export ODBCINI="$folder/odbc.ini"
    # The card's lines wrap by the metrics of its font: a prefix without it wraps them wrong.
    wine_env_fonts
}

# wine_env_fonts
# Gives the wine prefix ($WINEPREFIX) the fonts that Windows programs ask for by name, drawn
# with Debian's fonts-liberation faces of the same metrics. Without them wine has no Arial,
# Courier New, Times New Roman or Tahoma (the face "MS Shell Dlg 2", Qt's default on Windows,
# stands for), and Qt falls back to the first family it lists, a serif one. Run it once per
# prefix, before the program starts.
wine_env_fonts() (
    set -euo pipefail
    if [ -z "${WINEPREFIX:-}" ]; then
        echo "wine_env_fonts: WINEPREFIX is not set" >&2
        return 1
    fi
    local face
    for face in "Arial=Liberation Sans" "Tahoma=Liberation Sans" \
        "Courier New=Liberation Mono" "Times New Roman=Liberation Serif"; do
        if ! wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${face%%=*}" \
            /d "${face#*=}" /f >/dev/null 2>&1; then
            echo "wine_env_fonts: wine could not write the font replacement $face" \
                "into $WINEPREFIX" >&2
            return 1
        fi
    done
)

# wine_env_stop
# Ends the wine server and the display wine_env_start started.
wine_env_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${wine_env_xvfb:-}" ]; then
        kill "$wine_env_xvfb" 2>/dev/null || true
        wait "$wine_env_xvfb" 2>/dev/null || true
        wine_env_xvfb=""
    fi
}
