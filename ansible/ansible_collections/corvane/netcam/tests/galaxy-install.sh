#!/bin/sh
# Builds the collection in $1 into a tarball, as scripts/package.sh does, installs the tarball
# offline into a fresh folder under $2, and reads a module's documentation from that install.
set -eu
collection=$1
work=$2
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home" ANSIBLE_GALAXY_SERVER=http://127.0.0.1:9/
ansible-galaxy collection build "$collection" --output-path "$work" >/dev/null
tarball=$(ls "$work"/corvane-netcam-*.tar.gz)
# The tests stay out of what is shipped.
if tar -tzf "$tarball" | grep -q '^tests/'; then
    echo "the tarball holds the tests" >&2
    exit 1
fi
ansible-galaxy collection install --offline "$tarball" -p "$work/collections" >/dev/null
test -f "$work/collections/ansible_collections/corvane/netcam/MANIFEST.json"
ANSIBLE_COLLECTIONS_PATH="$work/collections" ansible-doc corvane.netcam.corvane_device | grep -q 'CORVANE.NETCAM.CORVANE_DEVICE'
