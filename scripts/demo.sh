#!/usr/bin/env bash
# Sets up the machine, builds, and runs the demonstration through the Python client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
PYTHONPATH=build/python /usr/bin/python3 examples/demo.py "$@"
