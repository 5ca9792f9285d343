# Debian packages the build, the tests and the demo need; sourced by the scripts.
QUILLON_PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev libgtest-dev libssl-dev
  qt6-base-dev libqt6sql6-sqlite libgl-dev libcups2-dev cups libmspack-dev zlib1g-dev
  gcab mscompress python3 python3-pyftpdlib curl
  fonts-noto-cjk xvfb
  qt6-l10n-tools qt6-translations-l10n file dpkg-dev
  lintian desktop-file-utils appstream ccache
)

quillon_install_deps() {
  local missing=()
  local p
  for p in "${QUILLON_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}
