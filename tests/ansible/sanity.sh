#!/bin/bash
# ansible-test sanity for the collection, offline: the tests that need no
# Python packages beyond Debian's. ansible-test keeps a virtual environment
# per test and installs pinned packages into it with pip from the network;
# here each such environment is made beforehand over the system's Python
# (python3-pycodestyle, yamllint, python3-voluptuous, python3-yaml,
# python3-jinja2), so ansible-test finds it ready and installs nothing.
# Left out: pylint (needs the pinned pylint and astroid of its release),
# import (installs the collection's requirements into a fresh virtual
# environment, which needs pip), ansible-doc and runtime-metadata
# (ansible-test installs its own copy of the controller's requirements);
# ansible-doc is run by run.sh against the built tarball instead.
set -u
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)/ansible/quillon/printers
tests=${QUILLON_SANITY_TESTS:-"validate-modules pep8 yamllint compile ignores action-plugin-docs changelog empty-init future-import-boilerplate metaclass-boilerplate line-endings no-assert no-basestring no-dict-iteritems no-get-exception no-illegal-filenames no-main-display no-smart-quotes no-unicode-literals replace-urlopen shebang symlinks use-argspec-type-path use-compat-six"}
python=/usr/bin/python3
pyver=$($python -c 'import sys; print("%d.%d" % sys.version_info[:2])')

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-sanity.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ansible_collections/quillon" "$work/home"
cp -r "$src" "$work/ansible_collections/quillon/printers"
rm -rf "$work/ansible_collections/quillon/printers/tests/output"
cd "$work/ansible_collections/quillon/printers" || exit 1
export HOME=$work/home
export PATH=/usr/bin:/bin:/usr/sbin:/sbin

# A virtual environment over the system's Python where ansible-test wants one.
seed_venv() {
  local dir=$1
  rm -rf "$dir"
  $python -m venv --system-site-packages --without-pip "$dir" || return 1
  echo '[]' >"$dir/meta.install.json"
  $python -c 'import json; import yaml; print(json.dumps(getattr(yaml, "__with_libyaml__", False)))' \
    >"$dir/meta.yaml.json"
  touch "$dir/marker.txt"
}

status=0
for t in $tests; do
  for attempt in 1 2; do
    out=$(timeout 300 ansible-test sanity --python "$pyver" --color no --test "$t" 2>&1)
    rc=$?
    venv=$(sed -n 's/^FATAL: Python [0-9.]* at "\(.*\)\/bin\/python" does not have pip available.*/\1/p' <<<"$out")
    if [ "$attempt" -eq 1 ] && [ -n "$venv" ]; then
      seed_venv "$venv" || break
      continue
    fi
    break
  done
  if [ $rc -eq 0 ]; then
    echo "sanity $t: passed"
  else
    echo "sanity $t: FAILED (exit $rc)"
    echo "$out" | grep -v '^WARNING: ' | tail -30
    status=1
  fi
done
exit $status
