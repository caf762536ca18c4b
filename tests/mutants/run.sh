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
tree=$(cd "$here/../.." && pwd)
build=
list=$here/mutants.tsv
limit=180
ids=()
while (($#)); do
    case $1 in
    --tree) tree=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --list) list=$(realpath "$2"); shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    -h | --help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
    *) ids+=("$1"); shift ;;
    esac
done
build=$(realpath -m "${build:-$tree/build-mutants}")
backup=$tree/.mutant-backup

# A backup left by a run that could not restore holds the only good copy.
if [[ -e $backup ]]; then
    echo "refusing to start: $backup is left from an earlier run; it holds the original of" \
        "$(cat "$backup/path" 2>/dev/null): copy $backup/original back over it, then remove $backup" >&2
    exit 2
fi

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen
child=

restore() {
    [[ -d $backup ]] || return 0
    # Without its path the backup was never completed, and the file never changed.
    [[ -f $backup/path ]] || { rm -rf "$backup"; return 0; }
    local file
    file=$tree/$(cat "$backup/path")
    # Rewritten rather than moved: same inode and mode, and a new time stamp,
    # so that the next build recompiles it.
    cat "$backup/original" >"$file" && cmp -s "$backup/original" "$file" && rm -rf "$backup" \
        || echo "COULD NOT RESTORE $file: the original is in $backup/original" >&2
}
on_signal() {
    [[ -n $child ]] && kill -TERM "$child" 2>/dev/null && wait "$child"
    exit 130
}
trap 'restore; rm -rf "$runtime"' EXIT
trap on_signal INT TERM

# Runs a command in the background and waits for it, so that a signal to this
# script is handled at once (the trap then stops the command).
run() {
    "$@" &
    child=$!
    wait "$child"
    local rc=$?
    child=
    return $rc
}

# The list's rows as "id<TAB>file<TAB>tests", or with --apply ID the fault put
# into the tree (exit 3 with a reason when the text is not there exactly once).
rows() {
    python3 - "$list" "$tree" "$@" <<'PY'
import re, sys
path, tree, args = sys.argv[1], sys.argv[2], sys.argv[3:]
unescape = lambda s: re.sub(r'\\(.)', lambda m: {'n': '\n', 't': '\t'}.get(m.group(1), m.group(1)), s)
with open(path, encoding='utf-8') as f:
    header, *lines = f.read().splitlines()
assert header.split('\t') == ['id', 'file', 'find', 'replace', 'tests', 'user_sees'], 'not a mutant list'
table = {}
for line in lines:
    if line.strip():
        row = line.split('\t')
        table[row[0]] = row
if args and args[0] == '--apply':
    _, file, find, replace, _, _ = table[args[1]]
    target = f'{tree}/{file}'
    try:
        with open(target, 'rb') as f:
            text = f.read()
    except OSError as e:
        print(e.strerror.lower())
        sys.exit(3)
    count = text.count(unescape(find).encode())
    if count != 1:
        print('text not found' if count == 0 else f'text found {count} times')
        sys.exit(3)
    with open(target, 'wb') as f:
        f.write(text.replace(unescape(find).encode(), unescape(replace).encode()))
else:
    for key in args or table:
        if key not in table:
            sys.exit(f'no row {key} in {path}')
        print('\t'.join([key, table[key][1], table[key][4]]))
PY
}

selected=$(rows "${ids[@]}") || exit 2
mapfile -t all_tests < <(cut -f3 <<<"$selected" | tr ' ' '\n' | sort -u)

# A test that fails on the unchanged tree would count every row as caught.
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$tree" -B "$build" -DPOLLWRIGHT_WERROR=ON -DPOLLWRIGHT_TESTS=ON >/dev/null || exit 2
fi
if ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$tree" "$build/CMakeCache.txt"; then
    echo "$build is the build folder of another tree" >&2
    exit 2
fi
mkdir -p "$build/mutants"
echo "checking the unchanged tree: building, then running ${all_tests[*]}"
run nice -n 10 cmake --build "$build" --parallel 2 >"$build/mutants/unchanged.log" 2>&1 \
    || { echo "the unchanged tree does not build: $build/mutants/unchanged.log" >&2; exit 2; }
known=$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p')
for test in "${all_tests[@]}"; do
    grep -qx "$test" <<<"$known" || continue
    run timeout -k 10 "$limit" ctest --test-dir "$build" -R "^$test\$" --output-on-failure \
        >>"$build/mutants/unchanged.log" 2>&1 \
        || { echo "$test fails on the unchanged tree: $build/mutants/unchanged.log" >&2; exit 2; }
done

start=$SECONDS
total=0 caught=0 broken=0
while IFS=$'\t' read -r -u 3 id file tests; do
    total=$((total + 1))
    log=$build/mutants/$id.log
    verdict=missed note=
    read -ra targets <<<"$tests"
    unknown=$(grep -vxF -f <(echo "$known") <(printf '%s\n' "${targets[@]}") | tr '\n' ' ')
    if [[ -n $unknown ]]; then
        verdict=broken note="no test ${unknown% }"
    elif [[ ! -f $tree/$file ]]; then
        verdict=broken note="no such file"
    elif ! { mkdir "$backup" && cp -p "$tree/$file" "$backup/original" && echo "$file" >"$backup/path"; }; then
        echo "cannot back up $file in $backup" >&2
        exit 2
    elif ! note=$(rows --apply "$id"); then
        verdict=broken
    elif ! run nice -n 10 cmake --build "$build" --parallel 2 --target "${targets[@]}" >"$log" 2>&1; then
        verdict=broken note="does not build, see $log"
    else
        for test in "${targets[@]}"; do
            run timeout -k 10 "$limit" ctest --test-dir "$build" -R "^$test\$" --output-on-failure >>"$log" 2>&1
            rc=$?
            if ((rc == 124 || rc == 137)); then
                verdict=caught note="timeout in $test"
                break
            elif ((rc != 0)); then
                verdict=caught note="by $test"
                break
            fi
        done
    fi
    restore
    [[ -e $backup ]] && exit 2
    [[ $verdict == caught ]] && caught=$((caught + 1))
    [[ $verdict == broken ]] && broken=$((broken + 1))
    printf '%s %s  %s  (%s)%s\n' "$id" "$verdict" "$file" "$tests" "${note:+  $note}"
done 3<<<"$selected"
echo "caught $caught of $total (broken $broken)"
echo "run time $(((SECONDS - start) / 60)) min"
