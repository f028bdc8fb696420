#!/usr/bin/env bash
# packaging/version.sh in a repository of its own: a release tag and two later
# commits give three versions in Debian's order, the same in a clone without
# the tag and in an unpacked `git archive` tarball; the Debian changelog's
# newest entry becomes the newest version's, dated by its commit.
#   versions_follow_commits.sh <source folder>
set -euo pipefail
command -v git >/dev/null || { echo "SKIP: no git"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
repo=$work/repo
mkdir -p "$repo/packaging" "$repo/debian"
cp "$1/packaging/version.sh" "$repo/packaging/"
cp "$1/.gitattributes" "$repo/"
# The placeholder git archive fills in (in a tarball the copy is filled in).
echo '$Format:%H %ct %(describe:tags,match=v[0-9]*)$' >"$repo/packaging/archive-commit"
echo 'project(QMTaskScheduler2 VERSION 2.0 LANGUAGES CXX)' >"$repo/CMakeLists.txt"
printf '%s\n' 'qmtaskscheduler2 (2.0-1) unstable; urgency=medium' '' '  * Initial release.' '' \
    ' -- Ann <ann@example.org>  Mon, 07 Dec 2026 12:00:00 +0000' >"$repo/debian/changelog"
export GIT_AUTHOR_NAME=Ann GIT_AUTHOR_EMAIL=ann@example.org GIT_COMMITTER_NAME=Ann \
    GIT_COMMITTER_EMAIL=ann@example.org GIT_CONFIG_NOSYSTEM=1 HOME=$work
commit() { # <committer date, UTC>
    GIT_COMMITTER_DATE="$1 +0000" git -C "$repo" commit -q --allow-empty -m "at $1"
    git -C "$repo" rev-parse --short=7 HEAD
}
version() { bash "$1/packaging/version.sh" 2>/dev/null; }

git -C "$repo" init -q
git -C "$repo" add .
commit "2026-12-07 13:00:00" >/dev/null
git -C "$repo" tag v2.0
release=$(version "$repo")
one=$(commit "2026-12-08 09:08:07")
first=$(version "$repo")
two=$(commit "2026-12-08 09:08:09")
second=$(version "$repo")
git clone -q --no-tags --depth 1 "file://$repo" "$work/shallow"
mkdir "$repo/unpacked"
git -C "$repo" archive HEAD | tar -xmf - -C "$repo/unpacked"

status=0
check() { # <what> <found> <expected>
    if [ "$2" = "$3" ]; then echo "PASS: $1: $2"; else echo "FAIL: $1: '$2', not '$3'"; status=1; fi
}
check "the tagged commit" "$release" 2.0
check "a later commit" "$first" "2.0+git20261208.090807.$one"
check "the next commit" "$second" "2.0+git20261208.090809.$two"
check "a shallow clone without tags" "$(version "$work/shallow")" "$second"
check "a git archive tarball inside another repository" "$(version "$repo/unpacked")" "$second"
for order in "2.0-1 lt $first-1" "$first-1 lt $second-1" "$second-1 lt 2.0.1-1" "$second-1 lt 2.1-1"; do
    # shellcheck disable=SC2086 # the two versions and the relation
    dpkg --compare-versions $order && echo "PASS: $order" || { echo "FAIL: not $order"; status=1; }
done

bash "$repo/packaging/version.sh" --changelog "$repo/debian/changelog" >"$work/changelog" 2>/dev/null
check "the changelog's newest entry" "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" "$second-1"
check "its date, the commit's" "$(dpkg-parsechangelog -l "$work/changelog" -S Date)" \
    "Tue, 08 Dec 2026 09:08:09 +0000"
check "a second pass" "$(bash "$repo/packaging/version.sh" --changelog "$work/changelog" 2>/dev/null |
    cmp - "$work/changelog" && echo same)" same
exit $status
