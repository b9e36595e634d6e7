#pragma once
// The host's document: a JSON file (.tsd) with the script version, the player target, the
// movie's debug flag, the document data the module stores, and the stage that is compiled
// into the movie beside the document.
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

using Json = nlohmann::ordered_json;

inline constexpr std::string_view kDocumentFormat = "tessel-document";
inline constexpr std::string_view kTargetDesktop = "Desktop";
inline constexpr std::string_view kTargetIphone = "iPhone OS";
inline constexpr std::string_view kOutputTypeKey = "com.corvane.tessel.brisel.output.type";
// A movie file starts with "QMV" and this format byte.
inline constexpr unsigned char kMovieFormatVersion = 1;

struct DataEntry {
  std::string key;
  std::string type;  // "string", "integer" or "double"
  Json value;        // a JSON string, integer or number matching the type
};

class Document {
 public:
  std::filesystem::path file;  // absolute
  int asVersion = 3;
  std::string playerTarget{kTargetDesktop};
  bool debugForQmv = false;
  std::vector<DataEntry> data;  // in the order the keys were first stored
  Json stage;
  Json extra = Json::object();  // members this host does not know, kept as they were

  const DataEntry* FindData(std::string_view key) const;
  // Stores a value (replacing one under the same key); false with a reason for a type
  // this host does not keep or a value that does not fit it.
  bool SetData(std::string_view key, std::string_view type, Json value, std::string* error);
  bool RemoveData(std::string_view key);
  void SetDebugForQmv(bool debug);

  // Set whenever stored data or the debug flag changed since loading.
  bool Changed() const { return changed_; }
  void MarkSaved() { changed_ = false; }

 private:
  bool changed_ = false;
};

// A new document with a small stage ("desktop" or "iphone" target).
Document MakeNewDocument(const std::filesystem::path& file, bool iphone, int asVersion);

// Reads and checks a document; on failure `error` names the problem (the caller names the file).
std::optional<Document> LoadDocument(const std::filesystem::path& file, std::string* error);
Json DocumentToJson(const Document& document);
bool SaveDocument(const Document& document, std::string* error);

// "QMV", the format byte, then the compiled stage.
std::string CompileMovie(const Document& document);
std::filesystem::path MoviePathFor(const std::filesystem::path& documentFile);

// "file:///" + the POSIX path with spaces as %20 (so four slashes before an absolute path).
std::string FileUrl(const std::filesystem::path& absolutePath);
// The POSIX path of such a URL; nothing when it is not a file URL of an absolute path.
std::optional<std::filesystem::path> PathFromFileUrl(std::string_view url);
// The Windows form of a POSIX path: every "/" as "\".
std::string WindowsForm(const std::filesystem::path& path);

// Writes a temporary file beside the target, flushes it to disk and renames it over the
// target; on failure the target is left as it was.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content, std::string* error);

}  // namespace tessel
