#!/usr/bin/env bash
# Fails on a relative link in README.md, docs/*.md (and sim/README.md, if there) that points to a
# file or directory that does not exist, or to a heading anchor ("file.md#some-heading", "#x")
# that the target Markdown file does not have (GitHub's heading slugs). Links with a scheme
# (https:, mailto:) are not checked. Inline links and images, [text](target), and reference
# definitions, [label]: target, are read; text inside code spans and code blocks is not.
#
#   scripts/check-links.sh [REPO]
set -euo pipefail
repo=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$repo"

files=(README.md docs/*.md)
[ -e sim/README.md ] && files+=(sim/README.md)

# Heading slugs of a Markdown file, one per line: lower case, punctuation dropped, blanks to
# hyphens, repeats numbered (-1, -2) as GitHub does.
slugs() {
    awk '
        /^```/ { fence = !fence; next }
        fence { next }
        /^#+[ \t]/ {
            s = $0
            sub(/^#+[ \t]+/, "", s); sub(/[ \t#]+$/, "", s)
            s = tolower(s)
            gsub(/`/, "", s)
            gsub(/[^a-z0-9 _\200-\377-]/, "", s)
            gsub(/ /, "-", s)
            n = seen[s]++
            print (n ? s "-" n : s)
        }' "$1"
}

# Link targets of a Markdown file: "LINE TARGET" per link, code left out.
targets() {
    awk '
        /^```/ { fence = !fence; next }
        fence || /^    / { next }
        {
            line = $0
            gsub(/`[^`]*`/, "", line)
            if (match(line, /^ {0,3}\[[^]]+\]:[ \t]+[^ \t]+/)) {
                t = line; sub(/^ {0,3}\[[^]]+\]:[ \t]+/, "", t); sub(/[ \t].*/, "", t)
                print NR, t
            }
            while (match(line, /\]\([^) \t]+/)) {
                print NR, substr(line, RSTART + 2, RLENGTH - 2)
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

bad=0
checked=0
for f in "${files[@]}"; do
    [ -e "$f" ] || continue
    dir=$(dirname "$f")
    while read -r line target; do
        case $target in
            *:*) [[ $target == *://* || $target == mailto:* ]] && continue ;;
        esac
        checked=$((checked + 1))
        path=${target%%#*}
        anchor=
        [[ $target == *#* ]] && anchor=${target#*#}
        if [ -n "$path" ]; then
            resolved=$dir/$path
            if [ ! -e "$resolved" ]; then
                echo "$f:$line: link to $target: no such file" >&2
                bad=1
                continue
            fi
        else
            resolved=$f
        fi
        if [ -n "$anchor" ] && [[ $resolved == *.md ]] && ! slugs "$resolved" | grep -qxF -- "$anchor"; then
            echo "$f:$line: link to $target: $resolved has no heading #$anchor" >&2
            bad=1
        fi
    done < <(targets "$f")
done
[ $bad -eq 0 ] || exit 1
echo "check-links: $checked relative links in ${#files[@]} files, all found"
