#!/usr/bin/env bash
# The Slurm profile's status script against stand-ins for sacct and scontrol: one row per way a job
# can stand (accounting kept or not, job gone, controller silent), so every state Slurm reports
# maps to what Snakemake must do. Needs no Slurm.
#   slurm_status_test.sh SOURCE_DIR
set -euo pipefail
status_script=$1/workflow/profiles/slurm/slurm-status.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The stand-ins print $SACCT_OUT / $SCONTROL_OUT and exit with $SACCT_STATUS / $SCONTROL_STATUS when
# they are asked about job 7, and know no other job.
mkdir "$work/bin"
for tool in sacct scontrol; do
    upper=$(tr a-z A-Z <<<"$tool")
    cat >"$work/bin/$tool" <<STANDIN
#!/bin/sh
case " \$* " in
    *" 7 "*) ;;
    *) echo "slurm_load_jobs error: Invalid job id specified" >&2; exit 1 ;;
esac
printf '%b' "\${${upper}_OUT:-}"
exit \${${upper}_STATUS:-0}
STANDIN
    chmod +x "$work/bin/$tool"
done

# job id | sacct status | sacct output | scontrol status | scontrol output | expected
while IFS='|' read -r id sacct_status sacct_out scontrol_status scontrol_out expected; do
    got=$(PATH="$work/bin:$PATH" SACCT_STATUS=$sacct_status SACCT_OUT=$sacct_out \
        SCONTROL_STATUS=$scontrol_status SCONTROL_OUT=$scontrol_out bash "$status_script" "$id" 2>/dev/null)
    if [ "$got" != "$expected" ]; then
        echo "FAIL: job '$id', sacct '$sacct_out' ($sacct_status), scontrol '$scontrol_out' ($scontrol_status):" \
            "'$got', expected '$expected'" >&2
        failures=$((failures + 1))
    fi
done <<'ROWS'
7|0|COMPLETED\n|0||success
7;cluster|0|COMPLETED\n|0||success
7|0|RUNNING\n|0||running
7|0|PENDING\n|0||running
7|0|COMPLETING\n|0||running
7|0|CANCELLED by 1000\n|0||failed
7|0|TIMEOUT\n|0||failed
7|0|OUT_OF_MEMORY\n|0||failed
7|0|NODE_FAIL\n|0||failed
7|0|FAILED\n|0||failed
7|1|sacct: error: Slurm accounting storage is disabled\n|0|JobId=7 JobName=x JobState=RUNNING Reason=None\n|running
7|1||0|JobId=7 JobName=x JobState=COMPLETED Reason=None StdOut=/x/7.out\n|success
7|1||0|JobId=7 JobName=x JobState=CANCELLED Reason=None StdOut=/x/7.out\n|failed
7|0||0|JobId=7 JobName=x JobState=TIMEOUT Reason=TimeLimit\n|failed
7|1||1|slurm_load_jobs error: Invalid job id specified\n|failed
7|1||1|slurm_load_jobs error: Unable to contact slurm controller (connect failure)\n|running
ROWS

# What a failed job tells the user: its state and its Slurm output.
message=$(PATH="$work/bin:$PATH" SACCT_STATUS=1 SCONTROL_OUT='JobId=7 JobState=OUT_OF_MEMORY StdOut=/x/7.out\n' \
    bash "$status_script" 7 2>&1 >/dev/null)
if [ "$message" != "spottally: Slurm job 7 ended OUT_OF_MEMORY; its Slurm output: /x/7.out" ]; then
    echo "FAIL: the message of a failed job is '$message'" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "slurm status test passed"
