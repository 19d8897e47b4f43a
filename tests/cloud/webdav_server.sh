#!/usr/bin/env bash
# A private Apache httpd WebDAV server for the upload tests, living entirely
# in one folder of the build tree:
#   webdav_server.sh start DIR   writes DIR/conf, DIR/htdocs, starts httpd on
#                                127.0.0.1 at a free port and writes it to DIR/port
#   webdav_server.sh stop DIR    stops it and waits until it is gone
# Locations: /dav/ (Basic), /digest/ (Digest), /slow/ (Basic, request bodies
# read at about 50 KB/s), /moved/ (redirects to /dav/). User "backup",
# password "secret" everywhere.
set -euo pipefail

action=${1:?start or stop}
dir=${2:?folder of the server}
modules=/usr/lib/apache2/modules
httpd=$(command -v apache2 || command -v httpd || echo /usr/sbin/apache2)
user=backup
password=secret
realm=vardobk

stop_server() {
  [ -f "$dir/httpd.pid" ] || return 0
  local pid
  pid=$(cat "$dir/httpd.pid")
  # A pid file left by a crash may name a process that is no longer ours.
  if grep -qF "$dir/conf/httpd.conf" "/proc/$pid/cmdline" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
  fi
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$dir/httpd.pid" "$dir/port"
}

write_config() {
  local port=$1 run_user=$2
  cat >"$dir/conf/httpd.conf" <<EOF
ServerRoot "$dir"
ServerName 127.0.0.1:$port
Listen 127.0.0.1:$port
PidFile "$dir/httpd.pid"
ErrorLog "$dir/logs/error.log"
LogLevel warn
DefaultRuntimeDir "$dir/run"
Mutex file:$dir/run default
$run_user
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule authn_core_module $modules/mod_authn_core.so
LoadModule authn_file_module $modules/mod_authn_file.so
LoadModule auth_basic_module $modules/mod_auth_basic.so
LoadModule auth_digest_module $modules/mod_auth_digest.so
LoadModule authz_user_module $modules/mod_authz_user.so
LoadModule dav_module $modules/mod_dav.so
LoadModule dav_fs_module $modules/mod_dav_fs.so
LoadModule lua_module $modules/mod_lua.so
LoadModule alias_module $modules/mod_alias.so
StartServers 1
ServerLimit 2
MinSpareThreads 1
MaxSpareThreads 32
ThreadsPerChild 16
MaxRequestWorkers 32
Timeout 30
DocumentRoot "$dir/htdocs"
DavLockDB "$dir/var/davlock"
LimitRequestBody 0
Redirect 307 /moved/ /dav/
LuaInputFilter slow_input "$dir/conf/slow.lua" slow_input
<Directory "$dir/htdocs">
  Require all denied
</Directory>
<Directory "$dir/htdocs/dav">
  Dav On
  AuthType Basic
  AuthName "$realm"
  AuthUserFile "$dir/conf/htpasswd"
  Require valid-user
</Directory>
<Directory "$dir/htdocs/slow">
  Dav On
  AuthType Basic
  AuthName "$realm"
  AuthUserFile "$dir/conf/htpasswd"
  Require valid-user
  SetInputFilter slow_input
</Directory>
<Directory "$dir/htdocs/digest">
  Dav On
  AuthType Digest
  AuthName "$realm"
  AuthDigestDomain /digest/
  AuthDigestProvider file
  AuthUserFile "$dir/conf/htdigest"
  Require valid-user
</Directory>
EOF
  # mod_ratelimit only slows responses, so an upload is slowed on its way in:
  # 20 microseconds a byte, about 50 KB/s.
  cat >"$dir/conf/slow.lua" <<'EOF'
function slow_input(r)
  coroutine.yield()
  while bucket do
    r.usleep(#bucket * 20)
    coroutine.yield(bucket)
  end
end
EOF
  htpasswd -bc "$dir/conf/htpasswd" "$user" "$password" 2>/dev/null
  printf '%s:%s:%s\n' "$user" "$realm" \
    "$(printf '%s:%s:%s' "$user" "$realm" "$password" | md5sum | cut -d' ' -f1)" >"$dir/conf/htdigest"
}

start_server() {
  stop_server
  rm -rf "$dir/htdocs" "$dir/var" "$dir/run"
  mkdir -p "$dir/conf" "$dir/logs" "$dir/run" "$dir/var" "$dir/htdocs/dav" "$dir/htdocs/slow" "$dir/htdocs/digest"
  : >"$dir/logs/error.log"
  local run_user=""
  if [ "$(id -u)" -eq 0 ]; then
    # httpd refuses to serve as root; its children run as daemon, so the
    # folders they write must be daemon's.
    run_user=$'User daemon\nGroup daemon'
    chown -R daemon:daemon "$dir/htdocs" "$dir/var" "$dir/logs" "$dir/run"
  fi
  local port
  for _ in $(seq 30); do
    port=$((20000 + RANDOM % 40000))
    write_config "$port" "$run_user"
    : >"$dir/logs/start.log"
    if "$httpd" -f "$dir/conf/httpd.conf" -k start 2>"$dir/logs/start.log"; then
      for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
          echo "$port" >"$dir/port"
          echo "WebDAV server on 127.0.0.1:$port in $dir"
          return 0
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
