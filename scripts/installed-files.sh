# Sourced by install.sh and uninstall.sh: removes what an installation into a prefix put in place, and
# nothing else, whatever its manifest says.

# Removes FILE when it is a regular file or a symbolic link (the link, never what it leads to) that lies
# under PREFIX, both taken canonically: a path with `..` or through a link that leads out of the prefix
# names something outside it, which stays. PREFIX is canonical (realpath); `/` is a prefix like any other.
#   remove_installed PREFIX FILE
remove_installed() {
    local prefix=${1%/} file=$2 name parent
    case "$file" in /*) ;; *) return 0 ;; esac
    name=$(basename -- "$file")
    case "$name" in . | .. | / | "") return 0 ;; esac
    parent=$(realpath -e -- "$(dirname -- "$file")" 2>/dev/null) || return 0
    file="${parent%/}/$name"
    case "$file" in "$prefix/"*) ;; *) return 0 ;; esac
    if [ -L "$file" ] || [ -f "$file" ]; then
        rm -f -- "$file"
    fi
}
