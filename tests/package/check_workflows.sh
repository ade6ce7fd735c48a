#!/usr/bin/env bash
# Checks what each step of a GitHub workflow gives the action it uses:
# every key under "with:" must be an input that the action declares, so
# that a misspelt one ("reff:", "if-no-files-fond:") fails here, offline,
# rather than being ignored on a maintainer's first push. The inputs are
# those of the actions' own action.yml at the versions the workflow names;
# an action not listed here fails too, until its inputs are added.
# Exit status 0 only when every FILE passes. Needs python3 with PyYAML.
# Usage: check_workflows.sh FILE...
set -u
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }
python3 - "$@" <<'EOF'
import sys

import yaml

# The inputs each action declares in its action.yml, by name@major, read
# in each action's own repository at that version's tag.
INPUTS = {
    "actions/checkout@v7": {
        "repository", "ref", "token", "ssh-key", "ssh-known-hosts", "ssh-strict", "ssh-user",
        "persist-credentials", "path", "clean", "filter", "sparse-checkout", "sparse-checkout-cone-mode",
        "fetch-depth", "fetch-tags", "show-progress", "lfs", "submodules", "set-safe-directory",
        "github-server-url", "allow-unsafe-pr-checkout",
    },
    "actions/upload-artifact@v7": {
        "name", "path", "if-no-files-found", "retention-days", "compression-level", "overwrite",
        "include-hidden-files", "archive",
    },
    "actions/download-artifact@v8": {
        "name", "artifact-ids", "path", "pattern", "merge-multiple", "github-token", "repository", "run-id",
        "skip-decompress", "digest-mismatch",
    },
    "cygwin/cygwin-install-action@v6": {
        "platform", "packages", "install-dir", "check-sig", "pubkeys", "site", "add-to-path",
        "allow-test-packages", "check-hash", "check-installer-sig", "work-vol",
    },
    "msys2/setup-msys2@v2": {
        "msystem", "path-type", "update", "install", "pacboy", "release", "location",
        "platform-check-severity", "cache",
    },
}

failures = 0
for name in sys.argv[1:]:
    try:
        with open(name, encoding="utf-8") as file:
            workflow = yaml.safe_load(file)
    except (OSError, yaml.YAMLError) as error:
        print(f"{name}: {error}")
        failures += 1
        continue
    for job_name, job in (workflow.get("jobs") or {}).items():
        for number, step in enumerate(job.get("steps") or [], 1):
            uses = step.get("uses")
            where = f"{name}: job {job_name}, step {number} ({step.get('name', uses)})"
            if uses is None:
                if "with" in step:
                    print(f"{where}: 'with' without 'uses'")
                    failures += 1
                continue
            action, _, ref = uses.partition("@")
            declared = INPUTS.get(f"{action}@{ref.split('.')[0]}")
            if declared is None:
                print(f"{where}: {uses} is not one whose inputs this check knows; add them")
                failures += 1
                continue
            for key in step.get("with") or {}:
                if key not in declared:
                    print(f"{where}: {uses} has no input '{key}'")
                    failures += 1
sys.exit(1 if failures else 0)
EOF
