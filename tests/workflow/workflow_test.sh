#!/usr/bin/env bash
# The Snakemake workflow run locally on a small generated folder: its merged summary must equal one
# direct counter run over the same pictures; every sub-folder gets a pooled result; a rerun counts
# only the picture that changed. Skips (exit 77) when snakemake is not installed.
#   workflow_test.sh COUNTER MAKE_SAMPLE SOURCE_DIR
set -euo pipefail
counter=$1 make_sample=$2 source_dir=$3

if ! command -v snakemake >/dev/null 2>&1; then
    echo "workflow test skipped: snakemake is not installed (scripts/setup.sh installs it)"
    exit 77
fi
if ! command -v cjpeg >/dev/null 2>&1; then
    echo "workflow test skipped: cjpeg is not installed (scripts/setup.sh installs libjpeg-turbo-progs)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Two filters (sub-folders A and B) and one picture at the top.
mkdir -p pics/A pics/B params
picture() {  # picture PATH SEED PARTICLES
    "$make_sample" "$work/tmp.ppm" 400 300 "$3" "$2" >/dev/null
    cjpeg -quality 95 "$work/tmp.ppm" >"$1"
}
picture pics/A/f1.jpg 11 30
picture pics/A/f2.jpg 12 45
picture pics/A/f3.jpg 13 20
picture pics/B/g1.jpg 21 60
picture pics/B/g2.jpg 22 55
picture pics/top.jpg 31 25
rm -f tmp.ppm

# The parameters come from a saved report, with a filter area of its own.
"$counter" --out params --filter-area 400 --grid 0 pics/top.jpg >/dev/null
params=$work/params/c_top.txt

run_workflow() {
    snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet "$@" \
        --config pictures="$work/pics" params="$params" out="$work/results" counter="$counter"
}
run_workflow >snakemake.log 2>&1 || { cat snakemake.log; fail "the workflow failed"; }

# The merged summary equals one direct run over the same pictures (rows sorted alike).
pictures=("$work/pics/top.jpg" "$work/pics/A/f1.jpg" "$work/pics/A/f2.jpg" "$work/pics/A/f3.jpg"
    "$work/pics/B/g1.jpg" "$work/pics/B/g2.jpg")
"$counter" --params-from "$params" --out direct --summary direct.csv "${pictures[@]}" >/dev/null
{ head -n 1 direct.csv; tail -n +2 direct.csv | sort; } >direct-sorted.csv
diff -u direct-sorted.csv results/summary.csv || fail "the merged summary differs from the direct run"
[ "$(wc -l <results/summary.csv)" -eq 7 ] || fail "the summary should hold 6 rows"

# Reports and particle tables: as the direct run writes them (the report's time line aside); the
# table's rows are the particles and its areas sum to the total area.
for sub in "" A/ B/; do
    for report in results/${sub}c_*.txt; do
        name=$(basename "$report")
        diff <(sed 15d "$report") <(sed 15d "direct/$name") >/dev/null || fail "$report differs from the direct run"
        table=${report%.txt}.csv
        particles=$(sed -n 16p "$report" | tr -d '\r' | sed 's/.*> //')
        [ "$(($(wc -l <"$table") - 1))" -eq "$particles" ] || fail "$table: rows differ from the count"
    done
done
grep -q "^$work/pics/A/f1.jpg," results/summary.csv || fail "f1 missing in the summary"
area=$(grep "^$work/pics/A/f1.jpg," results/summary.csv | cut -d, -f7)
# The column by its name in the header, as a user's script should find it.
[ "$(awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "area_pixels") c = i } NR > 1 { s += $c } END { print s }' \
    results/A/c_f1.csv)" = "$area" ] ||
    fail "particle areas of f1 do not sum to its total area"

# One pooled result per sub-folder, equal to pooling the direct run's reports.
for group in A B; do
    [ -s "results/$group/pooled.txt" ] || fail "no pooled result for $group"
    "$counter" --pool "direct-$group.txt" --pictures "pics/$group" direct/c_"$(echo $group | tr AB fg)"*.txt >"direct-$group.tsv"
    diff "direct-$group.tsv" "results/$group/pooled.tsv" || fail "pooled result of $group differs"
    awk -F'\t' 'NF != 9 || ($9 != "poisson" && $9 != "t") { exit 1 }' "results/$group/pooled.tsv" ||
        fail "pooled line of $group malformed"
done
[ ! -e results/pooled.txt ] || fail "pictures at the top are no filter: nothing pooled there"

# A rerun with nothing changed does nothing; a changed picture is counted again, alone.
run_workflow --dry-run >dry.log 2>&1 || { cat dry.log; fail "dry run failed"; }
grep -q "Nothing to be done" dry.log || { cat dry.log; fail "a rerun without changes would count again"; }
sleep 1
picture pics/B/g2.jpg 23 50
snakemake -s "$source_dir/workflow/Snakefile" --cores 1 --dry-run \
    --config pictures="$work/pics" params="$params" out="$work/results" counter="$counter" >dry.log 2>&1
grep -Eq "^count +1( |$)" dry.log || { cat dry.log; fail "the changed picture alone should be counted again"; }
run_workflow >snakemake.log 2>&1 || { cat snakemake.log; fail "the rerun failed"; }
grep -q "^$work/pics/B/g2.jpg," results/summary.csv || fail "g2 missing after the rerun"
echo "workflow test passed"
