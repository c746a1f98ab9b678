#!/bin/sh
# ansible-doc loads every module of the collection found under the folder $1.
set -eu
export ANSIBLE_COLLECTIONS_PATH="$1" HOME="${TMPDIR:-/tmp}"
for module in corvane_device corvane_device_info corvane_reboot; do
    ansible-doc -t module "corvane.netcam.$module" >/dev/null
done
# Every module of the folder is in the list above.
test "$(ansible-doc -t module -l corvane.netcam | wc -l)" -eq 3
