# Sourced by the scripts that run Windows programs under wine: a run that
# can reach no serial port of the machine.
#
#  - wine_sandbox_enter SCRIPT ARGS...: re-runs SCRIPT in a mount namespace of
#    its own (as root, or root of a user namespace), where
#    RS485_WINE_NAMESPACE=1; then wine_sandbox_dev gives it a /dev without
#    /dev/ttyS*, ttyUSB* or ttyACM*, so that wine finds none to give a COM
#    name to, and a devpts of its own for the simulator's pseudo-terminals.
#  - wine_sandbox_prefix TEMPLATE RUN: a wine prefix of the run's own in
#    RUN/prefix, copied from TEMPLATE (made once, set to Windows 10).
#  - wine_sandbox_map_ports RUN NAME=PATH...: maps each COM name through
#    wine's registry; check_com_links stops the run when any COM name of the
#    prefix leads outside RUN.
#  - wine_sandbox_server: the run's own wineserver, ended at exit.
#  - wait_for WHAT COMMAND...: waits up to 10 s for what another process makes.
# Messages start with $sandbox_name.

sandbox_name=${sandbox_name:-wine}

wine_sandbox_enter() {
  local namespace=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || namespace=(unshare --map-root-user --mount --propagation private)
  exec "${namespace[@]}" env RS485_WINE_NAMESPACE=1 "$@"
}

wine_sandbox_dev() {
  # The machine's /dev is reached through a mount that is gone again
  # before wine starts.
  local real node
  real=$(mktemp -d)
  mount --rbind /dev "$real"
  mount -t tmpfs -o mode=755 rs485-dev /dev
  for node in null zero full random urandom tty; do
    [ -e "$real/$node" ] || continue
    if [ -L "$real/$node" ]; then
      cp -P "$real/$node" "/dev/$node"
    else
      : >"/dev/$node"
      mount --bind "$real/$node" "/dev/$node"
    fi
  done
  mkdir /dev/pts /dev/shm
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 rs485-pts /dev/pts
  ln -s pts/ptmx /dev/ptmx
  mount -t tmpfs -o mode=1777 rs485-shm /dev/shm
  ln -s /proc/self/fd /dev/fd
  ln -s /proc/self/fd/0 /dev/stdin
  ln -s /proc/self/fd/1 /dev/stdout
  ln -s /proc/self/fd/2 /dev/stderr
  umount -l "$real"
  rmdir "$real"
  if ls /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
    echo "$sandbox_name: serial ports left in the run's /dev" >&2
    exit 1
  fi
}

wine_sandbox_prefix() {
  local template=$1 run=$2 file
  export WINEPREFIX=$run/prefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko to install
  if [ ! -f "$template/system.reg" ]; then
    echo "$sandbox_name: making the wine prefix template (once per build folder)"
    rm -rf "$template"
    # wine makes the prefix, but not the folders above it.
    mkdir -p "$(dirname "$template")"
    WINEPREFIX=$template wineboot -i >/dev/null 2>&1
    WINEPREFIX=$template winecfg /v win10
    WINEPREFIX=$template wineserver -w
  fi
  # Hard links keep the copy quick and small (the prefix holds some 700 MB
  # of DLLs that no run changes); the registry, which every run writes, is
  # copied.
  cp -al "$template" "$WINEPREFIX"
  for file in "$WINEPREFIX"/*.reg; do
    rm -f "$file"
    cp "$template/$(basename "$file")" "$file"
  done
  rm -f "$WINEPREFIX"/dosdevices/com*
  # wine links the user's Documents, Desktop and the like to the home
  # folder: in the run's prefix they are folders of its own.
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm "$link"
      mkdir "$link"
    fi
  done
  sandbox_run=$run
}

check_com_links() {
  local link target
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -e "$link" ] || [ -L "$link" ] || continue
    target=$(readlink "$link")
    case "$target" in
      "$sandbox_run"/*) ;;
      *)
        echo "$sandbox_name: $link leads to $target, outside $sandbox_run: stopping before any program runs" >&2
        exit 1
        ;;
    esac
  done
}

wine_sandbox_map_ports() {
  local run=$1 pair
  shift
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    for pair in "$@"; do printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"; done
  } >"$run/ports.reg"
  (cd "$run" && wine regedit /S ports.reg)
  wineserver -w
  check_com_links
}

# In the foreground of a background job: not a session leader, so a
# pseudo-terminal never becomes its controlling terminal.
wine_sandbox_server() {
  wineserver -f -p &
  sandbox_server_pid=$!
}

wine_sandbox_stop_server() {
  if [ -n "${sandbox_server_pid:-}" ]; then
    wineserver -k 2>/dev/null || true
    wait "$sandbox_server_pid" 2>/dev/null || true
    sandbox_server_pid=
  fi
}

wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 500); do
    if "$@"; then return 0; fi
    sleep 0.02
  done
  echo "$sandbox_name: gave up waiting for $what" >&2
  return 1
}
