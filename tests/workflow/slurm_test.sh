#!/usr/bin/env bash
# The workflow on a real scheduler: starts a one-node Slurm cluster (munged, slurmctld, slurmd) in a
# temporary folder, on loopback only, runs the workflow through the Slurm profile, cancels one
# running count job with scancel and checks that the run is retried and finishes with every row,
# equal to one direct counter run. Then every attempt of one job is cancelled: the run must fail
# and name that job's log. Skips (exit 77) when Slurm or munge is not installed or the daemons cannot
# start here; every wait has a time limit.
#   slurm_test.sh COUNTER MAKE_SAMPLE SOURCE_DIR
set -euo pipefail
counter=$1 make_sample=$2 source_dir=$3

skip() {
    echo "slurm test skipped: $*"
    exit 77
}
for tool in snakemake cjpeg munged slurmctld slurmd sbatch squeue scancel scontrol python3; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/setup.sh installs it)"
done

work=$(mktemp -d /tmp/spottally-slurm.XXXXXX)
stop_daemons() {
    # Only the daemons this test started, by the process ids they wrote.
    for pidfile in "$work"/slurmd.pid "$work"/slurmctld.pid "$work"/munged.pid; do
        [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
    done
    sleep 1
}
trap 'stop_daemons; rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*" >&2
    for log in slurmctld.log slurmd.log; do
        [ -f "$log" ] && { echo "== $log (end)"; tail -n 20 "$log"; }
    done >&2
    exit 1
}

# Ports nobody listens on, for this cluster alone.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
ports = []
sockets = []
for _ in range(2):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); sockets.append(s); ports.append(s.getsockname()[1])
print(*ports)')

# munge: a key of our own and a socket in the temporary folder.
mkdir -p munge
chmod 700 munge
head -c 1024 /dev/urandom >munge/munge.key
chmod 400 munge/munge.key
timeout 20 munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.sock" \
    --pid-file="$work/munged.pid" --log-file="$work/munged.log" --seed-file="$work/munge/munge.seed" \
    >/dev/null 2>&1 || skip "munged does not start here: $(tail -n 1 munged.log 2>/dev/null)"

user=$(id -un)
cpus=$(nproc)
memory=$(awk '/^MemTotal:/ { m = int($2 / 1024 / 2); print (m > 4000 ? 4000 : m) }' /proc/meminfo)
mkdir -p state spool
cat >slurm.conf <<CONF
ClusterName=spottally-test
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/munge.sock
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU_Memory
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
MinJobAge=600
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=60 State=UP
CONF
export SLURM_CONF=$work/slurm.conf
timeout 30 slurmctld -c -f "$SLURM_CONF" >/dev/null 2>&1 || skip "slurmctld does not start here: $(tail -n 1 slurmctld.log 2>/dev/null)"
timeout 30 slurmd -f "$SLURM_CONF" -N localhost >/dev/null 2>&1 || skip "slurmd does not start here: $(tail -n 1 slurmd.log 2>/dev/null)"
ready=0
for _ in $(seq 60); do
    if timeout 5 sinfo -h -N -o '%T' 2>/dev/null | grep -qx idle; then
        ready=1
        break
    fi
    sleep 1
done
[ "$ready" = 1 ] || skip "the Slurm node does not come up: $(tail -n 1 slurmd.log 2>/dev/null)"

# Pictures: two filters and one picture at the top; the parameters from a saved report.
mkdir -p pics/A pics/B params
picture() {  # picture PATH SEED PARTICLES
    "$make_sample" "$work/tmp.ppm" 300 200 "$3" "$2" >/dev/null
    cjpeg -quality 95 "$work/tmp.ppm" >"$1"
}
picture pics/A/f1.jpg 11 30
picture pics/A/f2.jpg 12 45
picture pics/A/f3.jpg 13 20
picture pics/B/g1.jpg 21 60
picture pics/top.jpg 31 25
rm -f tmp.ppm
"$counter" --out params --grid 0 pics/top.jpg >/dev/null
params=$work/params/c_top.txt

# The counter behind a pause, so that a job is still running when it is cancelled.
cat >slow-counter <<SCRIPT
#!/bin/sh
sleep 4
exec "$counter" "\$@"
SCRIPT
chmod +x slow-counter

run_workflow() {  # run_workflow OUT LOG: in the background; its pid in $run
    timeout 600 snakemake -s "$source_dir/workflow/Snakefile" --profile "$source_dir/workflow/profiles/slurm" \
        --jobs 4 --latency-wait 5 --config pictures="$work/pics" params="$params" out="$work/$1" \
        counter="$work/slow-counter" chunk=2 >"$2" 2>&1 &
    run=$!
}
# Cancels a running count job; prints its id. Gives up after 120 s.
cancel_running_count() {
    for _ in $(seq 600); do
        job=$(squeue -h -t RUNNING -n spottally-count -o '%i' 2>/dev/null | head -n 1)
        if [ -n "$job" ]; then
            scancel "$job"
            echo "$job"
            return 0
        fi
        kill -0 "$run" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

# One cancelled job: seen, retried, and the run finishes with every row.
run_workflow results run.log
cancelled=$(cancel_running_count) || { cat run.log; fail "no running count job to cancel"; }
status=0
wait "$run" || status=$?
[ "$status" -eq 0 ] || { cat run.log; fail "the run with one cancelled job failed (status $status)"; }
grep -q "Slurm job $cancelled ended CANCELLED" run.log || { cat run.log; fail "the cancelled job $cancelled was not seen"; }
grep -q "Trying to restart job" run.log || { cat run.log; fail "the cancelled job was not retried"; }
# The jobs asked for what the node has: one CPU each.
asked=$(scontrol show job -o | grep -o 'NumCPUs=[0-9]* .*MinMemoryNode=[0-9A-Z]*' | sed 's/ .* / /' | sort -u)
[ "$asked" = "NumCPUs=1 MinMemoryNode=1000M" ] || fail "the count jobs asked for: $asked"
pictures=("$work/pics/top.jpg" "$work/pics/A/f1.jpg" "$work/pics/A/f2.jpg" "$work/pics/A/f3.jpg" "$work/pics/B/g1.jpg")
"$counter" --params-from "$params" --out direct --summary direct.csv "${pictures[@]}" >/dev/null
{ head -n 1 direct.csv; tail -n +2 direct.csv | sort; } >direct-sorted.csv
diff -u direct-sorted.csv results/summary.csv || fail "the summary through Slurm differs from the direct run"
for group in A B; do
    [ -s "results/$group/pooled.txt" ] || fail "no pooled result for $group"
done

# Every attempt cancelled: each job fails after its one retry, and the run fails naming their logs.
run_workflow results-cancelled cancelled.log
for _ in $(seq 1500); do
    jobs=$(squeue -h -n spottally-count -o '%i' 2>/dev/null || true)
    # shellcheck disable=SC2086  # one id a word
    [ -n "$jobs" ] && scancel $jobs
    kill -0 "$run" 2>/dev/null || break
    sleep 0.2
done
status=0
wait "$run" || status=$?
[ "$status" -ne 0 ] || { cat cancelled.log; fail "the run whose jobs were all cancelled succeeded"; }
grep -q "log: $work/results-cancelled/logs/" cancelled.log || { cat cancelled.log; fail "the failed run does not name the jobs' logs"; }
echo "slurm test passed"
