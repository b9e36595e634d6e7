#include "document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tessel {
namespace fs = std::filesystem;

namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

bool ValueFitsType(std::string_view type, const Json& value) {
  if (type == "string") return value.is_string();
  if (type == "integer") return value.is_number_integer();
  if (type == "double") return value.is_number();
  return false;
}

bool CheckStage(const Json& stage, std::string* error) {
  if (!stage.is_object()) return Fail(error, "\"stage\" must be an object");
  for (const char* size : {"width", "height"}) {
    if (!stage.contains(size) || !stage[size].is_number_integer() || stage[size].get<long long>() <= 0) {
      return Fail(error, std::string("\"stage\" needs a positive whole \"") + size + "\"");
    }
  }
  if (!stage.contains("frameRate") || !stage["frameRate"].is_number() || !(stage["frameRate"].get<double>() > 0)) {
    return Fail(error, "\"stage\" needs a positive \"frameRate\"");
  }
  if (stage.contains("items")) {
    if (!stage["items"].is_array()) return Fail(error, "\"stage\".\"items\" must be a list");
    size_t index = 0;
    for (const Json& item : stage["items"]) {
      if (!item.is_object() || !item.contains("kind") || !item["kind"].is_string()) {
        return Fail(error, "stage item " + std::to_string(index) + " needs a \"kind\" text");
      }
      ++index;
    }
  }
  return true;
}

std::string ParentFolderOf(const fs::path& target) {
  const fs::path parent = target.parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

const DataEntry* Document::FindData(std::string_view key) const {
  for (const DataEntry& entry : data) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

bool Document::SetData(std::string_view key, std::string_view type, Json value, std::string* error) {
  if (key.empty()) return Fail(error, "a document data key must not be empty");
  if (type != "string" && type != "integer" && type != "double") {
    return Fail(error, "unknown document data type \"" + std::string(type) + "\" (string, integer or double)");
  }
  if (!ValueFitsType(type, value)) {
    return Fail(error, "the value does not fit the type \"" + std::string(type) + "\"");
  }
  for (DataEntry& entry : data) {
    if (entry.key == key) {
      if (entry.type != type || entry.value != value) {
        entry.type = std::string(type);
        entry.value = std::move(value);
        changed_ = true;
      }
      return true;
    }
  }
  data.push_back({std::string(key), std::string(type), std::move(value)});
  changed_ = true;
  return true;
}

bool Document::RemoveData(std::string_view key) {
  for (auto it = data.begin(); it != data.end(); ++it) {
    if (it->key == key) {
      data.erase(it);
      changed_ = true;
      return true;
    }
  }
  return false;
}

void Document::SetDebugForQmv(bool debug) {
  if (debugForQmv != debug) {
    debugForQmv = debug;
    changed_ = true;
  }
}

Document MakeNewDocument(const fs::path& file, bool iphone, int asVersion) {
  Document document;
  document.file = file;
  document.asVersion = asVersion;
  document.playerTarget = std::string(iphone ? kTargetIphone : kTargetDesktop);
  const std::string title = file.stem().string();
  const int width = iphone ? 320 : 550;
  const int height = iphone ? 480 : 400;
  document.stage = Json{
      {"width", width},
      {"height", height},
      {"frameRate", 24},
      {"background", "#FFFFFF"},
      {"items", Json::array({
                    Json{{"kind", "rectangle"}, {"name", "backdrop"}, {"x", 0}, {"y", 0},
                         {"width", width}, {"height", height}, {"fill", "#E8F0FF"}},
                    Json{{"kind", "text"}, {"name", "greeting"}, {"x", 20}, {"y", 40},
                         {"text", "Hello from " + title}, {"size", 24}, {"color", "#202040"}},
                })},
  };
  std::string ignored;
  document.SetData(kOutputTypeKey, "string", Json(iphone ? "ipa" : "zaro"), &ignored);
  return document;
}

namespace {

// The whole file as text; nothing (with the reason) for a folder or a file that cannot be read.
std::optional<std::string> ReadDocumentFile(const fs::path& file, std::string* error) {
  std::error_code code;
  if (fs::is_directory(file, code)) {
    Fail(error, "it is a folder");
    return std::nullopt;
  }
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Fail(error, errno != 0 ? std::strerror(errno) : "it cannot be opened");
    return std::nullopt;
  }
  std::stringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    Fail(error, "it cannot be read");
    return std::nullopt;
  }
  return content.str();
}

// The JSON object of a document of this format; nothing (with the reason) for anything else.
std::optional<Json> ParseDocumentRoot(const std::string& text, std::string* error) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::exception& e) {
    Fail(error, std::string("it is not valid JSON: ") + e.what());
    return std::nullopt;
  }
  if (!root.is_object()) {
    Fail(error, "it does not hold a JSON object");
    return std::nullopt;
  }
  if (!root.contains("format") || root["format"] != kDocumentFormat) {
    Fail(error, "it is not a document (\"format\" is not \"tessel-document\")");
    return std::nullopt;
  }
  return root;
}

// The script version, the player target and the movie's debug flag.
bool ReadHeader(const Json& root, Document& document, std::string* error) {
  if (!root.contains("asVersion") || !root["asVersion"].is_number_integer() || root["asVersion"].get<int>() < 1 ||
      root["asVersion"].get<int>() > 3) {
    return Fail(error, "\"asVersion\" must be 1, 2 or 3");
  }
  document.asVersion = root["asVersion"].get<int>();
  if (!root.contains("playerTarget") || !root["playerTarget"].is_string() ||
      (root["playerTarget"] != kTargetDesktop && root["playerTarget"] != kTargetIphone)) {
    return Fail(error, "\"playerTarget\" must be \"Desktop\" or \"iPhone OS\"");
  }
  document.playerTarget = root["playerTarget"].get<std::string>();
  if (root.contains("debugForQmv")) {
    if (!root["debugForQmv"].is_boolean()) return Fail(error, "\"debugForQmv\" must be true or false");
    document.debugForQmv = root["debugForQmv"].get<bool>();
  }
  return true;
}

// The stored document data: each entry a non-empty key, once, with a fitting typed value.
bool ReadData(const Json& root, Document& document, std::string* error) {
  if (!root.contains("data")) return true;
  if (!root["data"].is_array()) return Fail(error, "\"data\" must be a list");
  size_t index = 0;
  for (const Json& item : root["data"]) {
    const std::string where = "data entry " + std::to_string(index);
    if (!item.is_object() || !item.contains("key") || !item["key"].is_string() || item["key"].get<std::string>().empty()) {
      return Fail(error, where + " needs a non-empty \"key\" text");
    }
    const std::string key = item["key"].get<std::string>();
    if (!item.contains("type") || !item["type"].is_string() || !item.contains("value") ||
        !ValueFitsType(item["type"].get<std::string>(), item["value"])) {
      return Fail(error, where + " (\"" + key + "\") needs a \"type\" of string, integer or double and a fitting \"value\"");
    }
    if (document.FindData(key) != nullptr) return Fail(error, where + " repeats the key \"" + key + "\"");
    document.data.push_back({key, item["type"].get<std::string>(), item["value"]});
    ++index;
  }
  return true;
}

// The stage, and every member this host does not know, kept as it was.
bool ReadStageAndExtras(const Json& root, Document& document, std::string* error) {
  if (!root.contains("stage")) return Fail(error, "it has no \"stage\"");
  if (!CheckStage(root["stage"], error)) return false;
  document.stage = root["stage"];
  for (const auto& [name, value] : root.items()) {
    if (name != "format" && name != "formatVersion" && name != "asVersion" && name != "playerTarget" &&
        name != "debugForQmv" && name != "data" && name != "stage") {
      document.extra[name] = value;
    }
  }
  return true;
}

}  // namespace

std::optional<Document> LoadDocument(const fs::path& file, std::string* error) {
  const std::optional<std::string> text = ReadDocumentFile(file, error);
  if (!text) return std::nullopt;
  const std::optional<Json> root = ParseDocumentRoot(*text, error);
  if (!root) return std::nullopt;
  Document document;
  document.file = file;
  if (!ReadHeader(*root, document, error) || !ReadData(*root, document, error) ||
      !ReadStageAndExtras(*root, document, error)) {
    return std::nullopt;
  }
  return document;
}

Json DocumentToJson(const Document& document) {
  Json root = {
      {"format", kDocumentFormat},
      {"formatVersion", 1},
      {"asVersion", document.asVersion},
      {"playerTarget", document.playerTarget},
      {"debugForQmv", document.debugForQmv},
  };
  Json data = Json::array();
  for (const DataEntry& entry : document.data) {
    data.push_back({{"key", entry.key}, {"type", entry.type}, {"value", entry.value}});
  }
  root["data"] = std::move(data);
  root["stage"] = document.stage;
  for (const auto& [name, value] : document.extra.items()) root[name] = value;
  return root;
}

bool SaveDocument(const Document& document, std::string* error) {
  std::string text;
  try {
    text = DocumentToJson(document).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  } catch (const Json::exception& e) {
    return Fail(error, e.what());
  }
  return WriteFileAtomically(document.file, text, error);
}

std::string CompileMovie(const Document& document) {
  const Json compiled = {
      {"asVersion", document.asVersion},
      {"playerTarget", document.playerTarget},
      {"debug", document.debugForQmv},
      {"stage", document.stage},
  };
  std::string bytes = "QMV";
  bytes += static_cast<char>(kMovieFormatVersion);
  bytes += compiled.dump(-1, ' ', false, Json::error_handler_t::replace);
  return bytes;
}

fs::path MoviePathFor(const fs::path& documentFile) {
  fs::path movie = documentFile;
  movie.replace_extension(".qmv");
  return movie;
}

std::string FileUrl(const fs::path& absolutePath) {
  std::string url = "file:///";
  for (char c : absolutePath.string()) {
    if (c == ' ') {
      url += "%20";
    } else {
      url += c;
    }
  }
  return url;
}

std::optional<fs::path> PathFromFileUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file:///";
  if (url.size() <= kScheme.size() || url.substr(0, kScheme.size()) != kScheme) return std::nullopt;
  std::string path;
  const std::string_view rest = url.substr(kScheme.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest.substr(i, 3) == "%20") {
      path += ' ';
      i += 2;
    } else {
      path += rest[i];
    }
  }
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  if (path.front() != '/') path.insert(path.begin(), '/');
  return fs::path(path);
}

std::string WindowsForm(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

bool WriteFileAtomically(const fs::path& target, std::string_view content, std::string* error) {
  const std::string folder = ParentFolderOf(target);
  std::string pattern = folder + "/." + target.filename().string() + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return Fail(error, "cannot create a temporary file in " + folder + ": " + std::strerror(errno));
  auto abandon = [&](const std::string& what) {
    const std::string reason = what + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(pattern.c_str());
    return Fail(error, reason);
  };
  size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write " + pattern);
    }
    written += static_cast<size_t>(n);
  }
  // The new file gets the old one's permissions, or the usual ones for a new file.
  struct stat existing {};
  mode_t mode = 0;
  if (::stat(target.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) return abandon("cannot set the permissions of " + pattern);
  if (::fsync(fd) != 0) return abandon("cannot flush " + pattern);
  if (::close(fd) != 0) {
    const std::string reason = std::string("cannot close ") + pattern + ": " + std::strerror(errno);
    ::unlink(pattern.c_str());
    return Fail(error, reason);
  }
  if (::rename(pattern.c_str(), target.c_str()) != 0) {
    const std::string reason = "cannot replace " + target.string() + ": " + std::strerror(errno);
    ::unlink(pattern.c_str());
    return Fail(error, reason);
  }
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace tessel
