#!/bin/sh
# 200 000 passwords of 15 characters written to a pipe: the program's command
# line beside pwgen's secure mode with symbols, in turns, best of five each.
set -eu
quorvin=${1:-build/quorvin}
n=200000
best() {
    b=
    for _ in 1 2 3 4 5; do
        s=$(date +%s%N)
        "$@" | cat > /dev/null
        t=$(( ($(date +%s%N) - s) / 1000000 ))
        if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
    done
    echo "$b"
}
ours=$(best "$quorvin" generate -n $n -l 15)
theirs=$(best pwgen -s -y 15 $n)
echo "quorvin generate -n $n: $ours ms"
echo "pwgen -s -y 15 $n:      $theirs ms"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "quorvin is %.1fx as fast\n", b / (a > 0 ? a : 1) }'
