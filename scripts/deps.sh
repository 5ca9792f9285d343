# Debian packages the build, the tests and the demo need; sourced by the scripts.
QUILLON_PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev libgtest-dev libssl-dev
  qt6-base-dev libqt6sql6-sqlite libgl-dev libcups2-dev cups libmspack-dev zlib1g-dev
  gcab mscompress python3 python3-pyftpdlib curl
  fonts-noto-cjk xvfb
  qt6-l10n-tools qt6-translations-l10n file dpkg-dev
  lintian desktop-file-utils appstream ccache locales
  libsnmp-dev snmpd cups-ipp-utils avahi-daemon dbus libx11-dev
  ansible-core python3-jsonschema python3-pycodestyle python3-voluptuous yamllint
)

# The suites run under ja_JP.UTF-8, the locale of the program's users; with
# it generated, the C library speaks Japanese too (strerror, ...), so the
# tests are run where it is, as on a user's workstation.
QUILLON_TEST_LOCALE="ja_JP.UTF-8 UTF-8"

quillon_install_deps() {
  local missing=()
  local p
  for p in "${QUILLON_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  quillon_generate_locale
}

quillon_generate_locale() {
  local name=${QUILLON_TEST_LOCALE%% *}
  # locale -a lists ja_JP.utf8; compare without case and dashes.
  local norm have
  norm=$(echo "$name" | tr 'A-Z' 'a-z' | tr -d -- '-')
  have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d -- '-')
  if grep -qx -- "$norm" <<<"$have"; then
    return 0
  fi
  echo "Generating the locale ${name}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  if ! grep -qx "${QUILLON_TEST_LOCALE}" /etc/locale.gen 2>/dev/null; then
    echo "${QUILLON_TEST_LOCALE}" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
}
