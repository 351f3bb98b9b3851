#!/usr/bin/env bash
# lintian_test.sh SCRATCH: lintian's verdict on the .deb that deb_test.sh made
# in SCRATCH: no error and no warning (informational tags are printed, not
# failed). Exit 77, a skip, without lintian.
set -euo pipefail
command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
deb=$(ls "$1"/vantrel_*.deb)
lintian --fail-on error,warning --display-info "$deb"
