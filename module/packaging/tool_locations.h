#pragma once
// Where the Java runtime and the kit's tools are. All results use "/" separators as built
// here; the launch folder and kit name come from the settings store.
#include <string>

namespace zaro {

// Common application data folder with "\" as "/", a trailing "/", then "Corvane/KV5/jre";
// empty when that folder cannot be resolved.
std::u16string GetJavaRuntimeFolder();
// `tessel.launch.path` followed directly by `quessa.zsk.path` ("C:/Host/" + "ZSK2.0").
std::u16string GetRuntimeKitFolder();
// The runtime kit folder followed by "/lib/ZPK.jar".
std::u16string GetPackagingToolPath();
// `tessel.launch.path` followed by "MPK/lib/mpk.jar" (under the host folder, not the kit).
std::u16string GetIphonePackagerPath();

// False, after message 8100 with the exclamation icon, when there is no Java runtime folder.
bool CheckJavaRuntime();

}  // namespace zaro
