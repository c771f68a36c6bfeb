# Minimal Debian roots made with mmdebstrap (variant minbase) from the host's Debian
# mirror, used in a mount namespace of their own and cleaned up on every exit, Ctrl-C
# and TERM included. Sourced by scripts/fresh-test (a Debian 12 root per run) and
# scripts/test-windows (a Debian 13 root with Wine, kept between runs).
#
#   root_init NAME "$0" "$@"         messages say NAME; re-executes the script in a mount
#                                    namespace of its own (needs root); sets the traps
#   root_sources SUITE               root_source_list: the host's mirror for SUITE
#   root_make SUITE DIR PACKAGES...  a new root in DIR (removed on exit unless kept)
#   root_cached SUITE CACHE PACKAGES...
#                                    root_dir: CACHE/SUITE-<hash of the packages>, made
#                                    once; roots of older package lists are removed
#   root_mount DIR                   proc, sys, dev, dev/pts; a fresh /dev/shm and /tmp
#   root_bind FOLDER DIR             FOLDER at the same path inside the root DIR
#   root_run DIR COMMAND             COMMAND in bash in DIR, with a clean environment
#   root_fail TEXT                   one line on stderr, exit 1
# A failure names what failed in one line. Callers may add to root_on_exit (a command).

root_fail() {
  echo "$root_name: $*" >&2
  exit 1
}

root_init() {
  root_name=$1
  shift
  [ "$(id -u)" = 0 ] || root_fail "must run as root (it makes a Debian root with mmdebstrap --mode=root, mounts and chroots)"
  # All mounts in a namespace of their own: they vanish with the last process in it.
  # Inside another root (a chroot), / must be a mount point to be made private.
  if [ -z "${FW_ROOT_NAMESPACE:-}" ]; then
    FW_ROOT_NAMESPACE=1 exec unshare --mount --propagation private "$@"
    root_fail "could not make a mount namespace (unshare --mount)"
  fi
  unset FW_ROOT_NAMESPACE
  root_dirs=()   # every root in use: its processes are stopped and its mounts undone on exit
  root_temps=()  # folders removed on exit
  root_child=""
  root_on_exit=""
  trap root_cleanup EXIT
  trap 'echo "$root_name: interrupted" >&2; exit 130' INT TERM
}

root_need_mmdebstrap() {
  command -v mmdebstrap >/dev/null && return
  echo "== installing mmdebstrap"
  local out install=(apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends mmdebstrap)
  out=$(export DEBIAN_FRONTEND=noninteractive; { "${install[@]}" || { apt-get -o DPkg::Lock::Timeout=600 update -qq &&
    "${install[@]}"; }; } 2>&1 </dev/null) ||
    root_fail "could not install the package mmdebstrap: $(grep -m1 '^E:' <<<"$out" || tail -n 1 <<<"$out")"
}

# The host's Debian sources (main, updates, security) as apt knows them, for SUITE:
# the host's own release is renamed to SUITE, so the same mirror serves both.
root_sources() {
  local suite=$1 host
  host=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  mapfile -t root_source_list < <(apt-get indextargets --format '$(ORIGIN) $(CODENAME) $(SITE)' \
    'Created-By: Packages' 2>/dev/null | awk -v host="$host" -v suite="$suite" \
    '$1 == "Debian" && host != "" && index($2, host) == 1 { print "deb " $3 " " suite substr($2, length(host) + 1) " main" }' |
    sort -u)
  if [ ${#root_source_list[@]} -eq 0 ]; then
    echo "$root_name: the host's apt knows no Debian mirror; using deb.debian.org"
    root_source_list=("deb http://deb.debian.org/debian $suite main" "deb http://deb.debian.org/debian $suite-updates main"
      "deb http://deb.debian.org/debian-security $suite-security main")
  fi
}

# Fails with one line unless the first source's mirror serves SUITE.
root_check_mirror() {
  local suite=$1 site out check
  site=${root_source_list[0]#deb }
  site=${site%% *}
  check=$(mktemp -d) || root_fail "cannot make a temporary folder"
  out=$(/usr/lib/apt/apt-helper download-file "$site/dists/$suite/InRelease" "$check/InRelease" 2>&1)
  local status=$?
  rm -rf "$check"
  [ $status -eq 0 ] || root_fail "the Debian mirror $site does not serve $suite (network failure, or no such suite?):" \
    "$(grep -m1 '^E:' <<<"$out" || tail -n 1 <<<"$out")"
}

root_make() {
  local suite=$1 dir=$2 started=$SECONDS
  shift 2
  root_need_mmdebstrap
  root_sources "$suite"
  root_check_mirror "$suite"
  local packages=("$@")
  # an https mirror needs the certificates inside too
  [[ "${root_source_list[*]}" == *https://* ]] && packages+=(ca-certificates)
  local include=()
  [ ${#packages[@]} -gt 0 ] && include=("--include=$(IFS=,; echo "${packages[*]}")")
  echo "== making a minimal Debian $suite root in $dir from ${root_source_list[*]}"
  root_dirs+=("$dir")
  root_temps+=("$dir")
  # dpkg need not sync a root made for tests
  if ! root_run_bg mmdebstrap --mode=root --variant=minbase --dpkgopt=force-unsafe-io --quiet "${include[@]}" \
    "$suite" "$dir" "${root_source_list[@]}" 2>"$dir.log"; then
    root_fail "mmdebstrap could not make the Debian $suite root: $(grep -m1 '^E:' "$dir.log" || tail -n 1 "$dir.log")"
  fi
  rm -f "$dir.log"
  echo "   made in $((SECONDS - started)) s"
}

root_cached() {
  local suite=$1 cache=$2 key
  shift 2
  key=$(printf '%s\n' "$suite" "$@" | sort | sha256sum | cut -c1-12)
  root_dir=$cache/$suite-$key
  root_dirs+=("$root_dir")
  [ -f "$root_dir/.complete" ] && return
  mkdir -p "$cache" || root_fail "cannot make $cache"
  local old
  for old in "$cache/$suite"-*; do  # older package lists, and what an interrupted run left
    [ -d "$old" ] && root_remove "$old"
  done
  root_make "$suite" "$root_dir.partial" "$@"
  local bytes
  bytes=$(du -sb "$root_dir.partial" | cut -f1)
  touch "$root_dir.partial/.complete"
  mv "$root_dir.partial" "$root_dir" || root_fail "cannot rename $root_dir.partial"
  root_temps=("${root_temps[@]/#$root_dir.partial/}")
  echo "   $((bytes / 1048576)) MiB, kept in $root_dir while its package list stays the same"
}

root_mount_one() {
  local out
  out=$(mount "$@" 2>&1) || root_fail "could not mount ${*: -2:1} on ${*: -1}: $out"
}

root_mount() {
  local dir=$1
  # the root a mount point of its own, so that a mount namespace can be made inside it
  root_mount_one --bind "$dir" "$dir"
  root_mount_one -t proc proc "$dir/proc"
  root_mount_one -t sysfs sysfs "$dir/sys"
  root_mount_one --bind /dev "$dir/dev"
  root_mount_one --bind /dev/pts "$dir/dev/pts"
  root_mount_one -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir/dev/shm"
  root_mount_one -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir/tmp"
}

root_bind() {
  mkdir -p "$2$1" || root_fail "cannot make $2$1"
  root_mount_one --bind "$1" "$2$1"
}

# Runs a command in the background, so that a signal reaches the trap at once.
root_run_bg() {
  "$@" &
  root_child=$!
  wait "$root_child"
  local status=$?
  root_child=""
  return $status
}

root_run() {
  root_run_bg chroot "$1" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb ${root_env:-} /bin/bash -c "$2" </dev/null
}

# Every process whose root is DIR or a root inside it: TERM, then KILL what is left.
root_stop_processes() {
  local dir signal pid pids process_root
  dir=$(readlink -f "$1")
  for signal in TERM KILL; do
    pids=()
    for pid in /proc/[0-9]*; do
      process_root=$(readlink "$pid/root" 2>/dev/null)
      [[ "$process_root" == "$dir" || "$process_root" == "$dir"/* ]] && pids+=("${pid#/proc/}")
    done
    [ ${#pids[@]} -eq 0 ] && return 0
    kill -s "$signal" "${pids[@]}" 2>/dev/null
    sleep 1
  done
}

root_mounts_under() {
  awk -v dir="$(readlink -f "$1")" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

# Undoes DIR's mounts; 1 (with a message) if any stays.
root_unmount() {
  local point
  for point in $(root_mounts_under "$1"); do
    umount "$point" 2>/dev/null || umount -l "$point" 2>/dev/null
  done
  [ -z "$(root_mounts_under "$1")" ] && return 0
  echo "$root_name: could not unmount $(root_mounts_under "$1" | tr '\n' ' '); $1 is left in place" >&2
  return 1
}

# Removes a root, never while anything is mounted in it (a bound folder would go too).
root_remove() {
  root_stop_processes "$1"
  root_unmount "$1" && rm -rf --one-file-system "$1"
}

root_cleanup() {
  trap '' INT TERM
  [ -n "$root_child" ] && kill "$root_child" 2>/dev/null && wait "$root_child" 2>/dev/null
  [ -n "$root_on_exit" ] && eval "$root_on_exit"
  local dir
  for dir in "${root_dirs[@]}"; do
    [ -d "$dir" ] && root_stop_processes "$dir" && root_unmount "$dir"
  done
  for dir in "${root_temps[@]}"; do
    [ -n "$dir" ] && [ -e "$dir" ] && root_remove "$dir"
    rm -f "$dir.log"
  done
}
