#include "installer_script.h"

namespace zpk {

namespace {

constexpr std::size_t kOffsetField = 24;  // the offset line keeps this width whatever the number

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

// Shared by the installer and the uninstaller: what an installation record is, how it is
// recognised and how an installation is removed. Paths in the record are relative to the
// prefix, so every install step (also ones writing outside the installation folder) lists
// its files the same way; a line that could leave the prefix is never acted upon.
constexpr const char* kRecordFunctions = R"SH(
record_dir=.zaro-install
record_magic="zaro-install-record 1"

# True for a prefix-relative path that stays inside the prefix.
is_inside_path() {
  case "$1" in
    ''|/*|.|..|../*|*/..|*/../*|./*|*/.|*/./*|*\\*) return 1 ;;
  esac
  return 0
}

sha256_of() {
  openssl dgst -sha256 -r < "$1" | cut -d ' ' -f 1
}

# True when TARGET holds a record this application's installer wrote and it is unchanged.
is_own_record() {
  r=$1/$record_dir
  for f in record files created-folders; do
    [ -f "$r/$f" ] && [ ! -L "$r/$f" ] || return 1
  done
  [ ! -L "$r" ] || return 1
  [ "$(sed -n 1p "$r/record")" = "$record_magic" ] || return 1
  [ "$(sed -n 2p "$r/record")" = "application=$application_id" ] || return 1
  [ "$(sed -n 3p "$r/record")" = "files=$(sha256_of "$r/files")" ] || return 1
  [ "$(sed -n 4p "$r/record")" = "folders=$(sha256_of "$r/created-folders")" ] || return 1
}

# Removes the regular files an installation under PREFIX recorded, the empty folders left
# in TARGET, then the folders the installation created, deepest first. File types it
# registered with the desktop are taken off the desktop's databases as well.
remove_installation() {
  prefix_dir=$1
  target_dir=$2
  physical=$(cd "$prefix_dir" && pwd -P) || return 1
  had_mime=""
  had_entry=""
  grep -q '^share/mime/packages/' "$target_dir/$record_dir/files" && had_mime=1
  grep -q '^share/applications/' "$target_dir/$record_dir/files" && had_entry=1
  while IFS= read -r f; do
    is_inside_path "$f" || { echo "not removed, outside the installation: $f" >&2; continue; }
    parent=$(cd "$prefix_dir/$(dirname "./$f")" 2>/dev/null && pwd -P) || continue
    case "$parent" in
      "$physical"|"$physical"/*) ;;
      *) echo "not removed, outside the installation: $f" >&2; continue ;;
    esac
    if [ -f "$prefix_dir/$f" ] && [ ! -L "$prefix_dir/$f" ]; then rm -f "$prefix_dir/$f"; fi
  done < "$target_dir/$record_dir/files"
  created=$(cat "$target_dir/$record_dir/created-folders")
  rm -f "$target_dir/$record_dir/record" "$target_dir/$record_dir/files" "$target_dir/$record_dir/created-folders"
  if [ -n "$had_mime" ] && [ -d "$prefix_dir/share/mime/packages" ] && command -v update-mime-database >/dev/null 2>&1; then
    update-mime-database "$prefix_dir/share/mime" >/dev/null 2>&1 || true
  fi
  if [ -n "$had_entry" ] && [ -d "$prefix_dir/share/applications" ] &&
     command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database "$prefix_dir/share/applications" >/dev/null 2>&1 || true
  fi
  # A database folder this installation made holds only generated files once no package
  # is left in it.
  if printf '%s\n' "$created" | grep -qxF share/mime && [ ! -L "$prefix_dir/share/mime" ] &&
     [ -z "$(ls -A "$prefix_dir/share/mime/packages" 2>/dev/null)" ]; then
    rm -rf "$prefix_dir/share/mime"
  fi
  if printf '%s\n' "$created" | grep -qxF share/applications &&
     ! ls "$prefix_dir/share/applications"/*.desktop >/dev/null 2>&1; then
    rm -f "$prefix_dir/share/applications/mimeinfo.cache"
  fi
  find "$target_dir" -depth -type d -exec rmdir {} \; 2>/dev/null || true
  # Deepest first: a longer path is never a parent of a shorter one.
  printf '%s\n' "$created" | awk '{ print length($0) " " $0 }' | sort -rn | cut -d' ' -f2- |
    while IFS= read -r d; do
      is_inside_path "$d" && rmdir "$prefix_dir/$d" 2>/dev/null || true
    done
  return 0
}
)SH";

constexpr const char* kInstallBody = R"SH(
if [ "$#" -ne 1 ] || [ -z "$1" ]; then
  echo "usage: sh $0 PREFIX" >&2
  exit 2
fi
for program in unzip openssl; do
  command -v "$program" >/dev/null 2>&1 || { echo "installing needs the $program program" >&2; exit 3; }
done
# A prefix is a folder, never an option of the programs it is handed to.
case "$1" in
  /*) prefix=$1 ;;
  *) prefix=./$1 ;;
esac
target=$prefix/$install_folder
work=$(mktemp -d "${TMPDIR:-/tmp}/zaro-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
package=$work/package.zip
tail -c +$((payload_offset + 1)) "$0" > "$package"

refuse() {
  echo "the package does not verify, nothing was installed: $1" >&2
  exit 6
}

# ---- Check the package before anything is written --------------------------------------
unzip -Z1 "$package" > "$work/entries" 2>/dev/null || refuse "it is not a readable archive"
[ "$(sed -n 1p "$work/entries")" = mimetype ] || refuse "the first entry is not mimetype"
# Every entry must stay inside the installation folder.
while IFS= read -r entry; do
  case "$entry" in
    /*|..|../*|*/..|*/../*|$record_dir|$record_dir/*|*\\*)
      echo "refusing an unsafe entry: $entry" >&2
      exit 4 ;;
  esac
done < "$work/entries"
[ -z "$(sort "$work/entries" | uniq -d)" ] || refuse "an entry is given twice"
# Only names and contents are signed: links, devices and pipes are refused.
plain=$(unzip -Z -s "$package" | awk 'NF >= 9 && $2 ~ /^[0-9]+\.[0-9]+$/ && $1 ~ /^[-d]/' | wc -l)
[ "$plain" -eq "$(wc -l < "$work/entries")" ] || refuse "an entry is not a regular file or folder"
mkdir "$work/stage"
unzip -q "$package" -d "$work/stage" </dev/null || refuse "the archive cannot be unpacked"
[ -z "$(find "$work/stage" ! -type f ! -type d)" ] || refuse "an entry is not a regular file or folder"
[ "$(head -c 100 "$work/stage/mimetype")" = "application/vnd.corvane.zaro-package+zip" ] ||
  refuse "it is not a signed package"
signatures=$work/stage/META-INF/signatures.xml
[ -f "$signatures" ] || refuse "it is not signed"
# The signed bytes: the manifest element exactly as stored.
awk '/^<manifest /{on=1} on{printf "%s%s", sep, $0; sep="\n"} on && /^<\/manifest>$/{exit}' "$signatures" \
  > "$work/manifest"
sed -n 's|^<signature algorithm="RSA-SHA256">\([A-Za-z0-9+/=]*\)</signature>$|\1|p' "$signatures" |
  openssl base64 -d -A > "$work/signature" 2>/dev/null || refuse "the signature is malformed"
sed -n 's|^<certificate>\([A-Za-z0-9+/=]*\)</certificate>$|\1|p' "$signatures" | sed -n 1p |
  openssl base64 -d -A > "$work/signer.der" 2>/dev/null || refuse "the signer's certificate is malformed"
openssl x509 -inform DER -in "$work/signer.der" -out "$work/signer.pem" 2>/dev/null ||
  refuse "the signer's certificate is malformed"
openssl x509 -in "$work/signer.pem" -pubkey -noout > "$work/signer.key" 2>/dev/null ||
  refuse "the signer's certificate is malformed"
openssl dgst -sha256 -verify "$work/signer.key" -signature "$work/signature" "$work/manifest" >/dev/null 2>&1 ||
  refuse "the signature does not match the manifest and the signer's certificate"
if ! grep -q '^<timestamp>' "$signatures"; then
  openssl x509 -in "$work/signer.pem" -noout -checkend 0 >/dev/null 2>&1 ||
    refuse "the signer's certificate has expired and the package carries no time stamp"
fi
# Every entry but the signature file has its digest in the manifest, and nothing more.
sed -n 's|^<entry name="\(.*\)" digest="\([A-Za-z0-9+/=]*\)"/>$|\2 \1|p' "$work/manifest" |
  sed -e 's/&quot;/"/g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g' | LC_ALL=C sort > "$work/expected"
while IFS= read -r entry; do
  [ "$entry" = META-INF/signatures.xml ] && continue
  case "$entry" in
    */) digest=$(printf '' | openssl dgst -sha256 -binary | openssl base64 -A) ;;
    *) [ -f "$work/stage/$entry" ] || refuse "the entry $entry is missing"
       digest=$(openssl dgst -sha256 -binary < "$work/stage/$entry" | openssl base64 -A) ;;
  esac
  printf '%s %s\n' "$digest" "$entry"
done < "$work/entries" | LC_ALL=C sort > "$work/actual"
cmp -s "$work/expected" "$work/actual" ||
  refuse "the entries do not match the signed manifest ($(LC_ALL=C comm -3 "$work/expected" "$work/actual" |
    sed -n '1s/^[[:space:]]*[^ ]* //p'))"
echo "signer: $(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt RFC2253,-esc_msb | sed 's/^subject=//')"

# ---- Make room: only an installation record this installer recognises is acted upon ----
if [ -e "$target/$record_dir" ] || [ -L "$target/$record_dir" ]; then
  if is_own_record "$target"; then
    remove_installation "$prefix" "$target"
  else
    echo "$target holds an installation that this installer did not make; remove it first" >&2
    exit 5
  fi
elif [ -e "$target" ] && [ -n "$(ls -A "$target" 2>/dev/null)" ]; then
  echo "$target exists and is not empty" >&2
  exit 5
fi

# ---- Install: every step lists what it writes with record_file -------------------------
# Folders this installation creates (prefix-relative, deepest first).
created=""
rel=$install_folder
while [ "$rel" != . ] && [ ! -d "$prefix/$rel" ]; do
  created="$created$rel
"
  rel=$(dirname "./$rel")
  rel=${rel#./}
  [ -n "$rel" ] || rel=.
done
mkdir -p "$target/$record_dir"
: > "$work/files"
record_file() {
  printf '%s\n' "$1" >> "$work/files"
}

unzip -q -o "$package" -x mimetype -d "$target" </dev/null
grep -v -e '^mimetype$' -e '/$' "$work/entries" | while IFS= read -r entry; do
  record_file "$install_folder/$entry"
done
@DESKTOP@

cat > "$target/$record_dir/uninstall.sh" <<'UNINSTALL'
@UNINSTALLER@
UNINSTALL
chmod 755 "$target/$record_dir/uninstall.sh"
record_file "$install_folder/$record_dir/uninstall.sh"

cp "$work/files" "$target/$record_dir/files"
printf '%s' "$created" > "$target/$record_dir/created-folders"
{
  echo "$record_magic"
  echo "application=$application_id"
  echo "files=$(sha256_of "$target/$record_dir/files")"
  echo "folders=$(sha256_of "$target/$record_dir/created-folders")"
} > "$target/$record_dir/record"
echo "installed into $target"
exit 0
)SH";

constexpr const char* kUninstallBody = R"SH(
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${here%/"$install_folder"}
if [ "$prefix" = "$here" ] || ! is_own_record "$here"; then
  echo "$here does not hold a recognised installation of $application_id" >&2
  exit 1
fi
remove_installation "$prefix" "$here"
exit 0)SH";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string InstallerScript(std::size_t payloadOffset, const std::string& installFolder,
                            const std::string& applicationId, const std::string& desktopStep) {
  std::string offsetLine = std::string(kPayloadOffsetMarker) + std::to_string(payloadOffset) + " #";
  offsetLine.resize(std::string(kPayloadOffsetMarker).size() + kOffsetField, ' ');
  const std::string names =
      "install_folder=" + ShellQuote(installFolder) + "\napplication_id=" + ShellQuote(applicationId) + "\n";
  const std::string uninstaller = "#!/bin/sh\n# Removes what the installation wrote, then the folders it made once they "
                                  "are empty.\nset -u\n" + names + kRecordFunctions + kUninstallBody;
  return "#!/bin/sh\n# Self-extracting installer. Usage: sh INSTALLER PREFIX\nset -eu\n" + offsetLine + "\n" + names +
         kRecordFunctions +
         Replace(Replace(kInstallBody, "@DESKTOP@", desktopStep), "@UNINSTALLER@", uninstaller);
}

}  // namespace zpk
