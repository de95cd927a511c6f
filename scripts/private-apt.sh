# Sourced by scripts/wine32-root.sh and scripts/qemu-i386-root.sh: downloads Debian packages
# and unpacks them into a folder, through an apt configuration of that folder's own (its
# own source list and package lists, the machine's keyrings), so that neither the
# machine's package state nor its apt settings change, and neither a package list the
# machine's own `apt-get update` failed to fetch nor its architectures matter.
#
#   private_apt_unpack ROOT ARCHITECTURE "SUITE..." PACKAGE...
#
# ROOT, an absolute path, is emptied first. Reads the lists of the given suites of Debian's main
# archive (a suite ending in -security from the security archive) for ARCHITECTURE (and
# the architecture-independent packages), downloads the packages with apt-get download,
# and unpacks each into ROOT with dpkg -x. A failed step is tried once more. Returns 0, or
# prints the reason (apt's own last error) on standard output, one line, and returns 1.
# ROOT/.apt and the downloaded files are removed afterwards.
private_apt_unpack() {
  local root=$1 architecture=$2 suites=$3
  shift 3
  local suite archive output attempt deb error
  rm -rf "$root"
  mkdir -p "$root/.apt/lists/partial" "$root/.debs" || return 1
  for suite in $suites; do
    archive=debian
    case $suite in *-security) archive=debian-security ;; esac
    echo "deb [arch=$architecture] http://deb.debian.org/$archive $suite main"
  done >"$root/.apt/sources.list"
  local options=(
    -o "Dir::Etc::SourceList=$root/.apt/sources.list"
    -o "Dir::Etc::SourceParts=$root/.apt/none"
    -o "Dir::State::Lists=$root/.apt/lists"
    -o "Dir::Cache=$root/.apt/cache"
    -o "APT::Architectures::=$architecture"
  )
  # A list that cannot be fetched is no failure while the packages are found in the others;
  # apt's complaint is the reason given when they are not.
  local complaint=""
  for attempt in 1 2; do
    output=$(LC_ALL=C apt-get "${options[@]}" -q update 2>&1) ||
      complaint=$(printf '%s\n' "$output" | grep -E '^(E|W|Err):' | tail -n 1)
    # (apt's note that it downloads as root, into a folder its own user cannot write, is no
    # error.)
    if output=$(cd "$root/.debs" && LC_ALL=C apt-get "${options[@]}" -q download "$@" 2>&1); then
      break
    fi
    if [ "$attempt" -eq 2 ]; then
      error=$(printf '%s\n' "$output" | grep -E '^(E|W|Err):' | grep -v unsandboxed | tail -n 1)
      echo "apt-get download $* failed: ${error:-$(printf '%s\n' "$output" | tail -n 1)}${complaint:+ (after apt-get update: $complaint)}"
      return 1
    fi
    sleep 5
  done
  for deb in "$root"/.debs/*.deb; do
    if ! error=$(dpkg -x "$deb" "$root" 2>&1); then
      echo "dpkg -x $(basename "$deb") failed: $error"
      return 1
    fi
  done
  rm -rf "$root/.apt" "$root/.debs"
}

# The machine's Debian release (its code name), or the reason there is none.
debian_codename() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ -z "$codename" ]; then
    echo "no Debian release named in /etc/os-release"
    return 1
  fi
  echo "$codename"
}
