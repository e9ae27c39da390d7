#!/usr/bin/env bash
# Non-blank lines of the tests against the rest of the repository at a revision (default HEAD):
# the rest's source files (code, build and script files), and the rest as a whole (with docs,
# profiles, captures and seed corpora). The tests are to stay within a third of the rest.
#   scripts/lines.sh [REV]
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-HEAD}
source_files='\.(cpp|h|c|hpp|cmake|sh|py|js|css|html)$|(^|/)CMakeLists\.txt$|^\.ci/run$'

nonblank() { # reads file names, prints the sum of their non-blank lines at $rev
    local total=0 f n
    while IFS= read -r f; do
        n=$(git show "$rev:$f" | grep -acv '^[[:space:]]*$' || true)
        total=$((total + n))
    done
    echo "$total"
}

files=$(git ls-tree -r --name-only "$rev")
tests=$(grep '^tests/' <<<"$files" | nonblank)
rest_source=$(grep -v '^tests/' <<<"$files" | grep -E "$source_files" | nonblank)
rest_all=$(grep -v '^tests/' <<<"$files" | nonblank)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f %%", 100 * a / b }'; }
echo "$(git rev-parse --short "$rev"): tests/ $tests non-blank lines;" \
    "the rest's source files $rest_source ($(ratio "$tests" "$rest_source")), the whole rest $rest_all ($(ratio "$tests" "$rest_all"))"
