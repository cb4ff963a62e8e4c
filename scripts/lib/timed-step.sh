# Sourced by scripts and .ci/run: `timed_step "title" command args...` runs
# one step and prints how long it took, so the durations show in the log.
# The step runs in a subshell with errexit on (a function called after `||`
# would run with errexit off); a failing step prints its duration too, then
# its exit status is returned.

timed_step() {
  local title="$1" start rc
  shift
  echo "== $title =="
  start=$(date +%s)
  set +e
  (set -e; "$@")
  rc=$?
  set -e
  local seconds=$(($(date +%s) - start))
  printf -- '-- %s: %dm%02ds%s\n' "$title" $((seconds / 60)) $((seconds % 60)) \
    "$([ "$rc" -eq 0 ] || echo " (failed, exit $rc)")"
  return "$rc"
}
