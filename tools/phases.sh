# Timed phases for ./run, sourced: each phase's wall time is kept and
# phase_times prints them all; side_by_side runs phases at the same time.

phase_log=()
phase_started=$SECONDS

phase() {  # name command [args...]: runs the command as one timed phase
  local name=$1 start=$SECONDS; shift
  "$@"
  phase_log+=("$(printf '%-52s %5d s' "$name" $((SECONDS - start)))")
}

# Phases that do not fight for the cores (one mostly waits on servers, timers
# or Wine) run together. Each one's output is kept apart and shown, whole,
# when it ends, so the two never interleave. Fails when any of them failed.
side_by_side() {  # "name:command" ... (the command after the last colon)
  local logs pids=() names=() entry i failed=0 start=$SECONDS
  logs=$(mktemp -d "${TMPDIR:-/tmp}/sapi-phases.XXXXXX")
  for entry in "$@"; do
    names+=("${entry%:*}")
    ( phase "${entry%:*}" "${entry##*:}"; printf '%s\n' "${phase_log[-1]}" >"$logs/${#pids[@]}.time" ) \
      >"$logs/${#pids[@]}.out" 2>&1 &
    pids+=($!)
  done
  printf '== side by side: %s\n' "${names[@]}"
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "$logs/$i.out"
    if [ -f "$logs/$i.time" ]; then phase_log+=("$(cat "$logs/$i.time")"); else phase_log+=("${names[$i]}: FAILED"); fi
  done
  rm -rf "$logs"
  phase_log+=("$(printf '%-52s %5d s' "  (side by side, together)" $((SECONDS - start)))")
  return $failed
}

phase_times() {
  [ ${#phase_log[@]} -gt 0 ] || return 0
  echo "== time per phase"
  printf '%s\n' "${phase_log[@]}"
  printf '%-52s %5d s\n' "total" $((SECONDS - phase_started))
}
