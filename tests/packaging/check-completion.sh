#!/usr/bin/env bash
# The bash completion written from the help table, run as bash would run it
# (COMP_WORDS/COMP_CWORD), with bash-completion's helpers replaced by
# recorders so that what the completion asks for is visible:
#   check-completion.sh QUILLON-DOCS
set -euo pipefail
docs=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$docs" completion >"$work/quillon-cli"
bash -n "$work/quillon-cli" || fail "the bash completion does not parse"
"$docs" zsh-completion >"$work/_quillon-cli"
if command -v zsh >/dev/null; then zsh -n "$work/_quillon-cli" || fail "the zsh completion does not parse"; fi
head -1 "$work/_quillon-cli" | grep -qx '#compdef quillon-cli' || fail "the zsh completion lacks #compdef"
grep -q -- "'--resume\[.*:file:_files'" "$work/_quillon-cli" || fail "zsh: --resume takes no file"
grep -q -- "'--printer\[.*:printer:_quillon_cli_queues'" "$work/_quillon-cli" || fail "zsh: --printer takes no queue"

# A spooler with two queues.
mkdir "$work/bin"
printf '#!/bin/sh\necho QUEUE_A\necho QUEUE_B\n' >"$work/bin/lpstat"
chmod +x "$work/bin/lpstat"

# complete WORD... : the completion's answer for the last word.
complete_words() {
  PATH=$work/bin:$PATH bash -c '
    _init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]};
                         words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; }
    _filedir() { COMPREPLY=("FILES:${1:-any}"); }
    _known_hosts_real() { COMPREPLY=("HOSTS"); }
    complete() { :; }
    . "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _quillon_cli
    printf "%s\n" "${COMPREPLY[@]}"' _ "$work/quillon-cli" "$@"
}

out=$(complete_words quillon-cli '')
grep -qx download <<<"$out" || fail "no commands offered: $out"
out=$(complete_words quillon-cli download -)
grep -q ',' <<<"$out" && fail "an option offered with its comma: $(grep , <<<"$out" | tr '\n' ' ')"
for o in -h -v -q -y --yes -j --jobs --printer --resume --verify; do
  grep -qx -- "$o" <<<"$out" || fail "download does not offer $o"
done
# Any file after an option whose value is a file, not only packages.
for cmd_opt in "download --resume" "download --printers-from" "inventory --hosts-from" \
               "inventory --printers-out" "job -o" "job --output"; do
  set -- $cmd_opt
  out=$(complete_words quillon-cli "$1" "$2" '')
  [ "$out" = "FILES:any" ] || fail "after $cmd_opt: $out, not any file"
done
out=$(complete_words quillon-cli download FW.RXV '')
[ "$out" = "FILES:@(rxf|RXF|rx_|RX_|rxv|RXV)" ] || fail "the package is not completed: $out"
out=$(complete_words quillon-cli download --printer Q)
[ "$out" = "$(printf 'QUEUE_A\nQUEUE_B')" ] || fail "after --printer: $out, not the queues"
# The value of an option before the command word is not taken as the command.
out=$(complete_words quillon-cli -v download --resume r.jsonl --printer '')
grep -qx QUEUE_A <<<"$out" || fail "after a file option's value: $out"
out=$(complete_words quillon-cli help '')
grep -qx history <<<"$out" || fail "help offers no commands: $out"
echo "completion checks out"
