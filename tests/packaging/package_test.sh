#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian package from a build tree with cpack, checks its files,
# its control data and lintian's verdict, then unpacks it into a scratch root
# and checks what it installs there: the programs run, the window finds its
# help file, the desktop entry, unit and man pages pass their validators, and
# the postinst decides on the capability by the documented rule. Also installs
# the tree with cmake --install under another prefix.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION HELP_LOOKUP
# Exits 77 (skipped) when a packaging tool is not installed.
set -euo pipefail
build=$1 source=$2 version=$3 help_lookup=$4

for tool in cpack dpkg dpkg-deb dpkg-statoverride lintian desktop-file-validate groff man getcap setcap file; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps)"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { # description, command...
    local what=$1; shift
    "$@" || fail "$what"
}

scratch=$(mktemp -d /tmp/ostrel-package-test-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

echo "== cpack"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
arch=$(dpkg --print-architecture)
deb="$scratch/out/ostrel_${version}_${arch}.deb"
[[ -f $deb ]] || { ls -R "$scratch/out"; echo "FAIL: no $deb"; exit 1; }

echo "== contents"
# "MODE OWNER PATH" for every entry, directories with a trailing slash.
dpkg-deb -c "$deb" | awk '{ p = $6; sub(/^\./, "", p); print $1, $2, p }' >"$scratch/contents"
declare -A expected=(
    [/usr/bin/ostrel]=-rwxr-xr-x
    [/usr/bin/ostrel-cli]=-rwxr-xr-x
    [/usr/share/bash-completion/completions/ostrel-cli]=-rw-r--r--
    [/usr/share/ostrel/ostrel.HLP]=-rw-r--r--
    [/usr/share/ostrel/ostrel.rules.yml]=-rw-r--r--
    [/usr/share/man/man1/ostrel.1.gz]=-rw-r--r--
    [/usr/share/man/man1/ostrel-cli.1.gz]=-rw-r--r--
    [/usr/share/applications/ostrel.desktop]=-rw-r--r--
    [/usr/share/mime/packages/ostrel-osl.xml]=-rw-r--r--
    [/usr/share/icons/hicolor/16x16/apps/ostrel.png]=-rw-r--r--
    [/usr/share/icons/hicolor/32x32/apps/ostrel.png]=-rw-r--r--
    [/lib/systemd/system/ostrel-watch@.service]=-rw-r--r--
    [/usr/share/doc/ostrel/copyright]=-rw-r--r--
    [/usr/share/doc/ostrel/changelog.gz]=-rw-r--r--
)
for path in "${!expected[@]}"; do
    mode=$(awk -v p="$path" '$3 == p { print $1 }' "$scratch/contents")
    [[ $mode == "${expected[$path]}" ]] || fail "$path: mode '${mode:-missing}', wanted ${expected[$path]}"
done
while read -r mode owner path; do
    [[ $owner == root/root ]] || fail "$path is owned by $owner"
    case $mode in
    d*) [[ $mode == drwxr-xr-x ]] || fail "folder $path has mode $mode" ;;
    -*) [[ -v expected[$path] ]] || fail "unexpected file $path" ;;
    *) fail "$path is neither file nor folder ($mode)" ;;
    esac
done <"$scratch/contents"

echo "== control"
dpkg-deb -f "$deb" >"$scratch/control"
field() { sed -n "s/^$1: //p" "$scratch/control"; }
check "Package" [ "$(field Package)" = ostrel ]
check "Version" [ "$(field Version)" = "$version" ]
check "Section" [ "$(field Section)" = net ]
check "Depends names Qt Widgets (shlibdeps)" grep -q '^Depends: .*libqt6widgets6' "$scratch/control"
check "Depends names libc6 (shlibdeps)" grep -q '^Depends: .*libc6' "$scratch/control"
check "Recommends libcap2-bin" grep -q '^Recommends: libcap2-bin' "$scratch/control"
dpkg-deb -e "$deb" "$scratch/DEBIAN"
for script in postinst postrm; do
    check "$script is executable" [ -x "$scratch/DEBIAN/$script" ]
    check "$script parses (sh -n)" sh -n "$scratch/DEBIAN/$script"
    check "$script is the one in packaging/debian" cmp -s "$scratch/DEBIAN/$script" "$source/packaging/debian/$script"
done

echo "== lintian"
lintian --info --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1 || true
cat "$scratch/lintian"
if grep -q '^E: ' "$scratch/lintian"; then fail "lintian reports errors"; fi

echo "== unpacked"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
check "no file has a capability in the package" [ -z "$(getcap -r "$root" 2>/dev/null)" ]
check "no file is setuid or setgid" [ -z "$(find "$root" -perm /6000)" ]

"$root/usr/bin/ostrel-cli" --help >"$scratch/cli-help" || fail "ostrel-cli --help exits $?"
check "ostrel-cli --help prints its usage" grep -q '^usage: ostrel-cli COMMAND' "$scratch/cli-help"
check "ostrel-cli --version answers as ostrel --version" \
    [ "$("$root/usr/bin/ostrel-cli" --version)" = "$("$root/usr/bin/ostrel" --version)" ]
completion="$root/usr/share/bash-completion/completions/ostrel-cli"
check "the bash completion is what ostrel-cli writes" cmp -s "$completion" <("$root/usr/bin/ostrel-cli" --bash-completion)
check "the bash completion completes a command" [ "$(bash -c '. "$1"; COMP_WORDS=(ostrel-cli wa)
    COMP_CWORD=1; _ostrel_cli; echo "${COMPREPLY[*]}"' _ "$completion")" = watch ]

# The window's lookup, run on the unpacked layout, finds the installed file.
found=$("$help_lookup" "$root/usr/bin/ostrel")
check "help found at $found" [ "$(realpath "$found")" = "$(realpath "$root/usr/share/ostrel/ostrel.HLP")" ]
check "installed help is docs/ostrel.html" cmp -s "$root/usr/share/ostrel/ostrel.HLP" "$source/docs/ostrel.html"

desktop="$root/usr/share/applications/ostrel.desktop"
check "desktop-file-validate" desktop-file-validate "$desktop"
check "desktop entry opens a list file" grep -qx 'Exec=ostrel %f' "$desktop"
mime_type=$(sed -n 's/.*mime-type type="\([^"]*\)".*/\1/p' "$root/usr/share/mime/packages/ostrel-osl.xml")
check "desktop entry takes the MIME type of .osl ($mime_type)" grep -qx "MimeType=$mime_type;" "$desktop"
check "MIME type is well-formed XML" python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
    "$root/usr/share/mime/packages/ostrel-osl.xml"
for size in 16 32; do
    check "${size}px icon" grep -q "PNG image data, $size x $size" \
        <(file "$root/usr/share/icons/hicolor/${size}x$size/apps/ostrel.png")
done

echo "== man pages"
for page in ostrel ostrel-cli; do
    gz="$root/usr/share/man/man1/$page.1.gz"
    check "$page.1.gz is gzip -n (no name, no time)" [ "$(gzip -dc "$gz" | gzip -n -9 | cmp - "$gz" && echo same)" = same ]
    warnings=$(gzip -dc "$gz" | groff -man -Tutf8 -ww -z 2>&1)
    check "$page.1 renders without groff warnings: $warnings" [ -z "$warnings" ]
    warnings=$(MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null)
    check "man -l $page.1.gz renders without warnings: $warnings" [ -z "$warnings" ]
done
# Every command and option ostrel-cli's help names is in its man page.
manual=$(gzip -dc "$root/usr/share/man/man1/ostrel-cli.1.gz" | MANWIDTH=200 man -l - 2>/dev/null)
commands=$(sed -En 's/^  (ostrel-cli )?([a-z]+)( .*)?$/\2/p' "$scratch/cli-help")
check "ostrel-cli --help lists its commands: $commands" [ "$(wc -w <<<"$commands")" -ge 6 ]
for command in $commands; do
    check "man page names 'ostrel-cli $command'" grep -q "ostrel-cli $command" <<<"$manual"
    for option in $("$root/usr/bin/ostrel-cli" "$command" --help | grep -o -- '--[a-z-]*' | sort -u); do
        check "man page names $command's option $option" grep -q -- "$option" <<<"$manual"
    done
done

echo "== service unit"
unit="$root/lib/systemd/system/ostrel-watch@.service"
check "unit runs the installed ostrel-cli" grep -q '^ExecStart=/usr/bin/ostrel-cli watch .*/etc/ostrel/%i\.osl$' "$unit"
for line in DynamicUser=yes AmbientCapabilities=CAP_NET_RAW CapabilityBoundingSet=CAP_NET_RAW \
    NoNewPrivileges=yes ProtectSystem=strict 'ExecReload=/bin/kill -HUP $MAINPID'; do
    check "unit has $line" grep -qxF "$line" "$unit"
done
check "unit grants no other capability" [ "$(grep -c 'CAP_' "$unit")" -eq 2 ]
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, but with its ostrel-cli the unpacked one, so that
    # the check of ExecStart's program holds without the package installed;
    # the man page it names is looked up in the unpacked root.
    mkdir "$scratch/unit"
    sed "s|/usr/bin/ostrel-cli|$root/usr/bin/ostrel-cli|" "$unit" >"$scratch/unit/ostrel-watch@.service"
    out=$(cd "$scratch/unit" && MANPATH="$root/usr/share/man" systemd-analyze verify ostrel-watch@.service 2>&1) ||
        fail "systemd-analyze verify: $out"
    [[ -z $out ]] || fail "systemd-analyze verify says: $out"
else
    echo "SKIP: systemd-analyze is not installed; the unit was not verified"
fi

echo "== postinst"
# The rule: open when the range holds gid 100 and gids 1000 to 59999.
while read -r range verdict; do
    printf '%s\n' "${range//_/ }" >"$scratch/range"
    got=closed
    (set +e; . "$scratch/DEBIAN/postinst"; ping_range_is_open "$scratch/range") && got=open
    check "range '${range//_/ }' is $verdict" [ "$got" = "$verdict" ]
done <<'TABLE'
1_0 closed
0_2147483647 open
100_59999 open
101_2147483647 closed
0_59998 closed
1000_2147483647 closed
0_4294967294 open
-1_5 closed
0 closed
0_1_2 closed
x_y closed
TABLE
check "a missing range file counts as closed" \
    bash -c '. "$1"; ! ping_range_is_open /nonexistent' _ "$scratch/DEBIAN/postinst"

# Installed for real by dpkg into scratch roots, its scripts run without a
# chroot and with DPKG_ROOT set, as dpkg --root does; the decision follows the
# running kernel's range. The second root holds an administrator's
# statoverride on ostrel-cli, which the postinst must leave alone.
dpkg_in() { # root, dpkg arguments...
    local r=$1; shift
    dpkg --root="$r" --force-script-chrootless --force-depends --log=/dev/null "$@"
}
# Whether this process may set file capabilities here (root on a file system
# with extended attributes): then the postinst must have set them.
cp "$(type -P true)" "$scratch/caps-probe"
can_setcap=no
if setcap cap_net_raw+ep "$scratch/caps-probe" 2>/dev/null && [ -n "$(getcap "$scratch/caps-probe")" ]; then
    can_setcap=yes
fi
for override in none statoverride; do
    target="$scratch/target-$override"
    mkdir -p "$target/var/lib/dpkg/updates" "$target/var/lib/dpkg/info"
    touch "$target/var/lib/dpkg/status"
    if [[ $override == statoverride ]]; then
        dpkg-statoverride --root "$target" --add root root 0755 /usr/bin/ostrel-cli
    fi
    dpkg_in "$target" -i "$deb" >"$scratch/postinst.out" 2>&1 ||
        fail "dpkg -i ($override) exits $?: $(cat "$scratch/postinst.out")"
    sed -n '/^ostrel: /p' "$scratch/postinst.out"
    said() { grep -qF -- "$1" "$scratch/postinst.out"; }
    cli_caps=$(getcap "$target/usr/bin/ostrel-cli")
    check "the window never gets a capability ($override)" [ -z "$(getcap "$target/usr/bin/ostrel")" ]
    if (. "$scratch/DEBIAN/postinst"; ping_range_is_open /proc/sys/net/ipv4/ping_group_range); then
        check "open range: no capability ($override)" [ -z "$cli_caps" ]
        check "open range: nothing said ($override)" [ -z "$(grep '^ostrel: ' "$scratch/postinst.out")" ]
    else
        if [[ $override == statoverride ]]; then
            check "statoverride: no capability" [ -z "$cli_caps" ]
            check "statoverride: said so" said "has a dpkg-statoverride"
        elif [[ $can_setcap == yes ]]; then
            check "closed range: cap_net_raw=ep on ostrel-cli" grep -q 'cap_net_raw=ep' <<<"$cli_caps"
            check "still runs with its capability" "$target/usr/bin/ostrel-cli" --help >/dev/null
        else
            check "closed range: setcap failure said" said 'setcap on /usr/bin/ostrel-cli failed'
        fi
        check "closed range: the sysctl line said ($override)" \
            said 'sysctl -w net.ipv4.ping_group_range="0 2147483647"'
        check "closed range: the sysctl.d file named ($override)" said '/etc/sysctl.d/'
    fi
    dpkg_in "$target" --purge ostrel >"$scratch/postrm.out" 2>&1 ||
        fail "dpkg --purge ($override) exits $?: $(cat "$scratch/postrm.out")"
    left=$(cd "$target" && find . ! -type d ! -path './var/lib/dpkg/*')
    check "purge leaves no file behind ($override): $left" [ -z "$left" ]
done

echo "== cmake --install under another prefix"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "cmake --install"; }
for path in bin/ostrel bin/ostrel-cli share/ostrel/ostrel.HLP share/man/man1/ostrel-cli.1.gz \
    lib/systemd/system/ostrel-watch@.service share/applications/ostrel.desktop \
    share/bash-completion/completions/ostrel-cli; do
    check "installed $path" [ -f "$prefix/$path" ]
done
check "unit names the prefix's ostrel-cli" grep -q "^ExecStart=$prefix/bin/ostrel-cli watch" \
    "$prefix/lib/systemd/system/ostrel-watch@.service"
check "help found under the prefix" \
    [ "$(realpath "$("$help_lookup" "$prefix/bin/ostrel")")" = "$prefix/share/ostrel/ostrel.HLP" ]

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all package checks passed"
