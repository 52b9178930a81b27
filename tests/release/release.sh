#!/usr/bin/env bash
# scripts/release run in a clean clone of the committed HEAD must give, byte
# for byte, the trelmo.exe and the archive of a second build of the same
# commit in a differently named directory at another time: the exe the suite
# built, when scripts/test says it built one from a tree that is the commit
# (TRELMO_SUITE_EXE), packed by scripts/release --exe in a second clone;
# otherwise scripts/release in the second clone, one after the other. The
# archive holds exactly the six files, as committed (BUILDINFO naming the
# commit); SHA256SUMS checks out; and a tree with uncommitted changes is refused.
# shellcheck source=../e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

# Not a git checkout (an unpacked source archive): nothing to release from.
git -C "$repo_dir" rev-parse --verify -q HEAD >/dev/null || exit 77

first="$scratch/a-first"
second="$scratch/second/clone-b"
git clone -q "$repo_dir" "$first"
git clone -q "$repo_dir" "$second"
# The builds' own temporary directories stay in the scratch directory too.
export TMPDIR="$scratch"

# The suite's exe is the commit's only when nothing in the tree differs from it.
second_build=()
if [ -n "${TRELMO_SUITE_EXE:-}" ] && [ -z "$(git -C "$repo_dir" status --porcelain)" ]; then
  second_build=(--exe "$TRELMO_SUITE_EXE")
fi
for clone in "$first" "$second"; do
  name=$(basename "$clone")
  extra=()
  [ "$clone" = "$first" ] || extra=("${second_build[@]}")
  if ! "$clone/scripts/release" "${extra[@]}" >"$scratch/$name.out" 2>&1; then
    fail "scripts/release ${extra[*]} in $clone failed: $(tail -n 3 "$scratch/$name.out")"
    finish
  fi
done

version=$(sed -n 's/^project(trelmo VERSION \([0-9.]*\).*/\1/p' "$first/CMakeLists.txt")
archive="trelmo-$version-windows-x64.zip"
for file in "$archive" trelmo.exe trelmow.exe SHA256SUMS; do
  if [ ! -f "$first/dist/$file" ]; then
    fail "no dist/$file"
    finish
  fi
  cmp -s "$first/dist/$file" "$second/dist/$file" || fail "$file differs between the two builds"
done

(cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
expect_equal "files in SHA256SUMS" "$archive trelmo.exe trelmow.exe" "$(awk '{print $2}' "$first/dist/SHA256SUMS" | paste -sd' ')"

# Entries in a fixed order, each a plain 0644 file dated at the commit, with
# no extra fields, holding what the commit holds.
commit_time=$(git -C "$first" log -1 --format=%ct)
entries=$(python3 - "$first/dist/$archive" "$commit_time" <<'EOF'
import sys, time, zipfile
archive, commit_time = sys.argv[1], int(sys.argv[2])
stamp = time.gmtime(max(commit_time, 315532800))[:6]
stamp = stamp[:5] + (stamp[5] // 2 * 2,)
for entry in zipfile.ZipFile(archive).infolist():
    problems = []
    if entry.date_time != stamp:
        problems.append(f"dated {entry.date_time}, not {stamp}")
    if entry.external_attr >> 16 != 0o100644:
        problems.append(f"mode {entry.external_attr >> 16:o}")
    if entry.extra:
        problems.append("extra fields")
    print(entry.filename, *problems)
EOF
)
expect_equal "archive entries" "trelmo.exe trelmow.exe README.md LICENSE CHANGELOG.md BUILDINFO" \
  "$(paste -sd' ' <<<"$entries")"
mkdir "$scratch/unpacked"
python3 -m zipfile -e "$first/dist/$archive" "$scratch/unpacked"
for file in trelmo.exe trelmow.exe; do
  expect_bytes "$file in the archive" "$first/dist/$file" "$scratch/unpacked/$file"
done
expect_equal "BUILDINFO's first lines" "trelmo $version
commit $(git -C "$first" rev-parse HEAD)" "$(head -n 2 "$scratch/unpacked/BUILDINFO")"
grep -q '^  g++-mingw-w64-x86-64-posix=' "$scratch/unpacked/BUILDINFO" || fail "BUILDINFO names no compiler"
for file in README.md LICENSE CHANGELOG.md; do
  expect_bytes "$file in the archive" "$first/$file" "$scratch/unpacked/$file"
done

# A change not yet committed.
echo >>"$first/README.md"
if "$first/scripts/release" >"$scratch/dirty.out" 2>&1; then
  fail "scripts/release ran on a tree with uncommitted changes"
fi
grep -q "uncommitted changes" "$scratch/dirty.out" || fail "no word of the uncommitted changes: $(cat "$scratch/dirty.out")"

finish
