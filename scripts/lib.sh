# Shared by scripts/test and scripts/run; sourced from the source tree's root.

# Installs the packages of scripts/packages that are missing, or not at their
# pinned version: one "apt-get update", then one "apt-get install".
install_missing_packages() {
    local missing=() package name version
    for package in $(sed 's/#.*//' scripts/packages); do
        name=${package%%=*} version=${package#"$name"}
        version=${version#=}
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" != installed ] ||
            { [ -n "$version" ] && [ "$(dpkg-query -W -f='${Version}' "$name")" != "$version" ]; }; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Run this as root, or install them with: apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "Installing Debian packages: ${missing[*]}"
    apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --allow-downgrades "${missing[@]}"
}

# A build folder configured from another copy of the tree (a copied or
# committed build/) would make CMake refuse; start it afresh instead.
forget_foreign_build() {
    local cache="build/$1/CMakeCache.txt"
    if [ -f "$cache" ] && ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$PWD" "$cache"; then
        echo "build/$1 was configured for another source tree; starting it afresh"
        rm -rf "build/$1"
    fi
}

# Configures and builds one preset, at most two compile jobs at a time.
build_preset() {
    forget_foreign_build "$1" &&
        cmake --preset "$1" &&
        cmake --build --preset "$1" -j2
}
