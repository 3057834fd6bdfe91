#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's Slurm recipe for real, on one node: munged, slurmctld and slurmd
# are started here with a configuration of their own on the loopback, the
# README's submission lines (with a small view) and its poster.sh run the
# array and the join after it, and the joined poster is byte for byte that of
# one plain run. Every daemon started here is stopped on the way out.
# Usage: poster_slurm.sh PLORVEX-RENDER README.md
#   (exit 77: not root, no Slurm or munge here, or they cannot start)
set -eu
render="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
readme="$2"
skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "the daemons are started as root (running as uid $(id -u))"
for program in munged munge slurmctld slurmd sbatch squeue sinfo scancel; do
  command -v "$program" >/dev/null ||
    skip "no $program (Debian packages munge, slurmctld, slurmd, slurm-client)"
done

work=$(mktemp -d)
chmod 755 "$work"  # munged wants its socket's folder searchable by all
started=""
# The daemons' logs when something went wrong, so that the reason is seen.
show_logs() {
  # A daemon's standard error holds its log too, or why it had none.
  for log in munged.log slurmctld.err slurmd.err; do
    [ -s "$work/$log" ] && { echo "--- $log"; tail -n 15 "$work/$log"; }
  done
  for out in "$work"/job/slurm-*.out; do
    [ -s "$out" ] && { echo "--- $(basename "$out")"; cat "$out"; }
  done
  return 0
}
stop_daemons() {
  status=$?
  trap - EXIT INT TERM
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || show_logs
  # Jobs still queued or running are cancelled and given ten seconds to go.
  jobs=$( [ -n "$started" ] && squeue -h -o %A 2>/dev/null || true)
  if [ -n "$jobs" ]; then
    scancel $jobs 2>/dev/null || true
    for _ in $(seq 20); do
      [ -z "$(squeue -h -o %A 2>/dev/null)" ] && break
      sleep 0.5
    done
  fi
  # The pid files first (written by the daemons), then the pids started here;
  # one that ignores the request is killed after ten seconds.
  for name in slurmd slurmctld munged; do
    pid=$(cat "$work/$name.pid" 2>/dev/null || true)
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  for pid in $started; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$started" ]; then
    (
      trap 'kill "$nap"; exit 0' TERM
      sleep 10 &
      nap=$!
      wait "$nap"
      kill -KILL $started
    ) >/dev/null 2>&1 &
    watchdog=$!
    for pid in $started; do wait "$pid" 2>/dev/null || true; done
    kill "$watchdog" 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap stop_daemons EXIT
trap 'exit 130' INT TERM

# Ports of this run's own, so that a node's real Slurm is left alone.
port=$((20000 + ($$ % 15000) * 2))
host=$(hostname -s)

dd if=/dev/urandom of="$work/munge.key" bs=1024 count=1 2>/dev/null
chmod 400 "$work/munge.key"
munged --foreground --force --socket="$work/munge.socket" --key-file="$work/munge.key" \
  --pid-file="$work/munged.pid" --seed-file="$work/munged.seed" >"$work/munged.log" 2>&1 &
started="$!"
for _ in $(seq 50); do
  echo | munge --socket="$work/munge.socket" >/dev/null 2>&1 && break
  sleep 0.2
done
echo | munge --socket="$work/munge.socket" >/dev/null 2>&1 || { show_logs; skip "munged does not start"; }

mkdir -p "$work/state" "$work/spool" "$work/job" "$work/bin"
cat >"$work/slurm.conf" <<EOF
ClusterName=plorvex
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$work/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MailProg=/bin/true
MpiDefault=none
ReturnToService=2
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
# Eight CPUs whatever the machine has: the README's four a task, two at once.
SlurmdParameters=config_overrides
NodeName=$host NodeAddr=127.0.0.1 CPUs=8 State=UNKNOWN
PartitionName=farm Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$work/slurm.conf"
slurmctld -D -f "$SLURM_CONF" >"$work/slurmctld.err" 2>&1 &
started="$started $!"
slurmd -D -f "$SLURM_CONF" >"$work/slurmd.err" 2>&1 &
started="$started $!"
state=""
for _ in $(seq 60); do
  state=$(sinfo -h -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.5
done
[ "$state" = idle ] || { show_logs; skip "slurmctld and slurmd do not start (node state '${state:-none}')"; }

# The README's indented block holding PATTERN, without its indentation.
readme_block() {
  awk -v pattern="$1" '
    /^    / { block = block substr($0, 5) "\n"; next }
    { if (index(block, pattern)) { printf "%s", block; exit } block = "" }' "$readme"
}
readme_block "# poster.sh PER-TASK" >"$work/job/poster.sh"
readme_block "sbatch --parsable" | grep -v -e '^view=' -e '^per=' >"$work/submit.sh"
grep -q 'plorvex-render' "$work/job/poster.sh" && grep -q 'sbatch' "$work/submit.sh" ||
  { echo "FAIL: the README's Slurm recipe was not found in $readme"; exit 1; }

ln -s "$render" "$work/bin/plorvex-render"
PATH="$work/bin:$PATH"
export PATH
# Pluck carries a value; 1200 rows are 5 bands, so the last of three tasks of
# two bands holds one.
view="--pattern pluck --size 120 --density 10"
per=2
"$render" $view --quiet -o "$work/plain.png"
cd "$work/job"
. "$work/submit.sh"
[ "$tasks" -eq 3 ] || { echo "FAIL: $tasks tasks for $n bands, not 3"; exit 1; }
# The array and the join after it: done when the queue is empty.
for _ in $(seq 240); do
  [ -z "$(squeue -h -o %A)" ] && break
  sleep 0.5
done
[ -z "$(squeue -h -o %A)" ] || { echo "FAIL: the jobs did not end within two minutes"; squeue; exit 1; }
[ -f poster.png ] || { echo "FAIL: the join after the array wrote no poster"; exit 1; }
cmp "$work/plain.png" poster.png || { echo "FAIL: the joined parts differ from one plain run"; exit 1; }
echo "$n bands in $tasks Slurm array tasks, joined by a dependent job, equal one plain run"
