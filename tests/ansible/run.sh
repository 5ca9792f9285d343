#!/bin/bash
# The collection's tests: ansible-test sanity (the offline subset), then the
# playbooks against simulated printers. Usage: run.sh QUILLON_CLI
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v ansible-playbook >/dev/null || ! command -v ansible-test >/dev/null; then
  echo "SKIP: ansible-playbook or ansible-test is not installed (Debian ansible-core; scripts/deps.sh installs it)"
  exit 77
fi
status=0
timeout 900 "$here/sanity.sh" || status=1
timeout 900 /usr/bin/python3 "$here/integration.py" "$1" || status=1
exit $status
