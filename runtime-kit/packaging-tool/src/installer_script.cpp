#include "installer_script.h"

namespace zpk {

namespace {

constexpr std::size_t kOffsetField = 24;  // the offset line keeps this width whatever the number

// Shared by the installer and the uninstaller: what an installation record and a journal
// are, how they are recognised, and how an installation is removed or taken back. Paths
// are relative to the prefix; nothing is written or removed through a link, and a line
// that could leave the prefix is never acted upon.
constexpr const char* kFunctions = R"SH(
record_dir=.zaro-install
record_magic="zaro-install-record 2"
journal_magic="zaro-install-journal 2"
data_dir=META-INF/ZARO/desktop
# What update-mime-database generates beside packages/ and the media-type folders.
mime_generated="XMLnamespaces aliases generic-icons globs globs2 icons magic mime.cache subclasses treemagic types version
  XMLnamespaces.new aliases.new generic-icons.new globs.new globs2.new icons.new magic.new mime.cache.new subclasses.new
  treemagic.new types.new version.new"

# True for a prefix-relative path that stays inside the prefix.
is_inside_path() {
  case "$1" in
    ''|/*|.|..|../*|*/..|*/../*|./*|*/.|*/./*|*\\*) return 1 ;;
  esac
  return 0
}

# True when the text holds a line break or another control character.
has_control() {
  [ "$(printf '%s' "$1" | LC_ALL=C tr -d '\001-\037\177')" != "$1" ]
}

sha256_of() {
  openssl dgst -sha256 -r < "$1" | cut -d ' ' -f 1
}

# True when nothing on the prefix-relative path is a link and every part but the last that
# exists is a folder. Parts that do not exist yet are made as folders when needed.
plain_path() {
  pp_rest=$1
  pp_at=$prefix
  while [ -n "$pp_rest" ]; do
    case "$pp_rest" in
      */*) pp_part=${pp_rest%%/*}; pp_rest=${pp_rest#*/} ;;
      *) pp_part=$pp_rest; pp_rest= ;;
    esac
    pp_at=$pp_at/$pp_part
    if [ -L "$pp_at" ]; then return 1; fi
    if [ ! -e "$pp_at" ]; then return 0; fi
    if [ -n "$pp_rest" ] && [ ! -d "$pp_at" ]; then return 1; fi
  done
  return 0
}

# True for a registration file this application id may have written outside its folder.
is_registration_path() {
  case "$1" in
    "share/mime/packages/$application_id.xml"|"share/applications/$application_id.desktop") return 0 ;;
    share/icons/hicolor/*/mimetypes/*.png)
      case "${1#share/icons/hicolor/}" in */*/*/*) return 1 ;; esac
      return 0 ;;
  esac
  return 1
}

# Removes one recorded file: a regular file reached without a link. A file outside the
# installation folder goes only while it holds what was installed (DIGEST), since another
# application may have put its own there since.
remove_file() {
  if ! is_inside_path "$2"; then
    echo "not removed, outside the installation: $2" >&2
    return 0
  fi
  if ! plain_path "$2"; then
    echo "not removed, a link is on its path: $2" >&2
    return 0
  fi
  [ -e "$prefix/$2" ] || return 0
  if [ ! -f "$prefix/$2" ]; then
    echo "not removed, not a file: $2" >&2
    return 0
  fi
  case "$2" in
    "$install_folder"/*) ;;
    *) if ! is_registration_path "$2" || [ "$(sha256_of "$prefix/$2")" != "$1" ]; then
         echo "not removed, not as installed: $2" >&2
         return 0
       fi ;;
  esac
  rm -f "$prefix/$2"
  removed_files="$removed_files$2
"
}

# Regenerates the desktop's databases under the prefix after registration files went.
# Once no package is left in the MIME database, the files it generated (an empty
# database) go too, by name; anything else in it stays, and so does the folder then. The
# same holds for the desktop entries' cache once no entry is left. LIST names the files
# that went (one a line, as recorded): only databases it touched are refreshed.
refresh_databases() {
  rd_mime=$prefix/share/mime
  if printf '%s\n' "$1" | grep -q 'share/mime/packages/' && plain_path share/mime/packages &&
     [ -d "$rd_mime/packages" ]; then
    if command -v update-mime-database >/dev/null 2>&1; then
      update-mime-database "$rd_mime" >/dev/null 2>&1 || true
    fi
    if [ -z "$(ls -A "$rd_mime/packages")" ]; then
      for rd_name in $mime_generated; do
        if [ -f "$rd_mime/$rd_name" ] && [ ! -L "$rd_mime/$rd_name" ]; then rm -f "$rd_mime/$rd_name"; fi
      done
      for rd_name in "$rd_mime"/*/; do
        [ ! -L "${rd_name%/}" ] || continue
        # What a database update stopped outright left behind: its own new files.
        for rd_left in "$rd_name"*.xml.new; do
          if [ -f "$rd_left" ] && [ ! -L "$rd_left" ]; then rm -f "$rd_left"; fi
        done
        rmdir "$rd_name" 2>/dev/null || true
      done
    fi
  fi
  rd_apps=$prefix/share/applications
  if printf '%s\n' "$1" | grep -q 'share/applications/' && plain_path share/applications && [ -d "$rd_apps" ]; then
    if command -v update-desktop-database >/dev/null 2>&1; then
      update-desktop-database "$rd_apps" >/dev/null 2>&1 || true
    fi
    if ! ls "$rd_apps"/*.desktop >/dev/null 2>&1 && [ -f "$rd_apps/mimeinfo.cache" ] &&
       [ ! -L "$rd_apps/mimeinfo.cache" ]; then
      rm -f "$rd_apps/mimeinfo.cache"
    fi
  fi
}

# Removes the folders an installation made once they are empty: those inside FOLDER
# (prefix-relative), the listed ones deepest first, then the last COUNT parts of the prefix.
remove_folders() {
  if plain_path "$1" && [ -d "$prefix/$1" ]; then
    find "$prefix/$1" -depth -type d -exec rmdir {} \; 2>/dev/null || true
  fi
  # A longer path is never a parent of a shorter one.
  printf '%s\n' "$2" | awk 'NF { print length($0) " " $0 }' | sort -rn | cut -d' ' -f2- |
    while IFS= read -r rf_dir; do
      if is_inside_path "$rf_dir" && plain_path "$rf_dir"; then rmdir "$prefix/$rf_dir" 2>/dev/null || true; fi
    done
  case "$3" in ''|*[!0-9]*) return 0 ;; esac
  rf_at=$prefix
  rf_left=$3
  while [ "$rf_left" -gt 0 ] && rmdir "$rf_at" 2>/dev/null; do
    rf_at=$(dirname "$rf_at")
    rf_left=$((rf_left - 1))
  done
  return 0
}

# True when the installation folder holds a record that an installer of this application
# wrote, unchanged since, beside this application's installation data.
is_own_record() {
  r=$target/$record_dir
  plain_path "$install_folder/$record_dir/record" && [ -d "$r" ] || return 1
  for f in record files created-folders; do
    [ -f "$r/$f" ] && [ ! -L "$r/$f" ] || return 1
  done
  [ "$(sed -n 1p "$r/record")" = "$record_magic" ] || return 1
  [ "$(sed -n 2p "$r/record")" = "application=$application_id" ] || return 1
  [ "$(sed -n 3p "$r/record")" = "files=$(sha256_of "$r/files")" ] || return 1
  [ "$(sed -n 4p "$r/record")" = "folders=$(sha256_of "$r/created-folders")" ] || return 1
  own_data=$target/$data_dir/install
  plain_path "$install_folder/$data_dir/install" && [ -f "$own_data" ] || return 1
  [ "$(sed -n 's/^folder=//p' "$own_data")" = "$install_folder" ] &&
    [ "$(sed -n 's/^application=//p' "$own_data")" = "$application_id" ]
}

# Removes an installation by its record: the files it lists, then the folders it made
# once empty; the desktop's databases are regenerated.
remove_installation() {
  r=$target/$record_dir
  ri_created=$(cat "$r/created-folders")
  ri_prefix_count=$(sed -n 's/^prefix-folders=//p' "$r/record")
  removed_files=""
  while IFS= read -r ri_line; do
    remove_file "${ri_line%% *}" "${ri_line#* }"
  done < "$r/files"
  refresh_databases "$removed_files"
  for f in record files created-folders journal; do
    for ri_path in "$r/$f" "$r/.$f.zaro-new"; do
      if [ -f "$ri_path" ] && [ ! -L "$ri_path" ]; then rm -f "$ri_path"; fi
    done
  done
  remove_folders "$install_folder" "$ri_created" "$ri_prefix_count"
}

# True when folder $1 (prefix-relative) holds a journal of an installation of this
# application that did not finish.
has_own_journal() {
  plain_path "$1/$record_dir/journal" && [ -f "$prefix/$1/$record_dir/journal" ] &&
    [ "$(sed -n 1p "$prefix/$1/$record_dir/journal")" = "$journal_magic" ] &&
    [ "$(sed -n 2p "$prefix/$1/$record_dir/journal")" = "application=$application_id" ]
}

# Takes back an installation that stopped half way, by the journal in folder $1 (the
# staging folder or the installation folder, prefix-relative): the registration files it
# was writing, the package's files, then the folders it made.
undo_journal() {
  uj_journal=$prefix/$1/$record_dir/journal
  uj_created=$(sed -n 's/^folder //p' "$uj_journal")
  uj_prefix_count=$(sed -n 's/^prefix-folders=//p' "$uj_journal")
  sed -n 's/^file //p' "$uj_journal" | while IFS= read -r uj_file; do
    is_registration_path "$uj_file" || continue
    for uj_path in "$uj_file" "$(dirname "$uj_file")/.$(basename "$uj_file").zaro-new"; do
      if plain_path "$uj_path" && [ -f "$prefix/$uj_path" ] && [ ! -L "$prefix/$uj_path" ]; then
        rm -f "$prefix/$uj_path"
      fi
    done
  done
  if [ -f "$prefix/$1/$record_dir/entries" ]; then
    while IFS= read -r uj_entry; do
      if is_inside_path "$uj_entry" && plain_path "$1/$uj_entry" && [ -f "$prefix/$1/$uj_entry" ]; then
        rm -f "$prefix/$1/$uj_entry"
      fi
    done < "$prefix/$1/$record_dir/entries"
  fi
  refresh_databases "$(sed -n 's/^file //p' "$uj_journal")"
  # A kill while a record file was written leaves its temporary name beside it.
  for f in entries uninstall.sh files created-folders record journal; do
    for uj_path in "$prefix/$1/$record_dir/$f" "$prefix/$1/$record_dir/.$f.zaro-new"; do
      if [ -f "$uj_path" ] && [ ! -L "$uj_path" ]; then rm -f "$uj_path"; fi
    done
  done
  remove_folders "$1" "$uj_created" "$uj_prefix_count"
}
)SH";

constexpr const char* kInstallBody = R"SH(
if [ "$#" -ne 1 ] || [ -z "$1" ]; then
  echo "usage: sh $0 PREFIX" >&2
  exit 2
fi
if has_control "$1"; then
  echo "the prefix holds a line break or a control character; nothing was installed" >&2
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
work=$(mktemp -d "${TMPDIR:-/tmp}/zaro-install.XXXXXX")
journal=""
journal_folder=""
staging_made=""
# Stopped by a signal, the installation is taken back; stopped outright, running the
# installer (or the uninstaller, once there) again does it.
stopped() {
  trap '' HUP INT TERM
  if [ -n "$journal_folder" ] && has_own_journal "$journal_folder"; then
    undo_journal "$journal_folder"
    echo "stopped; the installation was taken back" >&2
  elif [ -n "$staging_made" ]; then
    remove_bare_staging
  fi
  exit "$1"
}
# Removes what an installer stopped before its journal was written leaves: the staging
# folder, its record folder and an empty journal. Anything more stays, and is in the way.
remove_bare_staging() {
  [ -d "$staging" ] && [ ! -L "$staging" ] || return 0
  rb_journal=$staging/$record_dir/journal
  if [ -f "$rb_journal" ] && [ ! -L "$rb_journal" ] && [ ! -s "$rb_journal" ]; then rm -f "$rb_journal"; fi
  rmdir "$staging/$record_dir" 2>/dev/null || true
  rmdir "$staging" 2>/dev/null || true
}
trap 'rm -rf "$work"' EXIT
trap 'stopped 129' HUP
trap 'stopped 130' INT
trap 'stopped 143' TERM
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

# ---- What the verified package says about its installation -----------------------------
data=$work/stage/$data_dir/install
[ -f "$data" ] || refuse "it carries no installation data ($data_dir/install)"
install_folder=$(sed -n 's/^folder=//p' "$data")
application_id=$(sed -n 's/^application=//p' "$data")
if ! is_inside_path "$install_folder" || has_control "$install_folder" || [ -z "$application_id" ] ||
   has_control "$application_id" || ! is_inside_path "$application_id"; then
  refuse "its installation data is malformed"
fi
target=$prefix/$install_folder
staging_rel=.zaro-staging-$application_id
staging=$prefix/$staging_rel
case "$install_folder" in
  */*) parent_rel=${install_folder%/*} ;;
  *) parent_rel= ;;
esac
: > "$work/registration"
if [ -d "$work/stage/$data_dir/share" ]; then
  (cd "$work/stage/$data_dir" && find share -type f) | LC_ALL=C sort > "$work/registration"
fi

# ---- Nothing on the way may be a link or something other than a folder ----------------
in_the_way() {
  echo "$prefix/$1: a link or something other than a folder is in the way; nothing was installed" >&2
  exit 7
}
prefix_missing=0
above=$prefix
while [ ! -e "$above" ] && [ ! -L "$above" ]; do
  prefix_missing=$((prefix_missing + 1))
  above=$(dirname "$above")
done
[ -d "$above" ] || { echo "$above is not a folder; nothing was installed" >&2; exit 7; }
plain_path "$install_folder" || in_the_way "$install_folder"
plain_path "$staging_rel" || in_the_way "$staging_rel"
while IFS= read -r f; do
  plain_path "$f" || in_the_way "$f"
  [ ! -d "$prefix/$f" ] || in_the_way "$f"
done < "$work/registration"

# ---- Make room: only what an installer of this application left is acted upon ----------
kept_folders=""
if [ -e "$target/$record_dir" ] || [ -L "$target/$record_dir" ]; then
  if is_own_record; then
    remove_installation
    # Folders the earlier installation made that others' files keep: this one made them now.
    kept_folders=$(printf '%s\n' "$ri_created" | while IFS= read -r d; do
      if [ -n "$d" ] && [ -d "$prefix/$d" ]; then printf '%s\n' "$d"; fi
    done)
    case "$ri_prefix_count" in ''|*[!0-9]*) ;; *) [ "$prefix_missing" -gt 0 ] || prefix_missing=$ri_prefix_count ;; esac
  elif has_own_journal "$install_folder"; then
    echo "taking back an installation that did not finish" >&2
    undo_journal "$install_folder"
  else
    echo "$target holds an installation that this installer did not make; remove it first" >&2
    exit 5
  fi
fi
if [ -e "$staging" ]; then
  if has_own_journal "$staging_rel"; then
    echo "taking back an installation that did not finish" >&2
    undo_journal "$staging_rel"
  fi
  remove_bare_staging
  if [ -e "$staging" ] || [ -L "$staging" ]; then
    echo "$staging is in the way; remove it first" >&2
    exit 5
  fi
fi
if [ -e "$target" ] && [ -n "$(ls -A "$target" 2>/dev/null)" ]; then
  echo "$target exists and is not empty" >&2
  exit 5
fi

# ---- Install: the journal names what is made before it is made -------------------------
write_failed() {
  echo "$1: cannot be written; the installation was taken back" >&2
  trap '' HUP INT TERM
  if [ -n "$journal_folder" ] && has_own_journal "$journal_folder"; then undo_journal "$journal_folder"; fi
  exit 8
}
note() {
  printf '%s\n' "$1" >> "$journal" || write_failed "$journal"
}
# Makes the missing folders of a prefix-relative path one by one, each noted first.
make_folders() {
  mf_rest=$1
  mf_rel=
  while [ -n "$mf_rest" ]; do
    case "$mf_rest" in
      */*) mf_part=${mf_rest%%/*}; mf_rest=${mf_rest#*/} ;;
      *) mf_part=$mf_rest; mf_rest= ;;
    esac
    mf_rel=${mf_rel:+$mf_rel/}$mf_part
    if [ -L "$prefix/$mf_rel" ] || { [ -e "$prefix/$mf_rel" ] && [ ! -d "$prefix/$mf_rel" ]; }; then
      echo "$prefix/$mf_rel: a link or something other than a folder is in the way" >&2
      write_failed "$prefix/$mf_rel"
    fi
    if [ ! -d "$prefix/$mf_rel" ]; then
      note "folder $mf_rel"
      mkdir "$prefix/$mf_rel" || write_failed "$prefix/$mf_rel"
    fi
  done
}
# Writes standard input as a new file next to DEST (prefix-relative), then renames it over
# DEST: an existing name is never opened for writing.
put_file() {
  pf_temp=$prefix/$(dirname "$1")/.$(basename "$1").zaro-new
  rm -f "$pf_temp"
  (set -C; cat > "$pf_temp") || write_failed "$prefix/$1"
  mv -f "$pf_temp" "$prefix/$1" || write_failed "$prefix/$1"
}

umask 022
if [ "$prefix_missing" -gt 0 ]; then
  mkdir -p "$prefix" || { echo "$prefix: cannot be made; nothing was installed" >&2; exit 8; }
fi
staging_made=1
mkdir "$staging" || { echo "$staging: cannot be made; nothing was installed" >&2; exit 8; }
journal_folder=$staging_rel
journal=$staging/$record_dir/journal
mkdir "$staging/$record_dir" || write_failed "$staging"
(set -C; printf '%s\napplication=%s\nprefix-folders=%s\n' "$journal_magic" "$application_id" "$prefix_missing" \
  > "$journal") || write_failed "$journal"
printf '%s\n' "$kept_folders" | while IFS= read -r d; do if [ -n "$d" ]; then note "folder $d"; fi; done
grep -v -e '^mimetype$' -e '/$' "$work/entries" > "$staging/$record_dir/entries" || true
rm -f "$work/stage/mimetype"
cp -R -p "$work/stage/." "$staging/" || write_failed "$staging"
(set -C; cat > "$staging/$record_dir/uninstall.sh") <<'UNINSTALL' || write_failed "$staging/$record_dir/uninstall.sh"
@UNINSTALLER@
UNINSTALL
chmod 755 "$staging/$record_dir/uninstall.sh"
[ -n "$parent_rel" ] && make_folders "$parent_rel"
if [ -d "$target" ]; then rmdir "$target" || write_failed "$target"; fi
note "folder $install_folder"
[ ! -e "$target" ] && [ ! -L "$target" ] || write_failed "$target"
mv "$staging" "$target" || write_failed "$target"
journal_folder=$install_folder
journal=$target/$record_dir/journal

# ---- Register the file types with the desktop under the prefix -------------------------
: > "$work/files"
while IFS= read -r entry; do
  printf -- '- %s\n' "$install_folder/$entry" >> "$work/files"
done < "$target/$record_dir/entries"
launcher=$(cd "$target" && pwd)/$data_dir/open
while IFS= read -r f; do
  make_folders "$(dirname "$f")"
  if [ -e "$prefix/$f" ] || [ -L "$prefix/$f" ]; then
    echo "leaving $prefix/$f as it is" >&2
    continue
  fi
  note "file $f"
  case "$f" in
    share/applications/*)
      # Exec= names the launcher, quoted as the desktop entry format has it.
      exec_path=$(printf '%s' "$launcher" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')
      { cat "$target/$data_dir/$f" && printf 'Exec="%s" %%f\n' "$exec_path"; } | put_file "$f" || write_failed "$prefix/$f" ;;
    *) put_file "$f" < "$target/$data_dir/$f" ;;
  esac
  printf '%s %s\n' "$(sha256_of "$prefix/$f")" "$f" >> "$work/files"
done < "$work/registration"
if [ -f "$launcher" ]; then chmod 755 "$launcher"; fi
# A database update runs to its end (a stop signal is acted upon after it), so that it
# leaves no half-written file of its own.
if grep -q '^share/mime/packages/' "$work/registration" && command -v update-mime-database >/dev/null 2>&1; then
  (trap '' HUP INT TERM; exec update-mime-database "$prefix/share/mime") >/dev/null 2>&1 ||
    echo "update-mime-database failed" >&2
fi
if grep -q '^share/applications/' "$work/registration" && command -v update-desktop-database >/dev/null 2>&1; then
  (trap '' HUP INT TERM; exec update-desktop-database "$prefix/share/applications") >/dev/null 2>&1 || true
fi

# ---- The record, written last; then the journal goes --------------------------------------
# From here on the installation completes: a stop signal no longer takes it back.
trap '' HUP INT TERM
printf -- '- %s\n' "$install_folder/$record_dir/uninstall.sh" >> "$work/files"
sed -n 's/^folder //p' "$journal" > "$work/created-folders"
r=$target/$record_dir
put_file "$install_folder/$record_dir/files" < "$work/files"
put_file "$install_folder/$record_dir/created-folders" < "$work/created-folders"
{
  echo "$record_magic"
  echo "application=$application_id"
  echo "files=$(sha256_of "$r/files")"
  echo "folders=$(sha256_of "$r/created-folders")"
  echo "prefix-folders=$prefix_missing"
} | put_file "$install_folder/$record_dir/record" || write_failed "$target/$record_dir/record"
journal_folder=""
rm -f "$journal" "$r/entries"
echo "installed into $target"
exit 0
)SH";

constexpr const char* kUninstallBody = R"SH(
here=$(cd "$(dirname "$0")/.." && pwd)
data=$here/$data_dir/install
if [ ! -f "$data" ]; then
  echo "$here does not hold a recognised installation" >&2
  exit 1
fi
install_folder=$(sed -n 's/^folder=//p' "$data")
application_id=$(sed -n 's/^application=//p' "$data")
prefix=${here%/"$install_folder"}
target=$here
if [ "$prefix" = "$here" ] || ! is_inside_path "$install_folder" || [ -z "$application_id" ]; then
  echo "$here does not hold a recognised installation" >&2
  exit 1
fi
if is_own_record; then
  remove_installation
elif has_own_journal "$install_folder"; then
  undo_journal "$install_folder"
else
  echo "$here does not hold a recognised installation of $application_id" >&2
  exit 1
fi
exit 0
)SH";

}  // namespace

std::string InstallerScript(std::size_t payloadOffset) {
  std::string offsetLine = std::string(kPayloadOffsetMarker) + std::to_string(payloadOffset) + " #";
  offsetLine.resize(std::string(kPayloadOffsetMarker).size() + kOffsetField, ' ');
  const std::string uninstaller =
      "#!/bin/sh\n# Removes what the installation wrote, then the folders it made once they are empty.\nset -u\n" +
      std::string(kFunctions) + kUninstallBody;
  std::string body = kInstallBody;
  const std::string marker = "@UNINSTALLER@\n";
  body.replace(body.find(marker), marker.size(), uninstaller);
  return "#!/bin/sh\n# Self-extracting installer. Usage: sh INSTALLER PREFIX\nset -eu\n" + offsetLine + "\n" +
         kFunctions + body;
}

}  // namespace zpk
