# The private surroundings every test runs in, for sourcing: run-isolated.sh and with-xvfb.sh wrap
# one program in them, and the whole-program tests' start_session (tests/e2e/lib.sh) builds on
# them.

# isolate_session ROOT: HOME, the XDG folders (the documents folder as Qt finds it, in
# user-dirs.dirs) and TMPDIR all lie in ROOT, and the session bus is out of reach. Whatever the
# program under test writes to "the user's" folders (settings, autostart entries, caches) lands
# there, never in the home of whoever runs the tests.
isolate_session() {
  local root=$1
  export HOME=$root/home
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
  export XDG_STATE_HOME=$HOME/.local/state XDG_RUNTIME_DIR=$root/run TMPDIR=$root/tmp
  export XDG_DOCUMENTS_DIR=$HOME/Documents
  unset DBUS_SESSION_BUS_ADDRESS
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" \
    "$TMPDIR" || return 1
  chmod 700 "$root" "$XDG_RUNTIME_DIR"
  # The folder may not exist yet, as on a fresh account: the program makes it.
  printf 'XDG_DOCUMENTS_DIR="$HOME/Documents"\n' >"$XDG_CONFIG_HOME/user-dirs.dirs"
}

# start_xvfb FOLDER: a virtual X display of its own on a free display number (FOLDER, which must
# exist, holds the pipe the number comes through), no window manager; XVFB_SCREEN (WxHxDEPTH,
# 1024x768x24 unless set) is its screen. Sets DISPLAY and XVFB_PID.
start_xvfb() {
  mkfifo "$1/display" || return 1
  # -noreset: a server that resets when its last client leaves (a program killed on purpose,
  # a tool that ran) can refuse the next connection while it does.
  Xvfb -displayfd 5 -screen 0 ${XVFB_SCREEN:-1024x768x24} -nolisten tcp -noreset 5>"$1/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  # A loaded machine can take its time to start a server; the number comes once it listens.
  read -r -t 60 number <"$1/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$number
}
