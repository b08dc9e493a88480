#!/usr/bin/env bash
# A throw-away box that boots this machine's own systemd, for the system tests. Sourced, it gives
#   box_unsupported        prints why this machine cannot boot a box (nothing when it can)
#   box_start LOG          boots one and waits until its systemd has started everything
#   box_run COMMAND...     runs a command inside it, as root, with a plain environment
#   box_stop               powers it off and removes every trace: processes, cgroup, folder
# Run as `box.sh inside DIR` (by box_start, as the first process of fresh namespaces), it sets up
# the box's root and becomes its systemd.
#
# Never boot systemd on the machine's own root: at boot it empties /tmp and starts the enabled
# services. The box's root is an overlay of / whose changes live in a tmpfs, with its own /proc,
# /dev, /run, /tmp and cgroup tree, in namespaces of its own (mount, pid, cgroup, network, host
# name, IPC); /sys and /proc/sys are read-only, and the units that would touch the kernel or the
# disk are masked. Its mounts exist only in its mount namespace, so they go with it.

BOX_DIR=""     # the empty folder on which the box mounts its tmpfs (in its own namespace)
BOX_CGROUP=""  # the box's cgroup, under the machine's cgroup2 hierarchy
BOX_SHELL=""   # the process that became the namespaces' unshare, as this machine sees it
BOX_INIT=""    # the box's systemd, as this machine sees it

# The units a box may start: the journal, the tmpfiles set-up of its own /run and /tmp, and the
# test's target. Everything else that sysinit.target and basic.target pull in is masked.
BOX_KEEP=" systemd-journald.service systemd-journald.socket systemd-journald-dev-log.socket
  systemd-journal-flush.service systemd-tmpfiles-setup.service "
# Masked whether or not they are pulled in here: they load modules, write kernel settings or
# the clock, repartition or remount disks, or wait for a console.
BOX_MASK="systemd-remount-fs.service systemd-sysctl.service systemd-modules-load.service
  kmod-static-nodes.service systemd-binfmt.service proc-sys-fs-binfmt_misc.automount
  systemd-udevd.service systemd-udev-trigger.service systemd-udev-settle.service
  systemd-hwdb-update.service systemd-random-seed.service systemd-timesyncd.service
  systemd-pstore.service systemd-repart.service systemd-firstboot.service
  systemd-machine-id-commit.service systemd-pcrphase.service systemd-pcrphase-sysinit.service
  systemd-boot-system-token.service systemd-tmpfiles-setup-dev.service ldconfig.service
  systemd-update-done.service systemd-journal-catalog-update.service emergency.service
  rescue.service console-getty.service getty@tty1.service systemd-ask-password-console.path
  systemd-ask-password-wall.path dbus.socket systemd-initctl.socket
  systemd-journald-audit.socket"

# The machine's cgroup2 hierarchy (/sys/fs/cgroup, or /sys/fs/cgroup/unified beside cgroup v1).
box_cgroup_base() {
  findmnt -n -t cgroup2 -o TARGET | head -n 1
}

box_unsupported() {
  local tool
  if (($(id -u) != 0)); then
    echo "it needs root"
    return
  fi
  for tool in unshare nsenter pivot_root findmnt mknod runuser; do
    command -v "$tool" >/dev/null || { echo "there is no $tool"; return; }
  done
  [[ -x /lib/systemd/systemd ]] || { echo "there is no /lib/systemd/systemd"; return; }
  grep -qw overlay /proc/filesystems || { echo "the kernel has no overlay file system"; return; }
  [[ -n "$(box_cgroup_base)" ]] || { echo "there is no cgroup2 hierarchy"; return; }
  unshare --pid --fork --mount --cgroup --net --uts --ipc --propagation private true 2>/dev/null ||
    echo "namespaces cannot be made here"
}

# Every process in the box's cgroup tree, one id a line.
box_processes() {
  [[ -n "$BOX_CGROUP" && -d "$BOX_CGROUP" ]] || return 0
  find "$BOX_CGROUP" -name cgroup.procs -exec cat {} +
}

box_run() {
  # Never on this machine's own root: the target must be in a mount namespace of its own.
  [[ -n "$BOX_INIT" && "$(readlink "/proc/$BOX_INIT/ns/mnt")" != "$(readlink /proc/self/ns/mnt)" ]] ||
    { echo "box: no box to run in" >&2; return 1; }
  # A session of its own: a signal to "process group 0" inside stays inside.
  nsenter -t "$BOX_INIT" -m -p -C -n -u -i -r -w setsid --wait \
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"
}

# Boots a box, its systemd's console going to LOG; fails, saying why, when it is not up in 30 s.
# Exit code 77 when the overlay cannot be mounted here.
box_start() {
  local log="$1" children state tries
  BOX_DIR="$(mktemp -d "${TMPDIR:-/tmp}/kelvo-box.XXXXXX")"
  BOX_CGROUP="$(box_cgroup_base)/${BOX_DIR##*/}"
  mkdir "$BOX_CGROUP"
  # The shell joins the box's cgroup before it becomes unshare, so the cgroup namespace is rooted
  # there and the box's systemd sees that cgroup as its whole tree. --kill-child: should unshare
  # die, the box dies with it.
  (echo "$BASHPID" >"$BOX_CGROUP/cgroup.procs" &&
    exec unshare --pid --fork --kill-child --mount --cgroup --net --uts --ipc \
      --propagation private bash "${BASH_SOURCE[0]}" inside "$BOX_DIR") </dev/null >"$log" 2>&1 &
  BOX_SHELL=$!
  for ((tries = 0; tries < 150; tries++)); do
    if ! kill -0 "$BOX_SHELL" 2>/dev/null; then
      wait "$BOX_SHELL"
      return
    fi
    if [[ -z "$BOX_INIT" ]]; then
      children="$(cat "/proc/$BOX_SHELL/task/$BOX_SHELL/children" 2>/dev/null)" || children=""
      BOX_INIT="${children%% *}"
    fi
    if [[ -n "$BOX_INIT" && "$(cat "/proc/$BOX_INIT/comm" 2>/dev/null)" == systemd ]]; then
      state="$(box_run systemctl is-system-running 2>/dev/null)" || true
      [[ "$state" == running || "$state" == degraded ]] && return 0
    fi
    sleep 0.2
  done
  echo "box: not up after 30 s (state: ${state:-none})" >&2
  return 1
}

# Safe to call at any point, and again.
box_stop() {
  local tries pid
  if [[ -n "$BOX_SHELL" ]] && kill -0 "$BOX_SHELL" 2>/dev/null; then
    [[ -n "$BOX_INIT" ]] && box_run timeout 10 systemctl poweroff --no-block >/dev/null 2>&1
    for ((tries = 0; tries < 100; tries++)); do
      kill -0 "$BOX_SHELL" 2>/dev/null || break
      sleep 0.2
    done
    # Not down in 20 s: ending the box's first process ends every process in its namespace.
    if kill -0 "$BOX_SHELL" 2>/dev/null; then
      [[ -n "$BOX_INIT" ]] && kill -KILL "$BOX_INIT" 2>/dev/null
      kill -KILL "$BOX_SHELL" 2>/dev/null
    fi
  fi
  [[ -n "$BOX_SHELL" ]] && wait "$BOX_SHELL" 2>/dev/null
  BOX_SHELL=""
  BOX_INIT=""
  if [[ -n "$BOX_CGROUP" && -d "$BOX_CGROUP" ]]; then
    # Nothing is left once the namespace's first process is gone; should anything be, it is
    # ended by its id before the cgroups go.
    for ((tries = 0; tries < 25; tries++)); do
      [[ -z "$(box_processes)" ]] && break
      for pid in $(box_processes); do kill -KILL "$pid" 2>/dev/null; done
      sleep 0.2
    done
    find "$BOX_CGROUP" -depth -type d -exec rmdir {} + 2>/dev/null
    [[ -d "$BOX_CGROUP" ]] && echo "box: could not remove the cgroup $BOX_CGROUP" >&2
  fi
  BOX_CGROUP=""
  # Only an empty folder on this machine: the box's mounts were in its own namespace.
  [[ -n "$BOX_DIR" ]] && { rmdir "$BOX_DIR" || echo "box: could not remove $BOX_DIR" >&2; }
  BOX_DIR=""
}

# ---- inside the box's namespaces, as their first process ----

box_fail() {
  echo "box: $*" >&2
  exit 1
}

# Binds SOURCE (by default TARGET itself) read-only on TARGET.
box_mount_read_only() {
  local target="$1" source="${2:-$1}"
  mount --bind "$source" "$target" || box_fail "cannot bind $source on $target"
  mount -o remount,bind,ro "$target" || box_fail "cannot make $target read-only"
}

# FSTYPE or OPTIONS of the mount at a path.
box_mount_field() {
  findmnt -n -o "$1" --mountpoint "$2"
}

box_make_root() {
  local dir="$1" root="$1/root" node name major minor
  mount -t tmpfs -o mode=0755,size=1g kelvo-box "$dir"
  mkdir "$dir/upper" "$dir/work" "$root"
  mount -t overlay -o "lowerdir=/,upperdir=$dir/upper,workdir=$dir/work" kelvo-box "$root" ||
    { echo "box: cannot mount an overlay of /" >&2; exit 77; }
  [[ "$(box_mount_field FSTYPE "$root")" == overlay ]] || box_fail "no overlay at $root"
  mount -t proc -o nosuid,nodev,noexec proc "$root/proc"
  box_mount_read_only "$root/proc/sys"
  [[ ! -e "$root/proc/sysrq-trigger" ]] || box_mount_read_only "$root/proc/sysrq-trigger"
  box_mount_read_only "$root/sys" /sys
  mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 "$root/sys/fs/cgroup"
  mount -t tmpfs -o mode=0755,nosuid,size=4m kelvo-box-dev "$root/dev"
  for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r name major minor <<<"$node"
    mknod -m 0666 "$root/dev/$name" c "$major" "$minor"
  done
  mkdir "$root/dev/pts" "$root/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  ln -s pts/ptmx "$root/dev/ptmx"
  ln -s /proc/self/fd "$root/dev/fd"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
  mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$root/run"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
  mkdir "$root/.old-root"
  cd "$root"
  pivot_root . .old-root
  cd /
  umount -l /.old-root
  rmdir /.old-root
  # systemd leaves propagation to a container's manager; it needs its mounts shared to hand a
  # service's credentials over from the helper that sets them up. These are fresh peer groups
  # of the box alone: nothing propagates to or from this machine's mounts.
  mount --make-rshared /
}

# Only after pivot_root, where every path, symbolic links included, is inside the box.
box_write_units() {
  local etc=/etc/systemd/system wants unit keep=" ${BOX_KEEP//$'\n'/ } "
  rm -f /etc/fstab
  : >/etc/fstab
  for wants in /lib/systemd/system/*.target.wants /etc/systemd/system/*.target.wants; do
    [[ -d "$wants" ]] || continue
    for unit in "$wants"/*; do
      unit="${unit##*/}"
      [[ "$keep" == *" $unit "* ]] || ln -sfn /dev/null "$etc/$unit"
    done
  done
  for unit in $BOX_MASK; do ln -sfn /dev/null "$etc/$unit"; done
  cat >"$etc/kelvo-box.target" <<'EOF'
[Unit]
Description=kelvo-shell system test box
Requires=basic.target
After=basic.target
EOF
}

box_inside() {
  set -euo pipefail
  local dir="$1"
  (($$ == 1)) || box_fail "not the first process of a pid namespace"
  [[ -d "$dir" && -z "$(ls -A "$dir")" ]] || box_fail "$dir is not an empty folder"
  box_make_root "$dir"
  [[ "$(box_mount_field FSTYPE /)" == overlay && "$(box_mount_field FSTYPE /tmp)" == tmpfs &&
    "$(box_mount_field FSTYPE /run)" == tmpfs && "$(box_mount_field OPTIONS /sys)" == ro,* &&
    "$(box_mount_field OPTIONS /proc/sys)" == ro,* ]] ||
    box_fail "not booting: / is not the box's overlay with its own /tmp and /run"
  box_write_units
  exec env -i container=kelvo-box /lib/systemd/systemd --unit=kelvo-box.target
}

if [[ "${BASH_SOURCE[0]}" == "$0" && "${1:-}" == inside ]]; then
  box_inside "$2"
fi
