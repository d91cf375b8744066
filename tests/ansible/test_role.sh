#!/usr/bin/env bash
# The fleet's role run against this machine (-i localhost, -c local) over a
# throwaway data home: the first run sets everything up and the demo CCO
# starts from it with the site file's POS prefix; the second changes
# nothing; --check --diff after changed variables reports them and changes
# nothing on disk; a new zip is applied, a bad one fails with the
# installation untouched; the role and the example pass ansible-lint's
# production profile. Usage: test_role.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnolet.quindrel-ansible-XXXXXX")
cco_pid=""
finish() {
    [ -n "$cco_pid" ] && kill "$cco_pid" 2>/dev/null && wait "$cco_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap finish EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

export LC_ALL=C.UTF-8 ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_ROLES_PATH=$source_dir/ansible/roles
export ANSIBLE_LOCAL_TEMP=$scratch/ansible-local ANSIBLE_REMOTE_TEMP=$scratch/ansible-remote
export XDG_CACHE_HOME=$scratch/cache
# Where the tool run here looks; the playbook hands the role the same.
export XDG_DATA_HOME=$scratch/till/data XDG_CONFIG_HOME=$scratch/till/config

# The till: the tool and the assets in one folder, as on a device.
app=$scratch/app
mkdir -p "$app" "$scratch/files"
ln -s "$build/varnolet-provision" "$app/varnolet-provision"
ln -s "$build/demo/app/assets" "$app/assets"
data=$scratch/till/data/varnolet.quindrel
config=$scratch/till/config/varnolet.quindrel
echo "prefix=fleet-0042" >"$scratch/files/pos.properties"
cp "$build/demo/cco-demo.zip" "$scratch/files/cco.zip"

vars() {
    cat >"$scratch/vars.yml" <<YAML
till_home: $scratch/till
ansible_python_interpreter: /usr/bin/python3
varnolet_app_dir: $app
varnolet_zip: $scratch/files/${1:-cco.zip}
varnolet_config:
  start:
    countdown: ${2:-3}
  maintenance:
    idle: 5
varnolet_site_files:
  config/pos.properties: $scratch/files/pos.properties
varnolet_pin: "${3:-482916}"
YAML
}
# Runs the playbook; prints its recap's changed count.
play() {
    local code=0
    ansible-playbook -i localhost, -c local -e "@$scratch/vars.yml" "$@" \
        "$source_dir/tests/ansible/playbook.yml" >"$scratch/play.log" 2>&1 || code=$?
    sed -n 's/.*changed=\([0-9]*\).*failed=\([0-9]*\).*/\1 \2/p' "$scratch/play.log" | tail -1
    echo "ansible-playbook $*: $(grep -o 'ok=.*' "$scratch/play.log" | tail -1)" >&2
    return $code
}
show() {
    cat "$scratch/play.log" >&2
    fail "$@"
}
snapshot() { (cd "$scratch/till" && find . -type f -not -path './data/varnolet.quindrel/logs/*' -exec sha256sum {} + | sort); }
hash_of_installation() { "$app/varnolet-provision" facts | python3 -c 'import json, sys; print(json.load(sys.stdin)["installation"]["sha256"])'; }

vars
recap=$(play) || show "the first run failed"
[ "${recap%% *}" -ge 5 ] || show "the first run changed only ${recap%% *}"
[ -x "$data/sapmachine-jre-17.0.6/bin/java" ] || fail "no runtime"
[ "$(hash_of_installation)" = "$(sha256sum "$scratch/files/cco.zip" | cut -d' ' -f1)" ] || fail "the installation is not the zip's"
grep -qx "countdown = 3" "$config/varnolet.conf" || fail "varnolet.conf was not written"
"$app/varnolet-provision" config check || fail "the written varnolet.conf has faults"
echo 482916 | "$app/varnolet-provision" pin verify >/dev/null || fail "the PIN is not set"
[ ! -e "$data/ansible/update.zip" ] || fail "the staged zip was left"

# The demo CCO starts from what the role put in place, with the site
# file's prefix.
(cd "$data/CustomerCheckout" && JAVA_HOME=$data/sapmachine-jre-17.0.6 exec bash run.sh) >"$scratch/cco.out" 2>&1 &
cco_pid=$!
for _ in $(seq 200); do
    grep -q "POS prefix:" "$scratch/cco.out" && break
    sleep 0.1
done
grep -qx "POS prefix: fleet-0042" "$scratch/cco.out" || fail "the demo CCO did not say the site file's prefix: $(cat "$scratch/cco.out")"
kill "$cco_pid"
wait "$cco_pid" 2>/dev/null || true
cco_pid=""

recap=$(play) || show "the second run failed"
[ "$recap" = "0 0" ] || show "the second run reported changed=${recap%% *}"

# Changed variables, checked: reported, with nothing changed on disk.
before=$(snapshot)
echo "prefix=fleet-0043" >"$scratch/files/pos.properties"
vars cco.zip 7 482917
recap=$(play --check --diff) || show "the check run failed"
# The conf, the site file, the PIN.
[ "${recap%% *}" -ge 3 ] || show "the check run reported changed=${recap%% *}"
grep -q "+countdown = 7" "$scratch/play.log" || show "the diff does not show the new countdown"
grep -q "+prefix=fleet-0043" "$scratch/play.log" || show "the diff does not show the new site file"
[ "$(snapshot)" = "$before" ] || fail "the check run changed files: $(diff <(echo "$before") <(snapshot))"

# A new zip: applied, and reported.
(cd "$scratch" && cp files/cco.zip files/cco2.zip && mkdir -p extra && echo 2 >extra/VERSION && zip -q files/cco2.zip extra/VERSION)
vars cco2.zip
recap=$(play) || show "the run with a new zip failed"
[ "${recap%% *}" -ge 1 ] || show "the new zip was reported unchanged"
[ "$(hash_of_installation)" = "$(sha256sum "$scratch/files/cco2.zip" | cut -d' ' -f1)" ] || fail "the new zip was not applied"
grep -q "Update cco2.zip applied\|Update update.zip applied" "$data/logs/events.log" || fail "the log does not tell the update"

# A zip that is no installation: its task fails, the installation stays.
installed=$(hash_of_installation)
(cd "$scratch/extra" && zip -q ../files/bad.zip VERSION)
vars bad.zip
if recap=$(play); then show "the bad zip's run succeeded"; fi
grep -q "Update refused" "$scratch/play.log" || show "the run does not say why the zip was refused"
{ [ "$(hash_of_installation)" = "$installed" ] && [ -x "$data/CustomerCheckout/run.sh" ]; } || fail "the bad zip touched the installation"

# The role and the example, by the linter's production profile.
(cd "$source_dir/ansible" && ansible-lint --offline --profile production >"$scratch/lint.log" 2>&1) || {
    cat "$scratch/lint.log" >&2
    fail "ansible-lint found faults"
}
ansible-playbook --syntax-check -i "$source_dir/ansible/inventory.example" "$source_dir/ansible/site.yml" >/dev/null
