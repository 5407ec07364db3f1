# Sourced by the benchmarks: install_missing_tools TOOL... installs, from
# Debian and without recommends, the packages of the tools not on PATH.
install_missing_tools() {
  local tool missing=() packages=() sudo_cmd=()
  for tool in "$@"; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  ((${#missing[@]} > 0)) || return 0
  for tool in "${missing[@]}"; do
    case $tool in
      Xvfb) packages+=(xvfb) ;;
      Xephyr) packages+=(xserver-xephyr) ;;
      convert) packages+=(imagemagick) ;;
      *) packages+=("$tool") ;;
    esac
  done
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}"
}
