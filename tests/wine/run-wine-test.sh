#!/usr/bin/env bash
# Runs one Windows test under Wine on a private Xvfb display.
#   run-wine-test.sh prefix PREFIX
#   run-wine-test.sh SCENARIO PREFIX DRIVER STANDIN PROGRAM EDITION
# VORNIX_WINE names the Wine loader for the programs' architecture (default wine).
# Exit status 77 (skipped) when Wine or Xvfb is not installed, or when this
# machine cannot run the programs' architecture.
set -uo pipefail

scenario=$1 prefix=$2
for tool in wine wineserver Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing; install wine wine64 wine32:i386 xvfb xauth xdotool (scripts/setup windows)"
    exit 77
  fi
done

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINE
wine=${VORNIX_WINE:-wine}
if ! "$wine" --version >/dev/null 2>&1; then
  echo "SKIPPED: $wine cannot run here (a kernel without 32-bit support says 'Exec format error');"
  echo "         ctest --preset windows64 runs the same tests on a 64-bit build"
  exit 77
fi

if [[ $scenario == prefix ]]; then
  wineserver -k 2>/dev/null
  rm -rf "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
  [[ -f $prefix/system.reg ]] || { echo "FAIL: wineboot made no prefix"; exit 1; }
  # Windows as a user sees them: Wine's own fonts (Tahoma for dialogs, Marlett
  # for the caption buttons) and title bars that Wine draws itself, since no
  # window manager runs here; the window X focuses is the active one.
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  echo "prefix ready: $prefix"
  exit 0
fi

driver=$3 standin=$4 program=$5 edition=$6
artifacts=$(dirname "$prefix")/wine-artifacts
mkdir -p "$artifacts"

# A display of our own, gone when the test ends.
display_file=$(mktemp)
screen=1024x768
[[ $scenario == boxes-* ]] && screen=${scenario#boxes-} && screen=${screen%-*}
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -s $display_file ]] && break; sleep 0.1; done
number=$(head -n1 "$display_file"); rm -f "$display_file"
[[ -n $number ]] || { echo "FAIL: Xvfb did not start"; kill $xvfb; exit 1; }
export DISPLAY=:$number
cleanup() { wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; }
trap cleanup EXIT

set_dpi() {
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -w
}

driver() { "$wine" "$driver" "$@"; }

case $scenario in
  missing|existing|faults|x86) driver "$scenario" "$program" "$edition" "$standin" ;;
  clone)
    # Where no shell runs, the clone is started directly: Wine would take an
    # empty desktop-user token, and only say so in a fixme line.
    messages=$artifacts/clone-$edition.stderr
    WINEDEBUG=-all,fixme+advapi driver clone "$program" "$edition" "$standin" 2>"$messages"
    status=$?
    ! grep -q CreateProcessWithTokenW "$messages" || { echo "FAIL: started with a desktop-user token where no shell runs"; exit 1; }
    exit $status ;;
  manners)
    # Real X input: the driver writes xdotool commands into a pipe; each is
    # carried out here and then marked done for the driver to see.
    input=$artifacts/x-input
    rm -rf "$input"; mkdir -p "$input"; mkfifo "$input/command"
    ( exec 3<>"$input/command"
      while IFS= read -r line <&3; do echo "x: $line (focus $(xdotool getwindowfocus))" >> "$input/log"; xdotool $line >> "$input/log" 2>&1; touch "$input/done"; done ) &
    helper=$!
    driver manners "$program" "$edition" "$standin" "$("$wine" winepath -w "$input")" "$("$wine" winepath -w "$artifacts")"
    status=$?
    kill $helper 2>/dev/null
    for bitmap in "$artifacts"/*.bmp; do convert "$bitmap" "${bitmap%.bmp}.png" 2>/dev/null && echo "screenshot: ${bitmap%.bmp}.png"; done
    exit $status ;;
  identity)
    # A second drive letter for drive C, as a user may map one.
    ln -sfn ../drive_c "$prefix/dosdevices/m:"
    driver identity "$program" "$edition" "$standin"
    status=$?
    rm -f "$prefix/dosdevices/m:"
    exit $status ;;
  desktop-user) driver desktop-user "$standin" ;;
  winxp)
    # What Wine can do for XP: report its version, so the programs take the
    # paths they would take there. It still exports Vista's functions.
    xp=winxp; [[ -d $prefix/drive_c/windows/syswow64 ]] && xp=winxp64  # the name in a 64-bit prefix
    "$wine" winecfg -v "$xp"; wineserver -w
    driver clone "$program" "$edition" "$standin"
    status=$?
    "$wine" winecfg -v win7; wineserver -w
    [[ $status -eq 0 ]] || exit $status
    grep -q '|windows=5\.[12]|' "$(readlink -f "$prefix/dosdevices/c:")/vornix-standin.log" \
      || { echo "FAIL: the clone did not see Windows XP's version"; exit 1; }
    echo "winxp: passed" ;;
  version) driver version "$program" "$edition" ;;
  layout96|layout144)
    dpi=${scenario#layout}
    set_dpi "$dpi"
    bitmap=$artifacts/window-${dpi}dpi.bmp
    driver layout "$program" "$edition" "$standin" "$("$wine" winepath -w "$bitmap")"
    status=$?
    set_dpi 96
    if command -v convert >/dev/null && [[ -f $bitmap ]]; then
      convert "$bitmap" "${bitmap%.bmp}.png" && echo "screenshot: ${bitmap%.bmp}.png"
    fi
    exit $status ;;
  boxes-*)
    # boxes-WIDTHxHEIGHT-DPI: every box of a run on such a screen.
    set_dpi "${scenario##*-}"
    driver boxes "$program" "$edition" "$standin" "$("$wine" winepath -w "$artifacts")"
    status=$?
    set_dpi 96
    for bitmap in "$artifacts"/dialog-*.bmp; do
      convert "$bitmap" "$artifacts/$scenario-$(basename "${bitmap%.bmp}").png" 2>/dev/null && rm "$bitmap"
    done
    exit $status ;;
  posix)
    if [[ -z $program || ! -x $program ]]; then
      echo "SKIPPED: configure with -DVORNIX_POSIX_PROGRAM=<native build>/vornix-aim50 to test it with real Wine"
      exit 77
    fi
    drive_c=$(readlink -f "$prefix/dosdevices/c:")
    rm -rf "$drive_c/Program Files/AIM95"* "$drive_c/vornix-standin.log"
    driver install-only "$standin" >/dev/null 2>&1
    [[ -f $drive_c/Program\ Files/AIM95/aim.exe ]] || { echo "FAIL: no installation"; exit 1; }
    printf '\n\n\nq\n\n' | WINE=$wine "$program" > "$artifacts/posix-launcher.txt"
    status=$?
    log="$drive_c/vornix-standin.log"
    for _ in $(seq 100); do [[ -s $log ]] && break; sleep 0.2; done
    cat "$artifacts/posix-launcher.txt"
    echo "stand-in log: $(cat "$log" 2>/dev/null)"
    [[ $status -eq 0 ]] || { echo "FAIL: exit status $status"; exit 1; }
    grep -q 'path=C:\\Program Files\\AIM951\\aim.exe|at21915=31|at21756=00|show=2|.*|cwd=C:\\Program Files\\AIM951$' <(tr -d '\r' < "$log") \
      || { echo "FAIL: the stand-in did not report slot 1, digit at 21915, started minimized in its directory"; exit 1; }

    # An aim.exe that is no program: wine start's own words end up in the report.
    not_a_program=$artifacts/not-a-program.exe
    yes 'plain text' | head -c 30000 > "$not_a_program"
    rm -rf "$drive_c/Program Files/AIM95"*
    driver install-only "$("$wine" winepath -w "$not_a_program")" >/dev/null 2>&1
    printf '\n\n\n\n' | WINE=$wine "$program" > "$artifacts/posix-launcher-fails.txt"
    status=$?
    cat "$artifacts/posix-launcher-fails.txt"
    [[ $status -eq 1 ]] || { echo "FAIL: exit status $status after a failed start"; exit 1; }
    grep -q "^    Path/File access error: $wine (it exited with status 1 while starting C:\\\\Program Files\\\\AIM951\\\\aim.exe: .*could not be started" "$artifacts/posix-launcher-fails.txt" \
      || { echo "FAIL: the report does not carry wine's message"; exit 1; }
    ! grep -q "^Application could not be started" "$artifacts/posix-launcher-fails.txt" \
      || { echo "FAIL: wine's message spilled onto the window"; exit 1; }
    echo "posix launcher: passed" ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
