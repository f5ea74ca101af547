# Sourced by metafile-likeness.sh and metafile-bench.sh: the corpus's metafiles, the build lock,
# and finding vistel-render.

# The metafiles of CORPUS/emf and CORPUS/wmf as paths relative to CORPUS, sorted, one a line (the
# reference pictures beside them are PNG and are left out).
metafile_list() {
  (cd "$1" && find -L emf wmf -type f \( -iname '*.emf' -o -iname '*.wmf' \) | LC_ALL=C sort)
}

# Whether an ancestor of this shell already holds the machine's build lock (the scripts were
# started as `/work/buildlock bench/...`): flock does not nest across processes, so taking it
# again would wait for ourselves until buildlock's time limit ends it.
inside_build_lock() {
  local pid=$$ cmd
  while [[ $pid -gt 1 ]]; do
    cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
    [[ $cmd == *flock*build.lock* ]] && return 0
    pid=$(awk '/^PPid:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 1
    [[ -n $pid ]] || return 1
  done
  return 1
}

# The command that runs a heavy step under the build lock, short enough steps for its 15-minute
# limit: BENCH_LOCK if set (empty: no lock), else /work/buildlock where it exists and is not
# already held by an ancestor.
lock_prefix() {
  if [[ -n ${BENCH_LOCK+set} ]]; then
    printf '%s' "$BENCH_LOCK"
  elif [[ -x /work/buildlock ]] && ! inside_build_lock; then
    printf '%s' /work/buildlock
  fi
}

# vistel-render: $1 if given, else $VISTEL_RENDER, else the first built one under ROOT/build.
find_vistel_render() {
  local root=$1 given=${2:-${VISTEL_RENDER:-}} b
  if [[ -n $given ]]; then
    [[ -x $given ]] || { echo "no program at $given" >&2; return 1; }
    realpath -- "$given"
    return
  fi
  for b in bench release relwithdebinfo debug asan; do
    [[ -x $root/build/$b/cli/vistel-render ]] && { echo "$root/build/$b/cli/vistel-render"; return; }
  done
  b=$(find "$root/build" -path '*/cli/vistel-render' -type f -perm -u+x 2>/dev/null | head -n 1)
  [[ -n $b ]] && { echo "$b"; return; }
  echo "no vistel-render under $root/build: build one (cmake --build BUILD --target vistel-render) or name it" >&2
  return 1
}
