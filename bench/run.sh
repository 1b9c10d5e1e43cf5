#!/usr/bin/env bash
# Times our archiver libraries' test command against public tools on one shared input.
#   bench/run.sh [--size MiB] [--runs N] [--work DIR] [--build DIR] [family ...]
# Families: zip cab arj lzh (default: all). One generated text-like input (--size MiB, default 200,
# split over a few files) is packed once per family; each tester runs once to warm the page
# cache, then --runs rounds (default 3). Reported: medians of wall and CPU seconds, peak
# resident memory, and each tester's time divided by ours (above 1.00: ours is faster).
# Needs GNU time (/usr/bin/time), zip, gcab, unzip, cabextract, 7zz, bsdtar.
#
# Adding a family <f>: define make_<f> (packs "$input" into the archive path given as $1),
# peers_<f> (prints one peer command per line; {} stands for the archive), dll_<f> and
# entry_<f> (library file and command entry), and append <f> to all_families. An optional
# goals_<f> prints "<peer command name> <most ours/peer wall ratio>" and "peak_KiB <most>" lines,
# checked after the family's table.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size=200
runs=3
work=${TMPDIR:-/tmp}/orvex2-bench
build=$root/build-bench
families=()
while (($#)); do
  case $1 in
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) families+=("$1"); shift ;;
  esac
done
all_families=(zip cab arj lzh)
((${#families[@]})) || families=("${all_families[@]}")

# --- families ------------------------------------------------------------------------------

# ZIP: deflated by Info-ZIP zip; bsdtar decodes every member to stdout. Goals, checked with
# `bench/run.sh --size 100 --runs 5 zip`: at most 0.6x the wall time of bsdtar, 0.5x of 7zz,
# and a peak under 32 MiB.
make_zip() { (cd "$input" && zip -q -r -6 "$1" .); }
peers_zip() { printf '%s\n' 'unzip -tq {}' '7zz t -bd -bso0 {}' 'bsdtar -xOf {}'; }
dll_zip() { echo UNZIP32.DLL; }
entry_zip() { echo UnZip; }
goals_zip() { printf '%s\n' 'bsdtar 0.6' '7zz 0.5' 'peak_KiB 32768'; }

# gcab puts everything into one folder, which holds at most 65535 data blocks of 32 KiB:
# well above the input size used here. Goals (bench/run.sh --size 100 --runs 5 cab): our wall
# time at most 0.6 of bsdtar's and 0.5 of 7-Zip's, peak memory under 32 MiB.
make_cab() { (cd "$input" && gcab -c -n -z "$1" ./*); }
peers_cab() { printf '%s\n' 'cabextract -t -q {}' '7zz t -bd -bso0 {}' 'bsdtar -xOf {}'; }
goals_cab() { printf '%s\n' 'bsdtar 0.6' '7zz 0.5' 'peak_KiB 32768'; }
dll_cab() { echo CAB32.DLL; }
entry_cab() { echo Cab; }

# ARJ: -m1 is arj's default and best method; peers arj itself and 7-Zip.
make_arj() { (cd "$input" && arj a -m1 -y "$1" ./* >/dev/null); }
peers_arj() { printf '%s\n' 'arj t {}' '7zz t -bd -bso0 {}'; }
dll_arj() { echo UNARJ32J.DLL; }
entry_arj() { echo Unarj; }

# LZH -lh5- made by jlha; bsdtar decodes every member to stdout (it has no test command).
make_lzh() { (cd "$input" && jlha ao5q "$1" ./* >/dev/null 2>&1); }
peers_lzh() { printf '%s\n' 'lhasa t {}' '7zz t -bd -bso0 {}' 'bsdtar -xOf {}'; }
dll_lzh() { echo UNLHA32.DLL; }
entry_lzh() { echo Unlha; }

# --- machinery -----------------------------------------------------------------------------

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# "wall cpu peak_kib" of one run of a command (GNU time: the whole process).
measure() {
  local out=$work/time.out
  /usr/bin/time -f '%e %U %S %M' -o "$out" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out"
}

build_driver() {
  if [[ ! -x $build/bench/orvex2_archiver_bench ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEX2_ARCHIVERS_ONLY=ON \
      -DORVEX2_BUILD_TESTS=OFF >/dev/null
  fi
  local targets=(orvex2_archiver_bench)
  for f in "${families[@]}"; do
    case $f in
      zip) targets+=(orvex2_unzip) ;;
      cab) targets+=(orvex2_cab) ;;
      arj) targets+=(orvex2_unarj) ;;
      lzh) targets+=(orvex2_unlha) ;;
      *) targets+=("orvex2_$f") ;;
    esac
  done
  cmake --build "$build" --target "${targets[@]}" >/dev/null
}

mbps() { awk -v s="$input_bytes" -v t="$1" 'BEGIN { printf "%.1f", s / 1e6 / t }'; }

# Runs every tester of a family once per round, so that a change in the machine's load
# touches all of them alike; reports the medians of wall and CPU seconds.
bench_family() {
  local fam=$1 archive=$work/bench-$size.$1
  [[ -f $archive ]] || { echo "packing $fam ..." >&2; "make_$fam" "$archive"; }
  local names=("ours ($("dll_$fam"))") cmds=()
  cmds+=("$build/bench/orvex2_archiver_bench run $build/lib/orvex2/$("dll_$fam") $("entry_$fam") $archive")
  local peer
  while IFS= read -r peer; do
    names+=("${peer%% \{\}*}")
    cmds+=("${peer//\{\}/$archive}")
  done < <("peers_$fam")

  local i r
  for i in "${!cmds[@]}"; do  # warm-up, and each tester must pass
    ${cmds[$i]} >/dev/null 2>&1 || { echo "$fam: ${names[$i]} does not pass $archive" >&2; return 1; }
  done
  declare -A wall cpu peak
  for ((r = 0; r < runs; r++)); do
    for i in "${!cmds[@]}"; do
      read -r w c p < <(measure ${cmds[$i]})
      wall[$i]+="$w "
      cpu[$i]+="$c "
      peak[$i]=$(( ${peak[$i]:-0} > p ? ${peak[$i]:-0} : p ))
    done
  done
  local our_w our_c w c goal limit
  our_w=$(tr ' ' '\n' <<<"${wall[0]}" | grep . | median)
  our_c=$(tr ' ' '\n' <<<"${cpu[0]}" | grep . | median)
  printf '%-4s %-22s %8s %9s %8s %8s %10s %10s\n' fam tester wall_s MB/s cpu_s peak_KiB "ratio_wall" "ratio_cpu"
  for i in "${!cmds[@]}"; do
    w=$(tr ' ' '\n' <<<"${wall[$i]}" | grep . | median)
    c=$(tr ' ' '\n' <<<"${cpu[$i]}" | grep . | median)
    printf '%-4s %-22s %8.2f %9s %8.2f %8d %10.2f %10.2f\n' "$fam" "${names[$i]}" "$w" "$(mbps "$w")" "$c" \
      "${peak[$i]}" "$(awk -v a="$w" -v b="$our_w" 'BEGIN { print a / b }')" \
      "$(awk -v a="$c" -v b="$our_c" 'BEGIN { print (b > 0 ? a / b : 0) }')"
  done
  declare -F "goals_$fam" >/dev/null || return 0
  while read -r goal limit; do
    if [[ $goal == peak_KiB ]]; then
      awk -v p="${peak[0]}" -v l="$limit" 'BEGIN { printf "goal: our peak %d KiB, below %d KiB: %s\n", p, l, (p < l ? "met" : "MISSED") }'
      continue
    fi
    for i in "${!names[@]}"; do
      [[ ${names[$i]} == "$goal"* ]] || continue
      w=$(tr ' ' '\n' <<<"${wall[$i]}" | grep . | median)
      awk -v o="$our_w" -v w="$w" -v l="$limit" -v n="$goal" \
        'BEGIN { r = o / w; printf "goal: ours / %s wall %.2f, at most %.2f: %s\n", n, r, l, (r <= l ? "met" : "MISSED") }'
    done
  done < <("goals_$fam")
}

mkdir -p "$work"
input=$work/input-$size
if [[ ! -d $input ]]; then
  build_driver
  mkdir -p "$input.tmp"
  echo "generating $size MiB of input ..." >&2
  "$build/bench/orvex2_archiver_bench" generate "$input.tmp" "$size" 4
  rm -rf "$input"
  mv "$input.tmp" "$input"
fi
build_driver
input_bytes=$(du -sb "$input" | cut -f1)
echo "input: $input_bytes bytes in $(find "$input" -type f | wc -l) files; median of $runs runs"
for fam in "${families[@]}"; do
  declare -F "make_$fam" >/dev/null || { echo "unknown family $fam" >&2; exit 2; }
  bench_family "$fam"
done
