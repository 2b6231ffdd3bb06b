#!/bin/bash
# What a blind user hears: walks the main window, the notepad and the About
# window by keys on a private X server while the Orca screen reader speaks,
# through speech-dispatcher, into a text file instead of a sound card; then
# opens a 30 MB note while it comes in.
#
#   scripts/orca-walk.sh [program] [transcript]
#
# The program defaults to build/quorvin, the transcript to build/orca-walk.txt.
# Each utterance is one line, held for about the time a voice takes to say
# it, and starts with the seconds since its step began; one that the next
# cut short ends in "[cut off]". Lines starting "==" name the step that
# follows. Installs Orca and speech-dispatcher when they
# are missing (as root, or with sudo). Not part of the test suite.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/quorvin}")
out=$(realpath -m "${2:-$root/build/orca-walk.txt}")

if [ -z "${ORCA_WALK_SESSION:-}" ]; then
    [ -x "$program" ] || { echo "no program at $program (make build first)" >&2; exit 1; }
    pkgs="orca speech-dispatcher at-spi2-core dbus-daemon xvfb openbox xdotool xclip"
    missing=""
    for p in $pkgs; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        echo "Installing:$missing"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            $missing >/dev/null
    fi
    # A session bus of its own, on which Orca finds the accessibility bus;
    # the buses' own chatter is left out.
    set -o pipefail
    ORCA_WALK_SESSION=1 dbus-run-session -- "$0" "$program" "$out" 2>&1 \
        | grep -v "^dbus-daemon\|^SpiRegistry\|^X connection"
    exit
fi

work=$(mktemp -d)
pids=()
finish() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap finish EXIT

# Nothing of the user's own desktop, settings or sound is touched.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run GSETTINGS_BACKEND=memory
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/speechd/modules" "$work/program"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc" # ALSA's null device

: >"$out"
# One utterance: its text goes to the transcript, after the seconds since
# its step began, held for about as long as a voice takes to say it; one
# that the next cut short is marked so.
cat >"$work/say" <<'EOF'
#!/bin/sh
out=$1
[ -s "$out" ] && [ -n "$(tail -c1 "$out")" ] && printf ' [cut off]\n' >>"$out"
since=$(awk -v now="$(date +%s.%N)" '{ printf "%4.1f", now - $1 }' "$(dirname "$0")/step" 2>/dev/null)
printf '[%s s] %s' "$since" "$2" | tr '\n' ' ' >>"$out"
sleep "$(printf '%s' "$2" | wc -w | awk '{ print 0.3 * ($1 + 1) }')"
printf '\n' >>"$out"
EOF
chmod +x "$work/say"
cat >"$work/speechd/modules/transcript.conf" <<EOF
GenericExecuteSynth "$work/say '$out' \'\$DATA\'"
GenericLanguage "en" "en" "utf-8"
AddVoice "en" "MALE1" "transcript"
DefaultVoice "transcript"
EOF
cat >"$work/speechd/speechd.conf" <<EOF
AddModule "transcript" "sd_generic" "transcript.conf"
DefaultModule transcript
DefaultLanguage "en"
AudioOutputMethod "alsa"
SymbolsPreproc "char"
SymbolsPreprocFile "symbols.dic"
SymbolsPreprocFile "orca.dic"
SymbolsPreprocFile "orca-chars.dic"
EOF

step() {
    printf '== %s\n' "$1" >>"$out"
    date +%s.%N >"$work/step"
}
# Until nothing is being said, nor has been for a second and a half.
settle() {
    local before="" now i
    for ((i = 0; i < 100; i++)); do
        now=$(stat -c %s "$out")
        [ "$now" = "$before" ] && [ -z "$(tail -c1 "$out")" ] && return
        before=$now
        sleep 1.5
    done
}
# Each key once all it made the screen reader say has been said.
keys() {
    for k in "$@"; do
        xdotool key --clearmodifiers "$k"
        sleep 0.3
        settle
    done
}

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 20 display <&3 || { echo "Xvfb gave no display" >&2; exit 1; }
export DISPLAY=:$display
dbus-update-activation-environment DISPLAY HOME XDG_RUNTIME_DIR GSETTINGS_BACKEND
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)

export SPEECHD_ADDRESS=unix_socket:$XDG_RUNTIME_DIR/speechd.sock
speech-dispatcher -s -t 0 -C "$work/speechd" -S "$XDG_RUNTIME_DIR/speechd.sock" \
    -L "$work" >/dev/null 2>&1 &
pids+=($!)
orca_log=()
[ -n "${ORCA_WALK_DEBUG:-}" ] && orca_log=(--debug-file "$ORCA_WALK_DEBUG")
orca --replace "${orca_log[@]}" >"$work/orca.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 60; i++)); do
    grep -q "Screen reader on" "$out" && break
    sleep 0.5
done
grep -q "Screen reader on" "$out" || { echo "Orca did not start:" >&2; cat "$work/orca.out" >&2; exit 1; }
settle

# A copy, so that its note is kept in the walk's own folder.
cp "$program" "$work/program/quorvin"
step "start"
"$work/program/quorvin" >"$work/quorvin.out" 2>&1 &
pids+=($!)
first=$!
xdotool search --sync --onlyvisible --name "^Strong password generator$" >/dev/null
settle

step "Tab to Generate, Enter"
keys Tab Return
step "Tab to Use, Enter"
keys Tab Return
password=$(xclip -o -selection clipboard)
step "Enter again: Recall"
keys Return
step "Tab to the character choices"
keys Tab Tab Tab Tab Tab Tab
step "Down: Any except those below"
keys Down
step "Shift+Tab, Down: Only those below"
keys shift+Tab Down
step "type #, Shift+Tab, Up, Up: Any"
keys numbersign shift+Tab Up Up
step "Tab to Show, Enter"
keys Tab Tab Return
step "Tab, Tab to Clear, Enter"
keys Tab Tab Return
step "F10, Right, Enter: the notepad"
keys F10 Right Return
step "type two lines"
xdotool type --delay 100 "a fox"
keys Return
xdotool type --delay 100 "the end"
settle
step "F10, Right, Right, Right: along the menu bar to Export"
keys F10 Right Right Right
step "Down, Enter: to Clipboard"
keys Down Return
step "F10, Left, Left, Enter: Clear"
keys F10 Left Left Return
step "Enter, Enter: Yes, and Yes again"
keys Return Return
step "type three lines, Ctrl+Home"
xdotool type --delay 100 "fox one"
keys Return
xdotool type --delay 100 "fox two"
keys Return
xdotool type --delay 100 "fox three"
keys ctrl+Home
step "F10, Left, Enter: Search; type fox"
keys F10 Left Return
xdotool type --delay 100 "fox"
settle
step "Enter: find"
keys Return
step "F3, F3: find the next"
keys F3 F3
step "F3: no more, Enter"
keys F3 Return
step "F10, Left, Enter: Search again"
keys F10 Left Return
step "Escape, Escape: close Search, close the notepad"
keys Escape Escape
step "F10, Right, Right, Enter: About"
keys F10 Right Right Return
step "Tab, Tab in About"
keys Tab Tab
step "Escape, Escape: close About, exit"
keys Escape
keys Escape

# A large note: opened as soon as the program is up, while it comes in, and
# typed into at once.
wait "$first" || true
step "a 30 MB note: start, F10, Right, Enter"
awk 'BEGIN { for (i = 1; i <= 500000; i++) printf "line %06d of a large note, written to be read in slices\n", i }' \
    >"$work/program/npad.txt"
"$work/program/quorvin" >>"$work/quorvin.out" 2>&1 &
pids+=($!)
xdotool search --sync --onlyvisible --name "^Strong password generator$" >/dev/null
xdotool key F10 Right Return
xdotool search --sync --onlyvisible --name "^quorvin - Notepad$" >/dev/null
step "type x at once, then wait 20 s"
xdotool key x
sleep 20
settle
step "F10, Escape: to the menu bar and back"
keys F10 Escape
step "Escape, Escape: close the notepad, exit"
keys Escape Escape

cat "$out"
# A password is spoken when a word of it of three letters or digits is heard.
spoken=no
for part in $(printf '%s' "$password" | tr -c 'A-Za-z0-9' ' '); do
    [ ${#part} -ge 3 ] && grep -qiF -- "$part" "$out" && spoken=yes
done
echo "== the password was spoken: $spoken (transcript in $out)"
