"""The demonstration the README starts with runs to its end, and what it checks
itself (played and previewed samples against the document's) holds."""
import os
import pathlib
import subprocess
import sys

DEMO = pathlib.Path(__file__).resolve().parents[2] / "examples" / "demo.py"


def test_the_demonstration_runs_to_the_end_and_its_own_checks_hold(tmp_path):
    env = dict(os.environ, TMPDIR=str(tmp_path))
    run = subprocess.run([sys.executable, str(DEMO)], env=env, capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    assert "Output kept in" in run.stdout
    assert "DIFFERENT" not in run.stdout
