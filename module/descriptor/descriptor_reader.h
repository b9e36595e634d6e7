#pragma once
// Parsing descriptors, checking their namespace and keeping the movie's descriptor loaded.
#include <string>
#include <string_view>

#include "descriptor/descriptor_document.h"

namespace zaro {

// ParseDescriptor results.
inline constexpr int kParseError = -1;
inline constexpr int kParsed = 0;
inline constexpr int kNoApplicationElement = 1;
inline constexpr int kApplicationNotElement = 2;
inline constexpr int kNoNamespaceValue = 3;
inline constexpr int kPreReleaseNamespace = 5;

// The longest sample namespace accepted, in bytes (it must fit a 128-byte buffer).
inline constexpr std::size_t kMaxSampleNamespaceBytes = 127;

// Creates the instance's parser: automatic validation, ignorable white space kept, no
// namespace or schema processing, no external entity or DTD loading. 0 ready; 1 the XML
// library failed to initialise; 2 the parser could not be created. An existing parser is
// released first.
int InitDescriptorParser(DescriptorDocument& document);

// Parses the file at `path` (any separator form). -1 parse error (library message on
// standard output); 0 parsed; 1 no `application` element; 2 the first `application` node
// is not an element; 3 no `xmlns` value; 5 pre-release namespace ("1.0.M5", "1.0.M6").
// On 0 `loaded`, `sourcePath` and `legacyNamespace` ("1.0" or "1.1") are set; any other
// result clears `loaded`, since the document in memory no longer is the one `sourcePath`
// names.
int ParseDescriptor(DescriptorDocument& document, std::u16string_view path);

// Deletes parser and document and clears both flags and the path. Returns 0.
int ReleaseDescriptor(DescriptorDocument& document);

// qmv.folder.path + tessel.qmv.basename + "-app.xml", every "/" turned into "\".
std::u16string MovieDescriptorPath();

// Makes sure the movie's descriptor exists (the template when it is missing or belongs to
// a pre-release runtime) and is parsed in MovieDescriptor(). With force false a file that
// is already parsed is not parsed again. 0 when parsed, else the last parse code after
// message 8031 was shown.
int LoadDescriptor(bool force);

// Sets content, name and filename of the movie's descriptor to the movie's base name,
// saves the file and releases MovieDescriptor(). True when the descriptor was updated and
// saved; false after message 8031 (unparsable) or when the save failed.
bool RefreshDescriptorForMovie();

// The `xmlns` of the kit's sample descriptor, tessel.launch.path +
// "/ZSK2.0/samples/descriptor-sample.xml": 0 and the namespace (UTF-8, at most 127 bytes),
// or -1 when it cannot be read, does not parse, is pre-release or is longer.
int ReadSampleNamespace(std::string& descriptorNamespace);

// Parses the descriptor at `path`; a file of runtime 1.0 or 1.1 gets the sample's
// namespace and is saved (nothing else in it changes). True when the file parsed; false
// after message 8031.
bool UpgradeDescriptorNamespace(std::u16string_view path);

// The instance UpgradeDescriptorNamespace works on (released after every call).
DescriptorDocument& UpgradeDescriptor();

}  // namespace zaro
