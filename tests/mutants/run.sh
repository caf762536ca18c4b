#!/usr/bin/env bash
# Puts each fault of the mutant list into the source tree in turn, rebuilds
# the test targets its row names, runs those tests and puts the file back byte
# for byte. A row is caught when one of its tests fails or outlasts the time
# limit, missed when they all pass, broken when its text is not in the file
# exactly once, a test name is unknown or the mutant does not build.
#
#   tests/mutants/run.sh [--tree DIR] [--build DIR] [--list FILE] [--limit SECONDS] [ID...]
#
# --tree   the source tree to mutate (default: the repository holding this script)
# --build  its build folder, configured here if new (default: TREE/build-mutants)
# --list   the list (default: mutants.tsv beside this script)
# --limit  time limit of one test run in seconds (default 180)
# IDs      only these rows (default: all)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$here/../.. build= list=$here/mutants.tsv limit=180 ids=()
while (($#)); do
    case $1 in
    --tree | --build | --list | --limit) printf -v "${1#--}" %s "$2" && shift 2 || exit 2 ;;
    -h | --help) sed -n '2,14s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
    *) ids+=("$1"); shift ;;
    esac
done
tree=$(realpath -e "$tree") && list=$(realpath -e "$list") || exit 2
build=$(realpath -m "${build:-$tree/build-mutants}")
backup=$tree/.mutant-backup
# A backup left by a run that could not restore holds the only good copy.
[[ -e $backup ]] && { echo "refusing to start: $backup is left from an earlier run; it holds the original of" \
    "$(cat "$backup/path" 2>/dev/null): copy $backup/original back over it, then remove $backup" >&2 && exit 2; }

# The rows as "id<TAB>file<TAB>tests<TAB>find<TAB>replace"; only the last field may be empty.
rows=$(awk -F'\t' -v OFS='\t' 'NR == 1 && $0 != "id\tfile\tfind\treplace\ttests\tuser_sees" { exit 1 }
    NR > 1 && NF { print $1, $2, $5, $3, $4 }' "$list") || { echo "$list is not a mutant list" >&2; exit 2; }
if ((${#ids[@]})); then
    rows=$(for id in "${ids[@]}"; do grep -P "^\Q$id\E\t" <<<"$rows" || echo "no row $id in $list" >&2; done)
    [[ $(grep -c . <<<"$rows") -eq ${#ids[@]} ]] || exit 2
fi

# Replaces text $1 by $2 in file $3, or says why not: the text must be there exactly once.
# A perl that dies leaves the file as it was.
apply() {
    FIND=$1 REPLACE=$2 perl -0777 -i -pe '
        my ($find, $replace) = map { s/\\(.)/$1 eq "n" ? "\n" : $1 eq "t" ? "\t" : $1/gre } @ENV{qw(FIND REPLACE)};
        my $count = () = /\Q$find\E/g;
        $count == 1 or die "text found $count times\n";
        s/\Q$find\E/$replace/' "$3"
}

# Writes the original back: rewritten rather than moved, so that it keeps its inode
# and mode and the next build recompiles it. Without a path the file never changed.
restore() {
    [[ -f $backup/path ]] || { rm -rf "$backup"; return 0; }
    local file=$tree/$(cat "$backup/path")
    cat "$backup/original" >"$file" && cmp -s "$backup/original" "$file" && rm -rf "$backup" \
        || echo "COULD NOT RESTORE $file: the original is in $backup/original" >&2
}
# Commands run in the background, so that a signal is handled at once.
child=
run() {
    "$@" &
    child=$!
    wait $child
}
run_test() {
    run timeout -k 10 "$limit" ctest --test-dir "$build" -R "^$1\$" --output-on-failure >>"$2" 2>&1
}
XDG_RUNTIME_DIR=$(mktemp -d) # mode 0700
export XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen
trap 'restore; rm -rf "$XDG_RUNTIME_DIR"' EXIT
trap '[[ -n $child ]] && kill -TERM $child 2>/dev/null && wait $child; exit 130' INT TERM

# A test that fails on the unchanged tree would count every row as caught.
[[ -f $build/CMakeCache.txt ]] || cmake -S "$tree" -B "$build" -DPOLLWRIGHT_WERROR=ON -DPOLLWRIGHT_TESTS=ON >/dev/null \
    || exit 2
grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$tree" "$build/CMakeCache.txt" \
    || { echo "$build is the build folder of another tree" >&2; exit 2; }
mkdir -p "$build/mutants"
mapfile -t tests < <(cut -f3 <<<"$rows" | tr ' ' '\n' | sort -u)
echo "checking the unchanged tree: building, then running ${tests[*]}"
run nice -n 10 cmake --build "$build" --parallel 2 >"$build/mutants/unchanged.log" 2>&1 \
    || { echo "the unchanged tree does not build: $build/mutants/unchanged.log" >&2; exit 2; }
known=$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p')
for test in $(grep -xF -f <(echo "$known") <(printf '%s\n' "${tests[@]}")); do
    run_test "$test" "$build/mutants/unchanged.log" \
        || { echo "$test fails on the unchanged tree: $build/mutants/unchanged.log" >&2; exit 2; }
done

start=$SECONDS
declare -A count=([caught]=0 [missed]=0 [broken]=0)
while IFS=$'\t' read -r -u 3 id file names find replace; do
    read -ra targets <<<"$names"
    log=$build/mutants/$id.log verdict=broken
    unknown=$(grep -vxF -f <(echo "$known") <(printf '%s\n' "${targets[@]}") | tr '\n' ' ')
    if [[ -n $unknown ]]; then
        note="no test ${unknown% }"
    elif [[ ! -f $tree/$file ]]; then
        note="no such file"
    elif ! { mkdir "$backup" && cp -p "$tree/$file" "$backup/original" && echo "$file" >"$backup/path"; }; then
        echo "cannot back up $file in $backup" >&2
        exit 2
    elif ! note=$(apply "$find" "$replace" "$tree/$file" 2>&1); then
        :
    elif ! run nice -n 10 cmake --build "$build" --parallel 2 --target "${targets[@]}" >"$log" 2>&1; then
        note="does not build, see $log"
    else
        verdict=missed note=
        for test in "${targets[@]}"; do
            run_test "$test" "$log" && continue
            rc=$?
            verdict=caught note="by $test"
            ((rc == 124 || rc == 137)) && note="timeout in $test"
            break
        done
    fi
    restore
    [[ -e $backup ]] && exit 2
    count[$verdict]=$((count[$verdict] + 1))
    printf '%s %s  %s  (%s)%s\n' "$id" "$verdict" "$file" "$names" "${note:+  $note}"
done 3<<<"$rows"
echo "caught ${count[caught]} of $((count[caught] + count[missed] + count[broken])) (broken ${count[broken]})"
echo "run time $(((SECONDS - start) / 60)) min"
