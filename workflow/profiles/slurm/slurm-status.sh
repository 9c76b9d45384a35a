#!/usr/bin/env bash
# Tells Snakemake how a Slurm job stands: prints "running", "success" or "failed" for the job id it
# is given (as sbatch --parsable printed it: ID or ID;CLUSTER). Asks the accounting (sacct) where the
# site keeps one, else the controller (scontrol), so a job that was cancelled, ran out of time or
# memory, or lost its node is seen as failed and retried instead of waited for. A controller that
# does not answer counts as "running": Snakemake asks again shortly.
id=${1%%;*}
state=""
if accounting=$(timeout 30 sacct -j "$id" -X -n -P -o State 2>/dev/null); then
    state=$(head -n 1 <<<"$accounting")
fi
details=""
if [ -z "$state" ]; then
    if details=$(timeout 30 scontrol show job -o "$id" 2>&1); then
        state=$(grep -o 'JobState=[A-Z_]*' <<<"$details" | head -n 1 | cut -d= -f2)
    elif grep -q 'Invalid job id' <<<"$details"; then
        # Gone from the controller, and no accounting to ask: it cannot be told whether it
        # finished, so it is counted again.
        echo "spottally: Slurm job $id is unknown to the controller; it will be run again" >&2
        echo failed
        exit 0
    fi
fi
state=${state%% *}  # sacct writes "CANCELLED by 1000"
case "$state" in
    COMPLETED) echo success ;;
    "" | PENDING | RUNNING | CONFIGURING | COMPLETING | REQUEUED | REQUEUE_FED | REQUEUE_HOLD | RESIZING | \
        SUSPENDED | SIGNALING | STAGE_OUT | STOPPED | RESV_DEL_HOLD | POWER_UP_NODE)
        echo running ;;
    *)
        output=$(grep -o 'StdOut=[^ ]*' <<<"$details" | cut -d= -f2)
        echo "spottally: Slurm job $id ended $state${output:+; its Slurm output: $output}" >&2
        echo failed ;;
esac
