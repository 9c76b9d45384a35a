#!/usr/bin/env bash
# Submits one Snakemake job script to Slurm and prints its job id (Snakemake appends the script).
# Edit the two lines below for your site; empty means Slurm's default partition and no account.
partition=""
account=""

options=(--parsable)
[ -n "$partition" ] && options+=(--partition="$partition")
[ -n "$account" ] && options+=(--account="$account")
mkdir -p logs/slurm
exec sbatch "${options[@]}" "$@"
