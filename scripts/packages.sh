# Installs the Debian packages named as arguments that are not installed yet, as root or
# through sudo, and says which. Sourced by the other scripts.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local run_as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Missing packages: ${missing[*]}. Install them as root (apt-get install ${missing[*]}) and run again." >&2
      return 1
    fi
    run_as_root=(sudo)
  fi
  echo "Installing missing packages with apt-get: ${missing[*]}"
  "${run_as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${run_as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
