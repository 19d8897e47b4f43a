#!/usr/bin/env bash
# A private Apache httpd WebDAV server for the upload tests, living entirely
# in one folder of the build tree:
#   webdav_server.sh start DIR   starts httpd on 127.0.0.1 at a free port and writes it to DIR/port
#   webdav_server.sh stop DIR    stops it and waits until it is gone
# Locations: /dav/ (Basic), /digest/ (Digest), /slow/ (Basic, request bodies
# read at about 50 KB/s), /moved/ (redirects to /dav/), /hopN/ for N 1 to 6
# (N redirects on the way to /dav/), /elsewhere/ (redirects to /dav/ of the
# same server named localhost). User "backup", password "secret" everywhere.
set -euo pipefail

action=${1:?start or stop}
dir=${2:?folder of the server}
httpd=$(command -v apache2 || command -v httpd || echo /usr/sbin/apache2)
user=backup password=secret realm=vardobk

stop_server() {
  [ -f "$dir/httpd.pid" ] || return 0
  local pid
  pid=$(cat "$dir/httpd.pid")
  # A pid file left by a crash may name a process that is no longer ours.
  if grep -qF "$dir/conf/httpd.conf" "/proc/$pid/cmdline" 2>/dev/null; then kill -TERM "$pid" 2>/dev/null || true; fi
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$dir/httpd.pid" "$dir/port"
}

# A DAV folder with authentication of type $2 and the extra lines $3.
dav_folder() {
  printf '<Directory "%s/htdocs/%s">\n  Dav On\n  AuthType %s\n  AuthName "%s"\n  Require valid-user\n%s\n</Directory>\n' \
    "$dir" "$1" "$2" "$realm" "$3"
}

write_config() {
  local port=$1 run_user=$2
  {
    for m in mpm_event authz_core authn_core authn_file auth_basic auth_digest authz_user dav dav_fs lua alias; do
      echo "LoadModule ${m}_module /usr/lib/apache2/modules/mod_$m.so"
    done
    cat <<CONF
ServerRoot "$dir"
ServerName 127.0.0.1:$port
Listen 127.0.0.1:$port
PidFile "$dir/httpd.pid"
ErrorLog "$dir/logs/error.log"
DefaultRuntimeDir "$dir/run"
Mutex file:$dir/run default
$run_user
StartServers 1
ServerLimit 2
ThreadsPerChild 16
MaxRequestWorkers 32
Timeout 30
DocumentRoot "$dir/htdocs"
DavLockDB "$dir/var/davlock"
Redirect 307 /moved/ /dav/
LuaInputFilter slow_input "$dir/conf/slow.lua" slow_input
<Directory "$dir/htdocs">
  Require all denied
</Directory>
CONF
    echo "Redirect 308 /hop1/ /dav/" && for i in 2 3 4 5 6; do echo "Redirect 308 /hop$i/ /hop$((i - 1))/"; done
    echo "Redirect 307 /elsewhere/ http://localhost:$port/dav/"
    dav_folder dav Basic "  AuthUserFile \"$dir/conf/htpasswd\""
    dav_folder slow Basic "  AuthUserFile \"$dir/conf/htpasswd\""$'\n  SetInputFilter slow_input'
    dav_folder digest Digest $'  AuthDigestDomain /digest/\n  AuthDigestProvider file\n'"  AuthUserFile \"$dir/conf/htdigest\""
  } >"$dir/conf/httpd.conf"
  # mod_ratelimit only slows responses, so an upload is slowed on its way in:
  # 20 microseconds a byte, about 50 KB/s.
  cat >"$dir/conf/slow.lua" <<'LUA'
function slow_input(r)
  coroutine.yield()
  while bucket do
    r.usleep(#bucket * 20)
    coroutine.yield(bucket)
  end
end
LUA
  htpasswd -bc "$dir/conf/htpasswd" "$user" "$password" 2>/dev/null
  printf '%s:%s:%s\n' "$user" "$realm" \
    "$(printf '%s:%s:%s' "$user" "$realm" "$password" | md5sum | cut -d' ' -f1)" >"$dir/conf/htdigest"
}

start_server() {
  stop_server
  # The folders below are wiped on every start: only in a folder that holds
  # nothing but what this script makes, never in one a wrong argument names.
  local name
  for name in $(ls -A "$dir"); do
    case $name in
      conf | logs | run | var | htdocs | port | httpd.pid) ;;
      *) echo "refusing to use $dir: it holds $name, which this script did not make" >&2; return 1 ;;
    esac
  done
  rm -rf "$dir/htdocs" "$dir/var" "$dir/run"
  mkdir -p "$dir/conf" "$dir/logs" "$dir/run" "$dir/var" "$dir/htdocs/dav" "$dir/htdocs/slow" "$dir/htdocs/digest"
  : >"$dir/logs/error.log"
  local run_user="" port
  if [ "$(id -u)" -eq 0 ]; then
    # httpd refuses to serve as root; its children run as daemon, so the
    # folders they write must be daemon's.
    run_user=$'User daemon\nGroup daemon'
    chown -R daemon:daemon "$dir/htdocs" "$dir/var" "$dir/logs" "$dir/run"
  fi
  for _ in $(seq 30); do
    port=$((20000 + RANDOM % 40000))
    write_config "$port" "$run_user"
    if "$httpd" -f "$dir/conf/httpd.conf" -k start 2>"$dir/logs/start.log"; then
      for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
          echo "$port" >"$dir/port" && echo "WebDAV server on 127.0.0.1:$port in $dir" && return 0
        fi
        sleep 0.1
      done
      stop_server
    elif ! grep -q -i -e "in use" -e "could not bind" "$dir/logs/start.log" "$dir/logs/error.log"; then
      break  # not a busy port: another try cannot help
    fi
  done
  echo "cannot start $httpd; see $dir/logs" >&2
  cat "$dir/logs/start.log" "$dir/logs/error.log" >&2 || true
  return 1
}

case "$action" in
  start) mkdir -p "$dir" && dir=$(cd "$dir" && pwd) && start_server ;;
  stop) if [ -d "$dir" ]; then stop_server; fi ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
