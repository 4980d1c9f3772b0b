#!/usr/bin/env bash
# The Debian package from end to end: builds it (scripts/build-package.sh, in build/package),
# checks its name, version, control fields, file list and lintian's verdict; then, as root,
# installs it, checks that only the probe helper holds cap_net_raw, probes 127.0.0.1 as an
# ordinary user in a private network where only the helper's right can make the probe work,
# plants a Qt plugin through the environment, starts Orbiphon from /usr/bin under Xvfb
# until the launcher shows, and purges the package, checking that nothing is left behind.
# Parts whose tools are missing (or that need root) are skipped with the reason.
#   tests/package/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build/package}
failures=0
fail() { echo "package test: FAIL: $*" >&2; failures=$((failures + 1)); }
skip() { echo "package test: SKIP: $*"; }
note() { echo "package test: [$(($(date +%s) - started)) s] $*"; }

started=$(date +%s)
for tool in cmake cpack dpkg-deb dpkg-shlibdeps file lintian gzip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "the whole package test: $tool is not installed (scripts/install-deps installs it)"
    exit 0
  fi
done

version=$(sed -n 's/^project(Orbiphon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { fail "no version in CMakeLists.txt's project()"; exit 1; }

log=$(mktemp)
if ! deb=$(scripts/build-package.sh "$build" 2>"$log" | tail -n 1); then
  cat "$log" >&2
  fail "scripts/build-package.sh failed"
  exit 1
fi
rm -f "$log"
deb=$(realpath "$deb")
note "built $(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- One version everywhere: the package, both programs, both man pages.
[ "$(basename "$deb")" = "orbiphon_${version}_${arch}.deb" ] ||
  fail "package named $(basename "$deb"), expected orbiphon_${version}_${arch}.deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "control Version is not $version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$build/bin/Orbiphon" --version)" = "Orbiphon $version" ] ||
  fail "Orbiphon --version does not say $version"
[ "$("$build/bin/orbiphon-cli" --version)" = "orbiphon-cli $version" ] ||
  fail "orbiphon-cli --version does not say $version"
for page in Orbiphon orbiphon-cli; do
  gzip -dc "$build/packaging/man/$page.1.gz" | grep -q "^\.TH .*\"Orbiphon $version\"" ||
    fail "man page $page(1) does not carry version $version"
done

# --- Control fields: libraries found by dpkg-shlibdeps, setcap for the maintainer script,
# the settings file kept as a configuration file, an executable postinst.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libcurl4 libqt6widgets6 libcap2-bin; do
  grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
control=$(mktemp -d)
dpkg-deb -e "$deb" "$control"
[ "$(cat "$control/conffiles")" = /etc/orbiphon/Orbiphon.ini ] ||
  fail "conffiles: $(cat "$control/conffiles")"
[ "$(stat -c %a "$control/postinst")" = 755 ] || fail "postinst is not mode 755"
# Where the file system holds no capabilities setcap fails: postinst says so and succeeds.
mkdir "$control/stub"
printf '#!/bin/sh\necho "Failed to set capabilities on file $2 (Operation not supported)" >&2\nexit 1\n' \
  >"$control/stub/setcap"
chmod +x "$control/stub/setcap"
if ! said=$(PATH="$control/stub:$PATH" "$control/postinst" configure 2>&1); then
  fail "postinst fails when setcap cannot grant the right"
elif ! grep -q "could not grant cap_net_raw to /usr/lib/orbiphon/orbiphon-probe" <<<"$said"; then
  fail "postinst does not say that the right was not granted: $said"
fi
rm -rf "$control"

# --- The file list: every entry with its mode, and where each link points.
expected=$(cat <<'EOF'
-rw-r--r-- ./etc/orbiphon/Orbiphon.ini
lrwxrwxrwx ./usr/bin/Orbiphon -> ../lib/orbiphon/Orbiphon
lrwxrwxrwx ./usr/bin/orbiphon-cli -> ../lib/orbiphon/orbiphon-cli
-rwxr-xr-x ./usr/lib/orbiphon/Orbiphon
-rw-r--r-- ./usr/lib/orbiphon/Orbiphon.html
lrwxrwxrwx ./usr/lib/orbiphon/Orbiphon.ini -> /etc/orbiphon/Orbiphon.ini
-rwxr-xr-x ./usr/lib/orbiphon/orbiphon-cli
-rwxr-xr-x ./usr/lib/orbiphon/orbiphon-probe
-rw-r--r-- ./usr/share/applications/Orbiphon.desktop
-rw-r--r-- ./usr/share/doc/orbiphon/changelog.gz
-rw-r--r-- ./usr/share/doc/orbiphon/copyright
-rw-r--r-- ./usr/share/icons/hicolor/128x128/apps/Orbiphon.png
-rw-r--r-- ./usr/share/icons/hicolor/128x128/mimetypes/application-x-cpe-addressbook.png
-rw-r--r-- ./usr/share/icons/hicolor/128x128/mimetypes/application-x-cpe-orbiphonlist.png
-rw-r--r-- ./usr/share/icons/hicolor/16x16/apps/Orbiphon.png
-rw-r--r-- ./usr/share/icons/hicolor/16x16/mimetypes/application-x-cpe-addressbook.png
-rw-r--r-- ./usr/share/icons/hicolor/16x16/mimetypes/application-x-cpe-orbiphonlist.png
-rw-r--r-- ./usr/share/icons/hicolor/32x32/apps/Orbiphon.png
-rw-r--r-- ./usr/share/icons/hicolor/32x32/mimetypes/application-x-cpe-addressbook.png
-rw-r--r-- ./usr/share/icons/hicolor/32x32/mimetypes/application-x-cpe-orbiphonlist.png
-rw-r--r-- ./usr/share/icons/hicolor/48x48/apps/Orbiphon.png
-rw-r--r-- ./usr/share/icons/hicolor/48x48/mimetypes/application-x-cpe-addressbook.png
-rw-r--r-- ./usr/share/icons/hicolor/48x48/mimetypes/application-x-cpe-orbiphonlist.png
-rw-r--r-- ./usr/share/man/man1/Orbiphon.1.gz
-rw-r--r-- ./usr/share/man/man1/orbiphon-cli.1.gz
-rw-r--r-- ./usr/share/mime/packages/orbiphon.xml
EOF
)
listing=$(dpkg-deb -c "$deb")
actual=$(awk '$1 !~ /^d/ { $2 = $3 = $4 = $5 = ""; print }' <<<"$listing" | tr -s ' ' | sort)
if [ "$actual" != "$(sort <<<"$expected")" ]; then
  fail "file list differs from the expected one:"
  diff <(sort <<<"$expected") <(echo "$actual") >&2 || true
fi
if awk '$2 != "root/root"' <<<"$listing" | grep -q .; then
  fail "entries not owned by root/root"
fi

# --- lintian: no errors; the rest is summed up.
lintian_out=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors"
lintian_out=$(grep -v "^running with root privileges" <<<"$lintian_out" || true)
if [ -n "$lintian_out" ]; then
  echo "$lintian_out" | sed 's/^/  lintian: /'
fi
note "lintian: $(grep -c '^E:' <<<"$lintian_out" || true) errors," \
     "$(grep -c '^W:' <<<"$lintian_out" || true) warnings"

# A Qt plugin of an ordinary user's making, named by the environment, loaded by the installed
# Orbiphon: it tries the raw socket and writes what it got. With the right on the helper alone it
# gets nothing.
planted_plugin() {
  local work=$1 moc=/usr/lib/qt6/libexec/moc
  if [ ! -x "$moc" ] || ! pkg-config --exists Qt6Gui 2>/dev/null; then
    skip "planted plugin: Qt's moc or Qt6Gui's pkg-config file is missing"
    return
  fi
  local plugin=$work/plugin
  mkdir -p "$plugin/plugins/generic" "$plugin/home"
  cat >"$plugin/planted.cpp" <<'SOURCE'
#include <QtGui/qgenericplugin.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cstdio>
#include <cstdlib>
class Planted : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "planted.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        if (FILE* out = std::fopen(std::getenv("PLANTED_RESULT"), "w")) {
            std::fputs(fd >= 0 ? "raw socket opened\n" : "raw socket refused\n", out);
            std::fclose(out);
        }
        return nullptr;
    }
};
#include "planted.moc"
SOURCE
  echo '{"Keys": ["planted"]}' >"$plugin/planted.json"
  if ! { "$moc" $(pkg-config --cflags Qt6Gui) "$plugin/planted.cpp" -o "$plugin/planted.moc" &&
         g++ -std=c++17 -fPIC -shared "$plugin/planted.cpp" \
           -o "$plugin/plugins/generic/libplanted.so" $(pkg-config --cflags --libs Qt6Gui); } >"$plugin/build.log" 2>&1; then
    cat "$plugin/build.log" >&2
    fail "the planted plugin does not build"
    return
  fi
  chmod -R a+rX "$plugin"
  chown 65534 "$plugin/home"
  env -i PATH=/usr/bin:/bin HOME="$plugin/home" XDG_DATA_HOME="$plugin/home" \
    QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugin/plugins" QT_QPA_GENERIC_PLUGINS=planted \
    PLANTED_RESULT="$plugin/home/result" \
    timeout 10 setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/Orbiphon \
    >/dev/null 2>&1 || true
  local got
  got=$(cat "$plugin/home/result" 2>/dev/null || echo "the plugin was not loaded")
  if [ "$got" = "raw socket refused" ]; then
    note "a plugin planted through QT_PLUGIN_PATH runs without the right"
  else
    fail "plugin planted in /usr/bin/Orbiphon as nobody: $got"
  fi
}

# --- Installed: only as root, and never over an installation someone else made.
apt=(apt-get -o DPkg::Lock::Timeout=300 -y --no-install-recommends)
installed_part() {
  local missing=()
  for tool in apt-get unshare setpriv ip getcap xvfb-run xdotool; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  if [ "$(id -u)" -ne 0 ]; then
    skip "install, probe, start and purge: they need root (as in CI)"
    return
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    skip "install, probe, start and purge: missing ${missing[*]}"
    return
  fi
  if dpkg-query -W -f='${Status}' orbiphon 2>/dev/null | grep -q "installed"; then
    skip "install, probe, start and purge: orbiphon is already installed on this machine"
    return
  fi

  local work
  work=$(mktemp -d)
  chmod 755 "$work"
  # Paths the package brings or whose triggers it touches, as they were before.
  local watched=(/etc/orbiphon /usr/bin /usr/lib/orbiphon /usr/share/applications /usr/share/mime
                 /usr/share/icons/hicolor /usr/share/man/man1 /usr/share/doc/orbiphon
                 /var/lib/dpkg/info)
  { find "${watched[@]}" 2>/dev/null || true; } | sort >"$work/before"

  if ! "${apt[@]}" install "$deb" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "the package does not install"
    rm -rf "$work"
    return
  fi
  trap '"${apt[@]}" purge orbiphon >/dev/null 2>&1 || true' EXIT
  note "installed"

  local capable=1
  if grep -q "could not grant cap_net_raw" "$work/install.log"; then
    capable=0
    skip "probe with the granted right: this file system holds no capabilities" \
         "(postinst said so and the installation went on)"
  fi
  # The right belongs to the helper alone: neither program that links Qt holds a capability.
  local held
  for program in /usr/lib/orbiphon/Orbiphon /usr/lib/orbiphon/orbiphon-cli; do
    held=$(getcap "$program")
    [ -z "$held" ] || fail "$program holds a capability: $held"
  done
  if [ $capable = 1 ] && ! getcap /usr/lib/orbiphon/orbiphon-probe | grep -q "cap_net_raw=ep"; then
    fail "/usr/lib/orbiphon/orbiphon-probe lacks cap_net_raw=ep"
  fi
  [ "$(/usr/bin/orbiphon-cli --version)" = "orbiphon-cli $version" ] ||
    fail "installed orbiphon-cli --version"

  # Only the helper's right can make the probe work: nobody, in a private network with the
  # unprivileged echo socket switched off. A copy of orbiphon-cli without the helper beside it
  # shows that the right is needed, and says why the probe failed.
  if [ $capable = 1 ]; then
    cp /usr/lib/orbiphon/orbiphon-cli "$work/orbiphon-cli"
    local probe_out=
    probe_out=$(unshare -n sh -c '
      ip link set lo up && echo "1 0" > /proc/sys/net/ipv4/ping_group_range || exit 9
      err=$2/probe.err
      run() {
        setpriv --reuid=65534 --regid=65534 --clear-groups "$@" 2>"$err"; echo "status $?"
        cat "$err"
      }
      run /usr/bin/orbiphon-cli probe 127.0.0.1
      run "$1" probe 127.0.0.1' sh "$work/orbiphon-cli" "$work" 2>&1) || true
    local want=$'127.0.0.1 present\nstatus 0\n127.0.0.1 not present\nstatus 1'
    want+=$'\norbiphon-cli: 127.0.0.1: no permission to send echo requests'
    if [ "$probe_out" = "$want" ]; then
      note "probe as nobody: present through the helper, no permission without it"
    else
      fail "probe as nobody in a private network gave: $probe_out"
    fi
  fi
  planted_plugin "$work"

  # Reinstalling keeps an edited settings file and grants the right again.
  echo "; edited by the operator" >>/etc/orbiphon/Orbiphon.ini
  if ! "${apt[@]}" install --reinstall "$deb" >"$work/reinstall.log" 2>&1; then
    cat "$work/reinstall.log" >&2
    fail "the package does not reinstall"
  fi
  grep -q "^; edited by the operator" /etc/orbiphon/Orbiphon.ini ||
    fail "reinstalling lost the operator's edit of /etc/orbiphon/Orbiphon.ini"
  if [ $capable = 1 ] && ! getcap /usr/lib/orbiphon/orbiphon-probe | grep -q cap_net_raw=ep; then
    fail "reinstalling left orbiphon-probe without cap_net_raw"
  fi

  # The program as a user's desktop starts it: the launcher shows, and the association it
  # writes names the installed program.
  mkdir -p "$work/home" "$work/runtime"
  chmod 700 "$work/runtime"
  local shown
  shown=$(HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_RUNTIME_DIR="$work/runtime" \
    timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
      /usr/bin/Orbiphon >/dev/null 2>&1 &
      program=$!
      for i in $(seq 1 100); do
        if xdotool search --onlyvisible --name "^Orbiphon\$" >/dev/null 2>&1; then
          echo shown; break
        fi
        sleep 0.2
      done
      # The registration runs when the launcher first shows; give it a moment to finish.
      for i in $(seq 1 50); do
        grep -q "^Exec=" "$HOME/data/applications/Orbiphon.desktop" 2>/dev/null && break
        sleep 0.2
      done
      kill $program; wait $program 2>/dev/null; true') || true
  [ "$shown" = shown ] || fail "the launcher of /usr/bin/Orbiphon did not show under Xvfb"
  local exec_line
  exec_line=$(grep "^Exec=" "$work/home/data/applications/Orbiphon.desktop" 2>/dev/null || true)
  [ "$exec_line" = "Exec=/usr/lib/orbiphon/Orbiphon %f" ] ||
    fail "per-user association names '$exec_line', not the installed program"
  [ "$shown" = shown ] && note "launcher shown; the association runs /usr/lib/orbiphon/Orbiphon"

  if ! "${apt[@]}" purge orbiphon >"$work/purge.log" 2>&1; then
    cat "$work/purge.log" >&2
    fail "the package does not purge"
  fi
  trap - EXIT
  { find "${watched[@]}" 2>/dev/null || true; } | sort >"$work/after"
  local left
  left=$(comm -13 "$work/before" "$work/after")
  if [ -n "$left" ]; then
    fail "left behind after purge:"
    echo "$left" >&2
  else
    note "purged, nothing left behind"
  fi
  rm -rf "$work"
}
installed_part

elapsed=$(($(date +%s) - started))
if [ $failures -gt 0 ]; then
  echo "package test: $failures failure(s) in $elapsed s" >&2
  exit 1
fi
note "passed in $elapsed s"
