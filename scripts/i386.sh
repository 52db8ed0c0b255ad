# How this machine runs 32-bit x86 Linux programs, Wine's among them: by
# itself, or through a user-mode emulator registered with binfmt_misc.
# Sourced by common.sh (for the tests) and by deps (which sets it up).

# The emulator that deps installs where the machine cannot run 32-bit code:
# Debian 13's qemu-i386, a static program that runs on Debian 12 as it is.
# Debian 12's own (7.2) takes about 50 s of CPU to start each Wine process.
i386_emulator_suite=trixie
i386_emulator_dir=/usr/local/lib/devicelist-qemu
i386_emulator_entry=devicelist-i386
binfmt=/proc/sys/fs/binfmt_misc

# A 93-byte static i386 program that exits with 42, written to $1. With a
# second argument, the last padding byte of its ELF identification is 1: the
# kernel ignores that byte, and the usual emulator registrations (Debian's,
# systemd's, Docker's) require it to be 0, so that copy only runs natively.
i386_probe() {
  base64 -d >"$1" <<<'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAMcBAMduzKs2A'
  [ $# -lt 2 ] || printf '\001' | dd of="$1" bs=1 seek=15 conv=notrunc status=none
  chmod +x "$1"
}

# Whether the kernel runs 32-bit programs itself (some machines run 64-bit
# user code only: "IA-32 emulation off" in the kernel log). Asked of the
# machine, not of the kernel's version or configuration.
i386_runs_natively() {
  local probe status=0
  probe=$(mktemp)
  i386_probe "$probe" unmatched
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# Prints the interpreter of an enabled binfmt_misc entry that takes i386 ELF
# programs (machine 3 at offset 18), if there is one. Where one is, Wine's
# 32-bit programs run through it, even on a machine that could run them
# itself.
i386_handler() {
  local entry
  [ -e "$binfmt/status" ] || return 0
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register | status) continue ;; esac
    [ -r "$entry" ] || continue
    awk '
      $1 == "enabled" { on = 1 }
      $1 == "interpreter" { interpreter = $2 }
      $1 == "offset" && $2 != 0 { other = 1 }
      $1 == "magic" { magic = $2 }
      END {
        if (on && !other && substr(magic, 1, 10) == "7f454c4601" && substr(magic, 37, 4) == "0300")
          print interpreter
      }' "$entry"
  done | head -n 1
}

# Prints what runs this machine's 32-bit code under emulation, as one short
# phrase ("qemu-i386 10.0.13"), or nothing where the machine runs it itself.
i386_emulation() {
  local handler
  handler=$(i386_handler)
  [ -n "$handler" ] || return 0
  local version
  version=$("$handler" --version 2>/dev/null | sed -n '1s/.* version \([^ ]*\).*/\1/p')
  echo "${handler##*/} ${version:-(version unknown)}"
}

# Installs the emulator (once) and registers it for i386 ELF programs, with
# the F flag: the kernel opens it now, so that it works in every mount
# namespace and chroot. Idempotent. Prints one line of what it did, nothing
# where nothing was needed.
i386_setup() {
  if i386_runs_natively; then return 0; fi
  local qemu="$i386_emulator_dir/qemu-i386"
  if [ -e "$binfmt/$i386_emulator_entry" ] && [ "$(i386_handler)" = "$qemu" ] && [ -x "$qemu" ]; then
    return 0
  fi
  if [ ! -x "$qemu" ]; then i386_install_emulator "$qemu"; fi
  if [ ! -e "$binfmt/status" ]; then mount -t binfmt_misc binfmt_misc "$binfmt"; fi
  if [ -e "$binfmt/$i386_emulator_entry" ]; then echo -1 >"$binfmt/$i386_emulator_entry"; fi
  # The magic and mask are qemu's own for i386 (ELF32, little-endian, an
  # executable or a shared object, machine 3).
  printf ':%s:M::%s:%s:%s:F\n' "$i386_emulator_entry" \
    '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
    '\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
    "$qemu" >"$binfmt/register"
  local probe status=0
  probe=$(mktemp)
  i386_probe "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  if [ "$status" -ne 42 ]; then
    echo "deps: this machine runs no 32-bit programs, and $qemu, registered for them, does not run one either" >&2
    return 1
  fi
  echo "32-bit programs: this machine runs 64-bit code only; registered $(i386_emulation) for them (binfmt_misc entry $i386_emulator_entry)"
}

# Takes qemu-i386 out of Debian 13's qemu-user package with an apt
# configuration of its own: the machine's package sources stay as they are,
# and apt checks the download against Debian's archive keys as always.
i386_install_emulator() {
  local qemu=$1 work
  work=$(mktemp -d)
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
    "http://deb.debian.org/debian $i386_emulator_suite main" >"$work/sources.list"
  local apt_options=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=-
    -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o Dir::State::status=/dev/null
    -o APT::Architecture=amd64 -o APT::Architectures::=amd64 -o Debug::NoLocking=1
    -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" -qq update
  (cd "$work" && apt-get "${apt_options[@]}" -qq download qemu-user)
  dpkg-deb --fsys-tarfile "$work"/qemu-user_*.deb | tar -xf - -C "$work" ./usr/bin/qemu-i386
  mkdir -p "$i386_emulator_dir"
  mv "$work/usr/bin/qemu-i386" "$qemu.new"
  mv "$qemu.new" "$qemu"
  rm -rf "$work"
}
