#!/usr/bin/env bash
# Builds the Debian package build/corvane_VERSION_ARCH.deb with Debian's hardening flags, and
# checks it with lintian: any error fails. Install it with: apt install ./build/corvane_*.deb
# Also builds the Ansible collection's tarball build/corvane-netcam-VERSION.tar.gz, for a
# controller without the package: ansible-galaxy collection install ./build/corvane-netcam-*.tar.gz
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-dev: dpkg-shlibdeps finds the package's dependencies and dpkg-buildflags the flags;
# file tells CPack which files are programs.
# ansible-core: ansible-galaxy builds the collection's tarball.
scripts/deps.sh dpkg-dev file lintian ansible-core

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_WERROR=ON \
    -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)"
cmake --build build/package -j "$(nproc)"
rm -f build/corvane_*.deb
cpack --config build/package/CPackConfig.cmake -B build
deb=$(ls build/corvane_*.deb)
echo "Package: $deb"
# lintian shows errors and warnings. The warnings left:
# - maintscript-calls-ldconfig [postinst], [postrm]: CPack writes both scripts, calling ldconfig,
#   for any shared library under /usr/lib, also for our private /usr/lib/corvane/libZEKSDK.so.1,
#   which ldconfig does not even index (Corvane loads it by its path). The call is harmless; our
#   own empty scripts in their place would only trade it for maintainer-script-empty.
# - unusual-interpreter /usr/bin/python, for the Ansible collection's modules: "#!/usr/bin/python"
#   is Ansible's convention, and Ansible puts the managed host's own interpreter in its place
#   when it sends a module; the files are not run as they are installed.
lintian --fail-on error "$deb"

rm -f build/corvane-netcam-*.tar.gz
ansible-galaxy collection build ansible/ansible_collections/corvane/netcam --output-path build
echo "Collection: $(ls build/corvane-netcam-*.tar.gz)"
