#!/usr/bin/env bash
# The version of the source tree this script lies in, from git:
#   a commit tagged vX (a release)           X
#   a later commit                           X+git<YYYYMMDD.HHMMSS>.<hash>
#                                            (the commit's time in UTC, 7 digits of its hash)
#   a clone without a v* tag (shallow)       the version of project() in CMakeLists.txt
#                                            +git<date>.<hash>, said on standard error
#   no git: a tarball of `git archive`       as above, from packaging/archive-commit,
#                                            which git archive fills in
#   neither                                  project()'s version, said on standard error
# The commit's time, not the clock's, keeps builds reproducible.
#   version.sh                      prints the version
#   version.sh --changelog <file>   prints the Debian changelog with its newest
#                                   entry made this version's
#   version.sh --watch              prints the git files whose change may change it
set -euo pipefail

root=$(cd -P "$(dirname "$0")/.." && pwd)

# Only the tree's own repository counts: an unpacked tarball inside another
# repository is no commit of that one. Root building a user's tree passes
# git's ownership check for this tree alone.
in_git() {
    local top
    top=$(git -c safe.directory="$root" -C "$root" rev-parse --show-toplevel 2>/dev/null) &&
        [ "$(cd -P "$top" && pwd)" = "$root" ]
}
git_() { git -c safe.directory="$root" -C "$root" "$@"; }

project_version() {
    sed -n 's/^project([A-Za-z0-9_]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
}

# From a commit's full hash, time (seconds since 1970) and `git describe
# --tags` (empty when no tag is reachable).
version_of() {
    local hash=$1 time=$2 described=$3 base
    if [[ $described =~ ^v([0-9][^ ]*)-[0-9]+-g[0-9a-f]+$ ]]; then
        base=${BASH_REMATCH[1]}
    elif [[ $described =~ ^v([0-9][^ ]*)$ ]]; then
        echo "${BASH_REMATCH[1]}"
        return
    else
        base=$(project_version)
        echo "version: no release tag (v*) in this clone: counting from $base of CMakeLists.txt" >&2
    fi
    echo "$base+git$(TZ=UTC0 date -d "@$time" +%Y%m%d.%H%M%S).${hash:0:7}"
}

commit_fields() {
    if in_git && git_ rev-parse -q --verify HEAD >/dev/null; then
        echo "$(git_ log -1 --format='%H %ct') $(git_ describe --tags --match 'v[0-9]*' 2>/dev/null || true)"
    elif [ -f "$root/packaging/archive-commit" ]; then
        # In a checkout the file holds git archive's placeholder.
        grep -v '^\$Format' "$root/packaging/archive-commit" || true
    fi
}

version() {
    local fields
    fields=$(commit_fields || true)
    if [ -n "$fields" ]; then
        # shellcheck disable=SC2086 # hash, time and the description, split
        version_of $fields ""
    else
        echo "version: neither git nor an archive's commit: $(project_version) of CMakeLists.txt" >&2
        project_version
    fi
}

case "${1:-}" in
"")
    version
    ;;
--watch)
    if in_git; then
        for f in HEAD logs/HEAD packed-refs refs/tags; do
            path=$(git_ rev-parse --path-format=absolute --git-path "$f")
            [ ! -e "$path" ] || echo "$path"
        done
    fi
    ;;
--changelog)
    # The newest entry becomes this version's, dated by its commit: the
    # package of a build is the first of its version.
    changelog=$2
    version=$(version)
    newest=$(dpkg-parsechangelog -l "$changelog" -S Version)
    fields=$(commit_fields || true)
    if [ "${newest%-*}" = "$version" ] || [ -z "$fields" ]; then
        cat "$changelog"
        exit 0
    fi
    read -r hash time _ <<<"$fields"
    awk -v head="$(dpkg-parsechangelog -l "$changelog" -S Source) ($version-1) unstable; urgency=medium" \
        -v note="  * Snapshot of commit ${hash:0:12}, after ${newest%-*}." \
        -v trailer=" -- $(dpkg-parsechangelog -l "$changelog" -S Maintainer)  $(LC_ALL=C TZ=UTC0 date -R -d "@$time")" '
        NR == 1 { print head; next }
        done { print; next }
        /^$/ { blanks++; next }
        /^ -- / { print note; print ""; print trailer; done = 1; next }
        { for (; blanks > 0; blanks--) print ""; print }' "$changelog"
    ;;
*)
    echo "usage: version.sh [--changelog <debian/changelog> | --watch]" >&2
    exit 2
    ;;
esac
