#!/bin/bash
# make cluster-test: a private single-node Slurm cluster, really started, runs a study as a
# four-task job array with examples/study.sbatch; the tasks' files must equal those of the same
# tasks run alone, and vorax-collect must collect four runs from them.
#
#   tests/cluster/run_cluster_test.sh [BUILD]     (BUILD: the build directory, default build)
#
# Runs as root. munged, slurmctld and slurmd are started with their own key, ports, sockets,
# pid files, state and logs in a temporary directory, so that a system-wide Slurm or munge on
# this machine is neither used nor disturbed. Every process of the private cluster (daemons,
# job steps, the tasks' programs) is stopped at the end, also when the test fails or is
# interrupted. The temporary directory is removed after a pass and kept, with its logs, after
# a failure.
set -eu

TASKS=4
# Seconds for the test before it stops itself; a command in progress (each is bounded to 20 s)
# and the cleanup still fit within its three minutes.
TIME_LIMIT=140
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
VORAX=$BUILD/vorax
COLLECT=$BUILD/vorax-collect
BATCH_SCRIPT=$ROOT/examples/study.sbatch
# The tutorial's error study (misalign, correct the closed orbit, track); every task's command,
# with its seed and its directory, is in the batch script.
DECK=$ROOT/examples/study.vx

say() { echo "cluster-test: $*" >&2; }
fail() {
  say "FAILED: $*"
  exit 1
}

WORK=""
DAEMONS=() # "name:pid" in the order started
WATCHDOG=""

# Every process that carries this cluster's mark in its environment: the daemons, and what
# they start (slurmstepd, the batch scripts, the programs they run). The script itself never
# carries it, so it cannot end itself.
cluster_processes() {
  # One grep over every environment (NUL-separated entries); processes that end meanwhile, and
  # the machine's own, cannot be read and are not ours.
  grep -lzxF "VORAX_CLUSTER=$WORK" /proc/[0-9]*/environ 2>/dev/null |
    sed -E 's|^/proc/([0-9]+)/environ$|\1|' || true
}

# Whether a process still runs (a zombie has ended: it only waits to be reaped).
running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  case $state in Z*) return 1 ;; esac
}

# Waits up to $1 tenths of a second for the processes after it to end; false if some still run.
wait_ended() {
  local tenths=$1 pid left
  shift
  while :; do
    left=""
    for pid in "$@"; do
      running "$pid" && left="$left $pid"
    done
    [ -n "$left" ] || return 0
    [ "$tenths" -gt 0 ] || return 1
    tenths=$((tenths - 2))
    sleep 0.2
  done
}

# Ends the processes given by their ids: TERM, up to 10 s to go, then KILL.
stop_processes() {
  local pid left=""
  [ $# -gt 0 ] || return 0
  kill -TERM "$@" 2>/dev/null || true
  wait_ended 100 "$@" && return 0
  for pid in "$@"; do
    running "$pid" && left="$left $pid"
  done
  say "killing what did not stop:$left"
  # shellcheck disable=SC2086
  kill -KILL $left 2>/dev/null || true
  wait_ended 50 $left || true
}

show_logs() {
  local f
  for f in "$WORK"/log/*.log "$WORK"/study/slurm-*.out; do
    [ -s "$f" ] || continue
    echo "---- ${f#"$WORK"/} (last lines)" >&2
    tail -n 15 "$f" >&2
  done
}

cleanup() {
  local status=$? entry pids daemon_pids="" ended=""
  trap - EXIT INT TERM HUP
  set +e
  [ -n "$WATCHDOG" ] && kill "$WATCHDOG" 2>/dev/null && wait "$WATCHDOG" 2>/dev/null
  if [ -n "$WORK" ]; then
    [ "$status" -ne 0 ] && show_logs
    local stopping=$SECONDS
    for entry in "${DAEMONS[@]}"; do
      daemon_pids="$daemon_pids ${entry#*:}"
    done
    ended="$daemon_pids $(cluster_processes)"
    # The jobs first, cancelled while slurmd can still end their steps in order; then the
    # daemons, the last started first; then anything of the cluster that is left.
    if [ ${#DAEMONS[@]} -gt 1 ]; then
      slurm scancel --quiet --full --signal=KILL --user=root 2>/dev/null
      wait_for 10 no_jobs
      ended="$ended $(cluster_processes)"
    fi
    for ((i = ${#DAEMONS[@]} - 1; i >= 0; i--)); do
      entry=${DAEMONS[i]}
      stop_processes "${entry#*:}"
      wait "${entry#*:}" 2>/dev/null
    done
    pids=$(cluster_processes)
    # shellcheck disable=SC2086
    [ -n "$pids" ] && stop_processes $pids
    ended="$ended $pids"
    # What ended and was not this script's child (slurmstepd) is reaped by the system: wait for
    # that too, so that nothing of the cluster is seen once the test is over.
    for ((i = 0; i < 25; i++)); do
      pids=""
      for entry in $ended; do
        [ -e "/proc/$entry" ] && pids="$pids $entry"
      done
      [ -n "$pids" ] || break
      sleep 0.2
    done
    if [ -n "$(cluster_processes)" ]; then
      say "processes of the cluster still run: $(cluster_processes | tr '\n' ' ')"
      status=1
    else
      say "the cluster is stopped ($((SECONDS - stopping)) s)"
    fi
    if [ "$status" -eq 0 ]; then
      rm -rf "$WORK"
    else
      say "its files and logs are kept in $WORK"
    fi
  fi
  exit "$status"
}

# A Slurm command of this cluster, bounded in time.
slurm() { env SLURM_CONF="$WORK/etc/slurm.conf" VORAX_CLUSTER="$WORK" timeout 20 "$@"; }

# Starts a daemon in the foreground of a background job, so that its id is known and it is
# the one that gets stopped; in a session of its own, so that a Ctrl-C at the terminal reaches
# this script, which then stops the daemons in order, and not the daemons behind its back.
start_daemon() {
  local name=$1
  shift
  setsid env SLURM_CONF="$WORK/etc/slurm.conf" VORAX_CLUSTER="$WORK" "$@" \
    >"$WORK/log/$name.out" 2>&1 </dev/null &
  DAEMONS+=("$name:$!")
}

# Waits up to $1 seconds for the command after it to succeed; false when it never does.
wait_for() {
  local limit=$1 start=$SECONDS
  shift
  until "$@" >/dev/null 2>&1; do
    [ $((SECONDS - start)) -lt "$limit" ] || return 1
    sleep 0.5
  done
}

daemon_alive() {
  local entry
  for entry in "${DAEMONS[@]}"; do
    [ "${entry%%:*}" = "$1" ] && kill -0 "${entry#*:}" 2>/dev/null && return 0
  done
  return 1
}

# A TCP port nobody listens on, not yet taken by this test.
free_port() {
  local port
  for port in $(seq "$1" $(($1 + 500))); do
    [ "$port" != "${2:-}" ] || continue
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || {
      echo "$port"
      return
    }
  done
  fail "no free port from $1"
}

write_config() {
  local host=$1 node
  # The node as slurmd finds it (processors, sockets, cores, memory).
  node=$(slurmd -C | head -n 1) || fail "slurmd -C cannot describe this machine"
  case $node in NodeName=*) ;; *) fail "slurmd -C printed: $node" ;; esac
  cat >"$WORK/etc/slurm.conf" <<EOF
# The private cluster of make cluster-test.
ClusterName=voraxtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port $((20000 + RANDOM % 20000)))
SlurmdPort=$(free_port $((40000 + RANDOM % 20000)))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CryptoType=crypto/munge
AuthInfo=socket=$WORK/munge/munge.socket
StateSaveLocation=$WORK/state
SlurmdSpoolDir=$WORK/spool
SlurmctldPidFile=$WORK/run/slurmctld.pid
SlurmdPidFile=$WORK/run/slurmd.pid
SlurmctldLogFile=$WORK/log/slurmctld.log
SlurmdLogFile=$WORK/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
# A container without systemd or cgroups: processes tracked through /proc, no task binding.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
# Finished tasks stay visible long enough to read their exit codes.
MinJobAge=600
KillWait=5
MessageTimeout=5
$node NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=vorax Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
}

start_cluster() {
  local host
  host=$(hostname -s)
  mkdir -p "$WORK/etc" "$WORK/munge" "$WORK/state" "$WORK/spool" "$WORK/run" "$WORK/log"
  chmod 700 "$WORK/munge"
  # munge with a key of its own: its tokens mean nothing to any other munged.
  dd if=/dev/urandom of="$WORK/munge/munge.key" bs=1024 count=1 status=none
  chmod 400 "$WORK/munge/munge.key"
  write_config "$host"

  say "starting munged, slurmctld and slurmd in $WORK"
  start_daemon munged munged --foreground --force \
    --socket="$WORK/munge/munge.socket" --key-file="$WORK/munge/munge.key" \
    --pid-file="$WORK/run/munged.pid" --log-file="$WORK/log/munged.log" \
    --seed-file="$WORK/munge/munged.seed"
  wait_for 15 test -S "$WORK/munge/munge.socket" || fail "munged did not start"
  echo ok | munge --socket="$WORK/munge/munge.socket" | unmunge \
    --socket="$WORK/munge/munge.socket" >/dev/null || fail "munged does not answer"

  start_daemon slurmctld slurmctld -D -c -f "$WORK/etc/slurm.conf"
  wait_for 30 slurm scontrol ping || fail "slurmctld does not answer"
  start_daemon slurmd slurmd -D -f "$WORK/etc/slurm.conf"
  # The node is ready when the controller sees it idle.
  if ! wait_for 40 node_idle "$host"; then
    slurm sinfo -N -l >&2 || true
    fail "the node did not come up"
  fi
  local name
  for name in munged slurmctld slurmd; do
    daemon_alive "$name" || fail "$name stopped"
  done
}

# No job left in the queue, not even one completing (its steps still being ended).
no_jobs() { [ -z "$(slurm squeue -h -o %i)" ]; }

node_idle() { slurm sinfo -h -n "$1" -o %t | grep -qx 'idle'; }

# The array's tasks, submitted from $WORK/study with the batch script as it ships.
run_array() {
  local job states start=$SECONDS
  mkdir -p "$WORK/study"
  job=$(cd "$WORK/study" && VORAX="$VORAX" DECK="$DECK" RUNS=runs \
    slurm sbatch --parsable --array=1-$TASKS "$BATCH_SCRIPT") || fail "sbatch refused the job"
  job=${job%%;*}
  say "job $job: $TASKS tasks submitted"
  until [ -z "$(slurm squeue -h -j "$job" -o %i)" ]; do
    [ $((SECONDS - start)) -lt 90 ] || {
      slurm squeue -j "$job" -o '%i %T %r' >&2 || true
      fail "the tasks did not end within 90 s"
    }
    daemon_alive slurmd && daemon_alive slurmctld || fail "a Slurm daemon stopped"
    sleep 1
  done
  # One line per task: its state and exit code.
  states=$(slurm scontrol -o show job "$job" |
    sed -E 's/.*ArrayTaskId=([0-9]+).*JobState=([A-Z_]+).*ExitCode=([0-9:]+).*/\1 \2 \3/')
  say "tasks ended after $((SECONDS - start)) s: $(echo "$states" | tr '\n' ';')"
  [ "$(echo "$states" | grep -c ' COMPLETED 0:0$')" -eq $TASKS ] ||
    fail "not every task completed with exit code 0"
}

# Each task alone, without Slurm, by the same batch script; then the files compared.
check_against_alone() {
  local task
  mkdir -p "$WORK/alone"
  for task in $(seq $TASKS); do
    (cd "$WORK/alone" && VORAX="$VORAX" DECK="$DECK" RUNS=runs SLURM_ARRAY_TASK_ID=$task \
      sh "$BATCH_SCRIPT" 2>"task-$task.err") || fail "task $task run alone failed"
    [ -s "$WORK/study/runs/task-$task/coco_1.tfs" ] || fail "task $task wrote no table"
    diff -r "$WORK/alone/runs/task-$task" "$WORK/study/runs/task-$task" >&2 ||
      fail "task $task of the array differs from the same task run alone"
  done
  say "every task's files equal those of the task run alone"
}

# The corrected orbits of the four seeds, one row per run, each naming its seed.
check_collected() {
  local task
  "$COLLECT" --headers --runs 1-$TASKS "$WORK/study/runs/task-%a/coco_1.tfs" \
    --columns RMS_X_AFTER,RMS_Y_AFTER -o "$WORK/collected.tfs" \
    --stats "$WORK/statistics.txt" || fail "vorax-collect failed"
  grep -qE '^@ RUNS +%d +'$TASKS'$' "$WORK/collected.tfs" || fail "the collection has not $TASKS runs"
  grep -qE '^@ RUNS_LEFT_OUT +%d +0$' "$WORK/collected.tfs" || fail "the collection left runs out"
  [ "$(grep -cvE '^[@*$]' "$WORK/collected.tfs")" -eq $TASKS ] ||
    fail "the collection has not $TASKS rows"
  for task in $(seq $TASKS); do
    grep -qE '^@ RUN_SEED +%d +'"$task"'$' "$WORK/study/runs/task-$task/coco_1.tfs" ||
      fail "task $task's table does not name its seed"
  done
  say "vorax-collect: $(head -n 1 "$WORK/statistics.txt")"
}

main() {
  [ "$(id -u)" = 0 ] || fail "runs as root: it starts the daemons of a private cluster"
  local program
  for program in munged munge unmunge slurmctld slurmd sbatch squeue sinfo scontrol scancel; do
    command -v "$program" >/dev/null ||
      fail "$program is missing (make cluster-test installs slurm-wlm and munge)"
  done
  for program in "$VORAX" "$COLLECT"; do
    [ -x "$program" ] || fail "$program is not built (make cluster-test builds it)"
  done
  WORK=$(mktemp -d /tmp/vorax-cluster.XXXXXX)
  chmod 755 "$WORK"
  trap cleanup EXIT
  trap 'say "interrupted"; exit 130' INT HUP
  trap 'say "stopped (more than $TIME_LIMIT s, or a TERM signal)"; exit 124' TERM
  # The watchdog takes its sleep along when it is stopped, so that nothing is left behind.
  (
    trap 'kill "$nap" 2>/dev/null; exit 0' TERM
    sleep "$TIME_LIMIT" &
    nap=$!
    wait "$nap" && kill -TERM $$
  ) 2>/dev/null &
  WATCHDOG=$!

  start_cluster
  run_array
  check_against_alone
  check_collected
  say "passed in $SECONDS s"
}

main "$@"
