#!/usr/bin/env bash
# The Snakemake workflow run locally on small generated folders: its merged summary must equal one
# direct counter run over the same pictures (counted in chunks, of every picture kind, damaged ones
# too); every sub-folder gets a pooled result; a rerun counts only the chunk that changed; wrong
# configurations stop with one line. Skips (exit 77) when snakemake is not installed.
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

# Chunks of two: sub-folder A (three pictures) takes two jobs.
run_workflow() {
    snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet "$@" \
        --config pictures="$work/pics" params="$params" out="$work/results" counter="$counter" chunk=2
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
    --config pictures="$work/pics" params="$params" out="$work/results" counter="$counter" chunk=2 >dry.log 2>&1
grep -Eq "^count +1( |$)" dry.log || { cat dry.log; fail "the changed picture's chunk alone should be counted again"; }
run_workflow >snakemake.log 2>&1 || { cat snakemake.log; fail "the rerun failed"; }
grep -q "^$work/pics/B/g2.jpg," results/summary.csv || fail "g2 missing after the rerun"

# Every picture kind the counter reads, in any case, and nothing else: the same pictures as the
# counter's own folder listing, and every derived name by the one rule (b.jpeg: c_b.txt, c_b.csv).
mkdir -p kinds/sub
"$make_sample" tmp.ppm 200 160 12 41 >/dev/null
for target in kinds/c.tiff kinds/sub/f.TIF kinds/a.png kinds/sub/p.PNG; do
    python3 "$source_dir/tests/workflow/ppm_to.py" tmp.ppm "$target"
done
cjpeg -quality 90 tmp.ppm >kinds/b.jpeg
cp kinds/b.jpeg kinds/d.Jpg
cp kinds/b.jpeg kinds/sub/e.JPE
"$make_sample" kinds/h.bmp 200 160 15 42 >/dev/null
cp kinds/h.bmp kinds/sub/i.BMP
cp kinds/h.bmp kinds/c_h.bmp       # a marked picture beside its picture: left out
cp kinds/b.jpeg kinds/.hidden.jpg  # hidden: left out
echo notes >kinds/notes.txt
rm -f tmp.ppm
"$counter" --params-from "$params" --recursive --out direct-kinds --summary direct-kinds.csv "$work/kinds" >/dev/null
# The outputs inside the pictures folder, marked pictures among them: not counted by a rerun.
run_kinds() {
    snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet "$@" --config pictures="$work/kinds" \
        params="$params" out="$work/kinds/out" counter="$counter" options=--marked
}
run_kinds >kinds.log 2>&1 || { cat kinds.log; fail "the run over every kind failed"; }
[ -s kinds/out/c_a.png ] || fail "no marked picture written"
run_kinds --dry-run >kinds.log 2>&1 || { cat kinds.log; fail "the dry rerun over every kind failed"; }
grep -q "Nothing to be done" kinds.log || { cat kinds.log; fail "the rerun would count the outputs"; }
{ head -n 1 direct-kinds.csv; tail -n +2 direct-kinds.csv | sort; } >direct-kinds-sorted.csv
diff -u direct-kinds-sorted.csv kinds/out/summary.csv || fail "the summary over every kind differs from the counter's"
[ "$(wc -l <kinds/out/summary.csv)" -eq 10 ] || fail "the summary over every kind should hold 9 rows"
for name in a b c d h sub/e sub/f sub/i sub/p; do
    base="kinds/out/$(dirname "$name")/c_$(basename "$name")"
    [ -s "$base.txt" ] && [ -s "$base.csv" ] || fail "no report or particle table $base.txt/.csv"
done

# Pictures that cannot be counted: the others are, the summary keeps one header for all rows, the
# sub-folder they are in gets no pooled result, and the run fails naming them and their log.
mkdir -p damaged/F
cp pics/A/f1.jpg damaged/F/good1.jpg
cp pics/A/f2.jpg damaged/F/good2.jpg
head -c 6000 pics/A/f3.jpg >damaged/F/cut.jpg
echo "no picture" >damaged/F/junk.jpg
cp pics/top.jpg damaged/top.jpg
run_damaged() {  # run_damaged OUT OPTIONS
    snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet --keep-going --config \
        pictures="$work/damaged" params="$params" out="$work/$1" counter="$counter" chunk=3 options="$2"
}
if run_damaged damaged-out "" >damaged.log 2>&1; then cat damaged.log; fail "a run with damaged pictures succeeded"; fi
for expected in F/cut.jpg F/junk.jpg damaged-out/logs/F/1.log; do
    grep -qF "$expected" damaged.log || { cat damaged.log; fail "the failing run does not name $expected"; }
done
[ ! -e damaged-out/F/pooled.txt ] || fail "a sub-folder with an uncounted picture got a pooled result"
if "$counter" --params-from "$params" --recursive --out direct-damaged --summary direct-damaged.csv "$work/damaged" \
    >/dev/null 2>&1; then fail "the counter accepted the damaged pictures"; fi
{ head -n 1 direct-damaged.csv; tail -n +2 direct-damaged.csv | sort; } >direct-damaged-sorted.csv
diff -u direct-damaged-sorted.csv damaged-out/summary.csv || fail "the summary with damaged pictures differs from the counter's"
head -n 1 damaged-out/summary.csv | grep -q ',warnings$' || fail "the summary lacks the warnings column"
# Accepted: with the junk picture the run still fails; without it, it succeeds and pools.
if run_damaged accepted-out "--accept-damaged" >accepted.log 2>&1; then fail "the junk picture was accepted"; fi
rm damaged/F/junk.jpg
run_damaged accepted-out "--accept-damaged" >accepted.log 2>&1 || { cat accepted.log; fail "the accepted run failed"; }
grep -q "^$work/damaged/F/cut.jpg," accepted-out/summary.csv || fail "the accepted damaged picture has no row"
[ -s accepted-out/F/pooled.txt ] || fail "the accepted run gave no pooled result"
python3 -c 'import csv, sys; sys.exit(len({len(row) for row in csv.reader(open(sys.argv[1]))}) != 1)' \
    accepted-out/summary.csv || fail "the accepted summary has rows of different lengths"

# Wrong configurations: one line saying what to give and a failing status, also for a dry run, and
# nothing written.
mkdir -p empty twins
cp pics/top.jpg twins/a.jpg
cp pics/A/f1.jpg twins/a.JPEG
while IFS='|' read -r config expected; do
    dry_runs=("")
    [[ "$config" == *out=* ]] || dry_runs+=(--dry-run)  # parsing alone: a dry run stops alike
    for dry in "${dry_runs[@]}"; do
        status=0
        # shellcheck disable=SC2086  # the settings are words of their own
        snakemake -s "$source_dir/workflow/Snakefile" --cores 1 $dry ${config:+--config $config} \
            >error.log 2>&1 || status=$?
        [ "$status" -ne 0 ] || fail "'$config' $dry succeeded"
        [ "$(wc -l <error.log)" -eq 1 ] && grep -qF "spottally workflow: $expected" error.log ||
            { cat error.log; fail "'$config' $dry: expected the one line '$expected'"; }
    done
    [ ! -e wrong-out ] || fail "'$config' wrote outputs"
done <<CASES
|no pictures given: add --config pictures=FOLDER params=REPORT
pictures=$work/pics|no params given: add --config pictures=FOLDER params=REPORT
pictures=$work/pics params=$work/params/c_missing.txt out=wrong-out counter=$counter|the parameter report '$work/params/c_missing.txt' does not exist
pictures=$work/picz params=$params out=wrong-out counter=$counter|the pictures folder '$work/picz' does not exist
pictures=$work/empty params=$params out=wrong-out counter=$counter|no pictures in the folder '$work/empty'
pictures=$work/twins params=$params out=wrong-out counter=$counter|'$work/twins/a.JPEG' and '$work/twins/a.jpg' would both write 'wrong-out/c_a.txt'
pictures=$work/pics params=$params out=wrong-out counter=$work/no-counter|the counter '$work/no-counter' is not found
pictures=$work/pics params=$params out=wrong-out counter=$counter chunk=0|chunk takes a whole number from 1 up, not '0'
CASES
echo "workflow test passed"
