#include "installer_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_output.h"
#include "desktop_registration.h"

namespace zpk {

namespace {

constexpr const char* kOffsetMarker = "payload_offset=";
constexpr size_t kOffsetField = 24;  // the offset line keeps this width whatever the number

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

std::string OffsetLine(size_t offset) {
  std::string line = std::string(kOffsetMarker) + std::to_string(offset) + " #";
  line.resize(std::string(kOffsetMarker).size() + kOffsetField, ' ');
  return line;
}

constexpr const char* kStubBody = R"STUB(
if [ "$#" -ne 1 ] || [ -z "$1" ]; then
  echo "usage: sh $0 PREFIX" >&2
  exit 2
fi
command -v unzip >/dev/null 2>&1 || { echo "installing needs the unzip program" >&2; exit 3; }
target=$1/$install_folder
work=$(mktemp -d "${TMPDIR:-/tmp}/zaro-install.XXXXXX")
trap 'rm -rf "$work"' EXIT HUP INT TERM
tail -c +$((payload_offset + 1)) "$0" > "$work/package.zip"
unzip -Z1 "$work/package.zip" > "$work/entries"
# Every entry must stay inside the installation folder.
while IFS= read -r entry; do
  case "$entry" in
    /*|..|../*|*/..|*/../*|.zaro-install|.zaro-install/*|*\\*)
      echo "refusing an unsafe entry: $entry" >&2
      exit 4 ;;
  esac
done < "$work/entries"
if [ -f "$target/.zaro-install/uninstall.sh" ]; then
  sh "$target/.zaro-install/uninstall.sh"
elif [ -e "$target" ] && [ -n "$(ls -A "$target" 2>/dev/null)" ]; then
  echo "$target exists and is not empty" >&2
  exit 5
fi
# Folders this installation creates, deepest first, so that uninstalling removes them.
created=""
dir=$target
while [ ! -d "$dir" ]; do
  created="$created$dir
"
  dir=$(dirname "$dir")
done
mkdir -p "$target/.zaro-install"
unzip -q -o "$work/package.zip" -x mimetype -d "$target"
grep -v -e '^mimetype$' -e '/$' "$work/entries" > "$target/.zaro-install/files" || true
printf '%s' "$created" > "$target/.zaro-install/created-folders"
cat > "$target/.zaro-install/uninstall.sh" <<'UNINSTALL'
#!/bin/sh
# Removes the files the installation wrote, then the folders it made once they are empty.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
while IFS= read -r f; do
  [ -n "$f" ] && rm -f "$here/$f"
done < "$here/.zaro-install/files"
created=$(cat "$here/.zaro-install/created-folders")
rm -f "$here/.zaro-install/files" "$here/.zaro-install/created-folders" "$here/.zaro-install/uninstall.sh"
find "$here" -depth -type d -exec rmdir {} \; 2>/dev/null
printf '%s\n' "$created" | while IFS= read -r d; do
  [ -n "$d" ] && rmdir "$d" 2>/dev/null
done
exit 0
UNINSTALL
echo "installed into $target"
exit 0
)STUB";

}  // namespace

std::string BuildInstallerStub(const std::string& installFolder, const std::string& desktopStep) {
  std::string body = kStubBody;
  body.insert(body.rfind("echo \"installed into"), desktopStep);
  auto build = [&](size_t offset) {
    return std::string("#!/bin/sh\n# Self-extracting installer. Usage: sh INSTALLER PREFIX\nset -eu\n") +
           OffsetLine(offset) + "\ninstall_folder=" + ShellQuote(installFolder) + "\n" + body;
  };
  size_t size = build(0).size();
  return build(size);
}

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Outcome WriteInstaller(const std::string& packagePath, const DescriptorInfo& info, const std::string& output) {
  std::string folder = info.installFolder.empty() ? info.filename : info.installFolder;
  std::string stub = BuildInstallerStub(folder, DesktopRegistrationStep(info));
  std::string error;
  int in = open(packagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(kExitOutput, packagePath + ": cannot be read back (" + std::strerror(errno) + ")\n");
  TemporaryOutput temp;
  if (!temp.Create(output, error)) {
    close(in);
    return Fail(kExitOutput, output + ": cannot be written (" + error + ")\n");
  }
  int out = open(temp.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  bool ok = out >= 0 && WriteAll(out, stub.data(), stub.size());
  std::string buffer(1 << 20, '\0');
  while (ok) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = WriteAll(out, buffer.data(), static_cast<size_t>(n));
  }
  std::string reason = std::strerror(errno);
  close(in);
  if (out >= 0) close(out);
  if (!ok) return Fail(kExitOutput, output + ": cannot be written (" + reason + ")\n");
  if (!temp.Commit(error, 0777)) return Fail(kExitOutput, output + ": cannot be written (" + error + ")\n");
  return Outcome::Ok();
}

bool FindPackageOffset(const std::string& path, unsigned long long& offset) {
  offset = 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[512];
  ssize_t n = read(fd, head, sizeof head);
  close(fd);
  if (n < 0) return false;
  std::string text(head, static_cast<size_t>(n));
  if (text.compare(0, 2, "#!") != 0) return true;
  size_t at = text.find(std::string("\n") + kOffsetMarker);
  if (at == std::string::npos) return false;
  offset = std::strtoull(text.c_str() + at + 1 + std::strlen(kOffsetMarker), nullptr, 10);
  return offset > 0;
}

}  // namespace zpk
