#include "installer_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_output.h"
#include "desktop_registration.h"
#include "installer_script.h"
#include "zip_writer.h"

namespace zpk {

std::string BuildInstallerStub() { return InstallerScript(InstallerScript(0).size()); }

Outcome AddInstallerEntries(PackageWriter& writer, const DescriptorInfo& info, const std::vector<PackageEntry>& entries) {
  for (const PackageEntry& entry : entries)
    if (entry.name.rfind(kInstallerDataFolder, 0) == 0)
      return UsageError(entry.name + ": this entry name is reserved for the native installer");
  for (const InstallerEntry& generated : InstallerEntries(info)) {
    if (generated.copyOf.empty()) {
      Outcome added = writer.AddBuffer(generated.name, generated.text, true);
      if (!added.ok()) return added;
      continue;
    }
    const PackageEntry* source = nullptr;
    for (const PackageEntry& entry : entries)
      if (entry.name == generated.copyOf) source = &entry;
    if (source == nullptr) return UsageError(generated.copyOf + ": the icon is not in the package");
    PackageEntry copy = *source;
    copy.name = generated.name;
    copy.mode = 0644;
    Outcome added = writer.AddEntry(copy);
    if (!added.ok()) return added;
  }
  return Outcome::Ok();
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

Outcome WriteInstaller(const std::string& packagePath, const std::string& output) {
  std::string stub = BuildInstallerStub();
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
  size_t at = text.find(std::string("\n") + kPayloadOffsetMarker);
  if (at == std::string::npos) return false;
  offset = std::strtoull(text.c_str() + at + 1 + std::strlen(kPayloadOffsetMarker), nullptr, 10);
  return offset > 0;
}

}  // namespace zpk
