#pragma once
// Choosing what "Publish" builds from the stored settings.

namespace zaro {

// Picks the package kind from the settings and packages, or opens the sheet at its signing
// page when credentials are missing. Always true.
bool PublishFromSettings();

}  // namespace zaro
