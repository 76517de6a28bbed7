#!/usr/bin/env bash
# Closes the Linux tool the way a user does, RUNS times (30 unless given), on a machine kept
# busy, and checks every exit: status 0, no crash signal, no sanitizer report on stderr, and
# a Calc that still answers, holds no lock or open undo context, and shows its workbook
# exactly as it was or as the completed command left it.
#
# Usage: check-clean-exit.sh GRIDMOOR [RUNS]   (GRIDMOOR: best the sanitizer build)
#
# Everything runs on a private X display under openbox, with a private home, session bus
# and accessibility service; as root the script first moves into namespaces of its own
# (mounts, processes, network), so its /tmp, where UNO and X make their sockets, is its own,
# the tool's fixed UNO pipe name cannot meet another Calc, and every process it started ends
# with it. The runs cycle through six cases:
#   close      the window shows the workbook; closed
#   merge      smart merge of A1:A20, message dismissed; closed
#   unmerge    unmerge and fill of B1:B20, message dismissed; closed
#   long       smart merge of C1:C100000; closed while it runs; the message that ends the
#              command still comes and is dismissed; then the window is gone
#   gone       Calc killed (SIGKILL); closed
#   gone-cmd   Calc ended (SIGTERM); smart merge of A1:A20 says why not; closed
# The window is closed as a window manager's close button does (_NET_CLOSE_WINDOW, which
# openbox turns into WM_DELETE_WINDOW).
set -euo pipefail
tool=$(realpath "$1")
runs=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

# A fresh /tmp would hide the program and this checkout when they lie under /tmp (as in a
# clone made there): then the runs share the machine's /tmp and UNO pipe name instead.
if [[ -z ${GRIDMOOR_EXIT_ISOLATED:-} && $(id -u) -eq 0 && $tool != /tmp/* && $here != /tmp/* ]] &&
   unshare --mount --pid --net --fork --mount-proc true 2>/dev/null; then
  exec unshare --mount --propagation private --pid --net --fork --mount-proc \
       env GRIDMOOR_EXIT_ISOLATED=1 "$0" "$@"
fi
if [[ -n ${GRIDMOOR_EXIT_ISOLATED:-} ]]; then
  mount -t tmpfs tmpfs /tmp
else
  echo "check-clean-exit: not isolated (needs root, unshare and a checkout outside /tmp);" \
       "the UNO pipe 'gridmoor' is shared"
fi

work=$(mktemp -d /tmp/gridmoor-exit-XXXXXX)
book=exit-book.fods
# The long column: as exit-calc-probe.py fills it.
long_rows=100000
export HOME=$work XDG_RUNTIME_DIR=$work
export LANG=C.UTF-8 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$source_dir/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
probe=("$here/exit-calc-probe.py")
drive=("$here/drive-window.py")

pids=()
office=""
cleanup() {
  local p
  for p in "${pids[@]}" $office; do kill -9 "$p" 2>/dev/null || true; done
  [[ -n ${GRIDMOOR_EXIT_KEEP:-} ]] || rm -rf "$work"
}
trap cleanup EXIT

# One sheet, Sheet1; the probe writes its contents before every run.
cat >"$work/$book" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet><table:table table:name="Sheet1">
  <table:table-column/><table:table-row><table:table-cell/></table:table-row>
 </table:table></office:spreadsheet></office:body></office:document>
EOF

# A display number Xvfb finds free (unless one is asked for): a fixed number can meet a
# server left by something else, where no window manager of ours runs.
if [[ -n ${GRIDMOOR_EXIT_DISPLAY:-} ]]; then
  Xvfb ":$GRIDMOOR_EXIT_DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:$GRIDMOOR_EXIT_DISPLAY
else
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 1 50); do [[ -s $work/display ]] && break; sleep 0.2; done
  export DISPLAY=:$(head -1 "$work/display")
fi
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.2; done
# Without the window manager no close could be sent: say so once instead of 30 timeouts.
wmctrl -m >/dev/null 2>&1 || { echo "check-clean-exit: openbox did not start on $DISPLAY"; cat "$work/openbox.log"; exit 1; }
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid"
pids+=($(cat "$work/bus.pid"))
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")

# Two busy cores for the whole test: exit races show under load.
for _ in 1 2; do sh -c 'while :; do :; done' & pids+=($!); done

start_calc() {
  rm -f "$work/.~lock.$book#"
  soffice --calc --norestore --nologo \
          "--accept=pipe,name=gridmoor;urp;StarOffice.ComponentContext" "$work/$book" \
          >/dev/null 2>&1 &
  office=$!
  "${probe[@]}" wait "$book" 120
}

# Ends Calc with SIGNAL: soffice.bin, the child of the oosplash started above.
stop_calc() {
  local bin
  bin=$(pgrep -P "$office" -x soffice.bin || true)
  [[ -n $bin ]] && kill "-$1" "$bin"
  wait "$office" 2>/dev/null || true
  office=""
}

# The X window of process $1 titled exactly $2: the tool's window is "Gridmoor--...", its
# message box "Gridmoor".
window_of() {
  wmctrl -lp 2>/dev/null | awk -v pid="$1" -v title="$2" '
    { t = $0; for (i = 0; i < 4; ++i) sub(/^[^ ]+ +/, "", t) }
    $3 == pid && t == title { print $1; exit }'
}

# Dismisses the message box of process $1 (its text goes to the notes) and waits until the
# box is gone, so that a close that follows does not meet a window the box still blocks.
dismiss() {
  local message i
  message=$("${drive[@]}" "$1" dismiss 120) || { notes+=("no message"); return 0; }
  notes+=("message: $message")
  for ((i = 0; i < 50; ++i)); do
    [[ -n $(window_of "$1" Gridmoor) ]] || return 0
    sleep 0.1
  done
  notes+=("the message box stayed")
}

close_window() {
  local wid
  wid=$(window_of "$1" Gridmoor--智能合并单元格)
  [[ -n $wid ]] || { echo "no window to close"; return 1; }
  wmctrl -i -c "$wid"
}

# Waits up to $2 seconds for process $1 to end; its status in $status.
wait_exit() {
  local i
  for ((i = 0; i < $2 * 5; ++i)); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$1" 2>/dev/null; then
    kill -9 "$1"
    status=timeout
    wait "$1" 2>/dev/null || true
  else
    status=0
    wait "$1" || status=$?
  fi
}

cases=(close merge unmerge long gone gone-cmd)
failures=0 crashes=0 reports=0 calc_faults=0
start_calc
for ((run = 1; run <= runs; ++run)); do
  kind=${cases[$(((run - 1) % ${#cases[@]}))]}
  began=$SECONDS
  notes=()
  [[ -n $office ]] || start_calc
  if ! "${probe[@]}" reset "$book"; then
    # Calc went away by itself in the run before (counted there): start it again.
    stop_calc KILL
    start_calc
    "${probe[@]}" reset "$book" || { echo "run $run: the probe could not reset Calc"; exit 1; }
  fi
  log=$work/run-$run.err
  "$tool" >/dev/null 2>"$log" &
  gm=$!
  if ! "${drive[@]}" "$gm" shown "$book" 90; then
    notes+=("window never showed $book")
  fi
  done_cmds=""
  case $kind in
    close) ;;
    merge)
      "${drive[@]}" "$gm" press A1:A20 智能合并单元格 && done_cmds=A
      dismiss "$gm"
      ;;
    unmerge)
      "${drive[@]}" "$gm" press B1:B20 撤销合并单元格 && done_cmds=B
      dismiss "$gm"
      ;;
    long)
      "${drive[@]}" "$gm" press "C1:C$long_rows" 智能合并单元格 && done_cmds=C
      pressed=$(date +%s.%N)
      sleep 0.5
      # The command is still running while its message box has not come.
      [[ -n $(window_of "$gm" Gridmoor) ]] && notes+=("closed after the command (it was quick)")
      ;;
    gone | gone-cmd)
      [[ $kind == gone ]] && stop_calc KILL || stop_calc TERM
      if [[ $kind == gone-cmd ]]; then
        "${drive[@]}" "$gm" press A1:A20 智能合并单元格
        dismiss "$gm"
      fi
      ;;
  esac
  close_window "$gm" || notes+=("could not close")
  if [[ $kind == long ]]; then
    dismiss "$gm"
    notes+=("command took about $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $pressed }") s")
  fi
  wait_exit "$gm" 30
  found=$(grep -cE 'ERROR: (Address|Leak)Sanitizer|runtime error:|^SUMMARY: ' "$log" || true)
  calc="-"
  if [[ -n $office ]]; then
    calc=$("${probe[@]}" check "$book" "$done_cmds" 2>&1) && calc=ok || {
      calc_faults=$((calc_faults + 1)); calc="FAULT: ${calc//$'\n'/; }"; }
  fi
  if [[ $status != 0 ]]; then crashes=$((crashes + 1)); fi
  if ((found > 0)); then reports=$((reports + 1)); fi
  if [[ $status != 0 ]] || ((found > 0)) || [[ $calc == FAULT* ]]; then
    failures=$((failures + 1))
    echo "--- stderr of run $run:"; tail -40 "$log"
  fi
  printf 'run %2d %-8s exit %s, sanitizer lines %s, calc %s, %ds; %s\n' \
    "$run" "$kind" "$status" "$found" "$calc" $((SECONDS - began)) "$(IFS=';'; echo "${notes[*]}")"
done
echo "exit runs: $((runs - failures)) passed, $failures failed" \
     "(bad exit status $crashes, with sanitizer reports $reports, Calc left wrong $calc_faults)"
((failures == 0))
