#!/usr/bin/env bash
# Times zarl-eval on a file of 100,000 typical expressions and reports its
# peak memory; with the benchmark executable also runs that. Builds nothing.
#
#   bench/run_bench.sh ZARL_EVAL [ZARL_BENCH]
#
# The expression file is the same on every run: it is made from fixed
# templates with numbers from a fixed pseudo-random sequence, in a temporary
# directory that is removed afterwards. The time is the best of 5 runs of
#   zarl-eval < file > /dev/null
set -euo pipefail
export LC_ALL=C

usage() {
    echo "usage: $0 ZARL_EVAL [ZARL_BENCH]" >&2
    exit 2
}
[ $# -ge 1 ] && [ $# -le 2 ] || usage
eval_program=$1
bench_program=${2:-}
[ -x "$eval_program" ] || { echo "$0: $eval_program is not an executable" >&2; exit 2; }
if [ -n "$bench_program" ] && [ ! -x "$bench_program" ]; then
    echo "$0: $bench_program is not an executable" >&2
    exit 2
fi

lines=100000
runs=5
work=$(mktemp -d "${TMPDIR:-/tmp}/zarl-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
input=$work/expressions.txt

# Expressions of about 30 characters: decimals, parentheses, functions,
# hexadecimal input and results, and "?". Numbers come from a linear
# congruential sequence with a fixed start, so the file never changes.
awk -v count="$lines" 'BEGIN {
    state = 20240601
    n = split("a*(b+c)-d/e|SQRT(a)*SIN(b)+COS(c)/d|(a+b)*(c-d)/e|0x1F+0xFF*3-&h10/2+a|" \
              "i*16+15+0x7F*2-&H3A@H|?*0.5+a-(b/c)*2|LOG(a)+LOG10(b)-c|EXP(f)-EXP(-f)*b+c|" \
              "(a-b)*(c+d)^2|ATAN(f)*4-a/b|a*b-c/d+e|ABS(-a)+FLOOR(b)*CEIL(c)|" \
              "TAN(f)/SINH(f)+COSH(f)|((a+b)*(c-d))/(e+1)|&hFFFF-0x1234+i*3-77@x|" \
              "SQRT(a)+2^10-b|(?+1)/2+SQRT(ABS(?))*0.01|a/7+b/11-c/13+d/17|" \
              "ASIN(g)+ACOS(g)-ATAN(f)|LN(a)*1.5+LOG2(b)|a*b+c/d-e|DEG(f)+RAD(a)*2-b|" \
              "-(a-b)*(-c+d)|SGN(-a)*ABS(-b)+TANH(g)|(1+g/12)^(12*30)*a|a^0.5*b^0.25-c|" \
              "ASINH(f)+ACOSH(a+1)-ATANH(g)|i*768*3/1048576+a|0x400+i*2-&h100+1.5@H|" \
              "(a*1.08-b)/3+?*0.001|COS(f/3)*SIN(f/6)+a|FLOOR(a*100+0.5)/100+b|" \
              "(a*2.5^2)/2+b*c|1/(1+EXP(-f))-g+a|SIN(f)^2+COS(f)^2-a+b|" \
              "(?-?/3)*1.5+a-SQRT(b)|a*(b+(c*(d-e)))|LOG(a)/LOG(10)+LOG2(b)|" \
              "CEIL(a)-FLOOR(-b)+c|(a+b)*0x10-&h20/4+c", template, "|")
    for (k = 0; k < count; k++) {
        t = template[k % n + 1]
        out = ""
        for (p = 1; p <= length(t); p++) {
            ch = substr(t, p, 1)
            if (ch ~ /^[a-gi]$/) {    # a placeholder for a number
                state = (state * 1103515245 + 12345) % 2147483648
                r = state / 2147483648
                if (ch == "f") value = sprintf("%.4f", 0.1 + r * 2)          # small arguments
                else if (ch == "g") value = sprintf("%.3f", r * 0.9)        # inside (-1, 1)
                else if (ch == "i") value = sprintf("%d", 1 + int(r * 4000)) # integers
                else value = sprintf("%.3f", 1 + r * 999)                   # positive decimals
                out = out value
            } else {
                out = out ch
            }
        }
        print out
    }
}' >"$input"

written=$(wc -l <"$input")
[ "$written" -eq "$lines" ] || { echo "$0: wrote $written lines instead of $lines" >&2; exit 1; }
bytes=$(wc -c <"$input")

# The run must evaluate the file: count its output lines and the failures.
"$eval_program" <"$input" >"$work/output.txt" || true
out_lines=$(wc -l <"$work/output.txt")
failures=$(grep -c '^Not Evaluated$' "$work/output.txt" || true)
if [ "$out_lines" -ne "$lines" ]; then
    echo "$0: zarl-eval wrote $out_lines lines for $lines expressions" >&2
    exit 1
fi

best=
for ((run = 1; run <= runs; run++)); do
    start=$(date +%s%N)
    "$eval_program" <"$input" >/dev/null || true
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
done
seconds=$(awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }')
rate=$(awk -v ns="$best" -v n="$lines" 'BEGIN { printf "%.0f", n / (ns / 1e9) }')

# Peak resident memory: GNU time when present, else getrusage of the child
# through Python (an upper bound: the child's size before its exec counts too).
peak=unknown
if [ -x /usr/bin/time ] && /usr/bin/time -f %M true >/dev/null 2>&1; then
    /usr/bin/time -o "$work/time.txt" -f %M "$eval_program" <"$input" >/dev/null 2>&1 || true
    peak="$(tail -n 1 "$work/time.txt") KiB"
elif command -v python3 >/dev/null 2>&1; then
    peak=$(python3 -c '
import resource, subprocess, sys
with open(sys.argv[2], "rb") as f:
    subprocess.run([sys.argv[1]], stdin=f, stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$eval_program" "$input")
    peak="$peak KiB"
fi

echo "zarl-eval: $lines expressions ($bytes bytes, $failures not evaluated)"
echo "zarl-eval: best of $runs: $seconds s ($rate expressions/s)"
echo "zarl-eval: peak resident memory: $peak"

if [ -n "$bench_program" ]; then
    echo
    "$bench_program" --benchmark_filter='^BM_Evaluate' --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true
fi
