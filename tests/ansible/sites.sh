# shellcheck shell=bash
# Sourced by the Ansible tests and the benchmark: simulated sites, each a network namespace
# of its own with its own device simulator and SSH server, reached by Ansible over SSH.
#   sites_root                   whether this is real root, which sshd needs
#   sites_init WORK BUILD_DIR    keys, sshd and Ansible configuration under WORK
#   start_site N DEVICES [DEVSIM_OPTIONS...]
#                                site N: devices 02:56:54:0N:00:01... on 127.1.1.10... and
#                                sshd on 127.0.0.1:22, in a namespace of its own; its
#                                simulator logs to WORK/devsim-N.log
#   stop_site N                  ends what start_site N started, by process id
#   ansible_inventory DIR DEVICES N...
#                                Ansible's inventory of those sites (group "sites"); a site
#                                not started is a site host that is down
#   setup_count N                setup commands site N's devices received so far
#   in_site N COMMAND...         runs a command in site N's namespace (site_netns N: its path)
# A site host's only interface is its loopback, where the simulator's devices are (veltroctl
# takes a non-loopback interface as the host address when there is one). SSH reaches its
# sshd through a ProxyCommand that enters the namespace; authentication, the transfer of the
# modules and an unreachable host are Ansible's and OpenSSH's own. Needs real root: sshd
# drops its privileges to its own user.

declare -A site_pids
sites_work=
sites_build=

# Whether this is real root, not root mapped in a user namespace: sshd changes to its own
# user, which only real root can.
sites_root() {
  grep -qE '^ +0 +0 +4294967295$' /proc/self/uid_map && return 0
  echo "the simulated sites need root: sshd changes to its own user" >&2
  return 1
}

sites_init() {
  sites_work=$1
  sites_build=$2
  # sshd wants its privilege separation folder; a tmpfs in this test's own mount namespace
  # gives it one without touching the machine's /run.
  if [ ! -d /run/sshd ]; then
    mount -t tmpfs -o mode=0755 tmpfs /run
    mkdir -m 0755 /run/sshd
  fi
  ssh-keygen -q -t ed25519 -N '' -f "$sites_work/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$sites_work/client_key"
  cp "$sites_work/client_key.pub" "$sites_work/authorized_keys"
  cat >"$sites_work/sshd_config" <<EOF
HostKey $sites_work/host_key
AuthorizedKeysFile $sites_work/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PrintMotd no
Subsystem sftp internal-sftp
EOF
  mkdir -p "$sites_work/cp" "$sites_work/local" "$sites_work/remote"
  cat >"$sites_work/ansible.cfg" <<EOF
[defaults]
host_key_checking = False
retry_files_enabled = False
interpreter_python = /usr/bin/python3
local_tmp = $sites_work/local
remote_tmp = $sites_work/remote
collections_path = $sites_work/collections
[ssh_connection]
control_path_dir = $sites_work/cp
ssh_args = -o ControlMaster=auto -o ControlPersist=60s -o UserKnownHostsFile=/dev/null
  -o StrictHostKeyChecking=no -o ConnectTimeout=5 -o LogLevel=ERROR
EOF
  export ANSIBLE_CONFIG=$sites_work/ansible.cfg
  # The collection as ansible-galaxy would install it.
  mkdir -p "$sites_work/collections/ansible_collections/veltro"
  ln -s "$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../ansible")" \
    "$sites_work/collections/ansible_collections/veltro/fleet"
}

# The network namespace of site N.
site_netns() { echo "/proc/${site_pids[$1, ns]:-0}/ns/net"; }

# Runs a command in site N's namespace.
in_site() {
  local n=$1
  shift
  nsenter --net="$(site_netns "$n")" "$@"
}

start_site() {
  local n=$1 devices=$2
  shift 2
  unshare --net sleep infinity &
  site_pids[$n, ns]=$!
  until [ "$(readlink "/proc/${site_pids[$n, ns]}/ns/net")" != "$(readlink /proc/self/ns/net)" ]; do
    sleep 0.01
  done
  in_site "$n" ip link set lo up
  local i
  for i in $(seq "$devices"); do
    printf 'mac=02-56-54-%02X-%02X-%02X\n' "$n" $((i >> 8)) $((i & 255))
  done >"$sites_work/devsim-$n.conf"
  # nsenter itself, not a function's subshell, so that $! is the program to stop.
  nsenter --net="$(site_netns "$n")" "$sites_build/tools/devsim/veltro-devsim" \
    --config "$sites_work/devsim-$n.conf" --base 127.1.1.10 "$@" >"$sites_work/devsim-$n.log" 2>&1 &
  site_pids[$n, devsim]=$!
  nsenter --net="$(site_netns "$n")" /usr/sbin/sshd -D -e -f "$sites_work/sshd_config" \
    -o "ListenAddress=127.0.0.1" -o "PidFile=$sites_work/sshd-$n.pid" 2>"$sites_work/sshd-$n.log" &
  site_pids[$n, sshd]=$!
  for _ in $(seq 100); do
    grep -qs "devices ready" "$sites_work/devsim-$n.log" &&
      in_site "$n" timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/22" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "site $n did not start:" >&2
  cat "$sites_work/devsim-$n.log" "$sites_work/sshd-$n.log" >&2
  return 1
}

stop_site() {
  local n=$1 what
  for what in sshd devsim ns; do
    [ -n "${site_pids[$n, $what]:-}" ] || continue
    kill "${site_pids[$n, $what]}" 2>/dev/null || true
    wait "${site_pids[$n, $what]}" 2>/dev/null || true
    unset "site_pids[$n, $what]"
  done
}

# ansible_inventory DIR DEVICES N... : Ansible's inventory in DIR: the hosts site-N with the
# veltroctl that was built; per site its devices, named SN-Press-I (host variables); the baud
# rate every device gets (group variables).
ansible_inventory() {
  local dir=$1 devices=$2 n i
  shift 2
  mkdir -p "$dir/group_vars" "$dir/host_vars"
  printf 'veltro_settings:\n  baud_rate: 9600\n' >"$dir/group_vars/sites.yml"
  {
    echo "sites:"
    echo "  vars:"
    echo "    ansible_user: root"
    echo "    ansible_ssh_private_key_file: $sites_work/client_key"
    echo "    veltro_veltroctl: $sites_build/cli/veltroctl"
    echo "  hosts:"
    for n in "$@"; do
      echo "    site-$n:"
      # A name of this namespace's own: a restarted site gets no SSH connection of the last.
      echo "      ansible_host: site-$n.ns${site_pids[$n, ns]:-0}"
      echo "      ansible_ssh_common_args: >-"
      echo "        -o ProxyCommand=\"nsenter --net=$(site_netns "$n")"
      echo "        socat - TCP:127.0.0.1:22\""
    done
  } >"$dir/hosts.yml"
  for n in "$@"; do
    {
      echo "veltro_devices:"
      for i in $(seq "$devices"); do
        printf '  - mac: "02:56:54:%02x:%02x:%02x"\n    name: S%d-Press-%d\n' "$n" $((i >> 8)) \
          $((i & 255)) "$n" "$i"
      done
    } >"$dir/host_vars/site-$n.yml"
  done
}

setup_count() {
  grep -c "<- setup command" "$sites_work/devsim-$1.log" || true
}
