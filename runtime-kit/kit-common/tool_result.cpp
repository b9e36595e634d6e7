#include "tool_result.h"

namespace zpk {

std::string UsageText() {
  return "usage:\n"
         "  ZPK -package -storetype PKCS12 -keystore FILE -storepass PASSWORD -tsa URL|none"
         " [-target native] OUTPUT DESCRIPTOR [-C DIR] FILE... [-C DIR FILE...]...\n"
         "  ZPK -prepare OUTPUT DESCRIPTOR [-C DIR] FILE... [-C DIR FILE...]...\n"
         "  ZPK -sign -storetype PKCS12 -keystore FILE -storepass PASSWORD -tsa URL|none"
         " INTERMEDIATE OUTPUT\n"
         "  ZPK -certificate -cn NAME [-ou UNIT] [-o ORGANIZATION] [-c COUNTRY]"
         " 1024-RSA|2048-RSA FILE PASSWORD\n"
         "  ZPK -verify [-tsacafile FILE] PACKAGE\n";
}

Outcome UsageError(const std::string& message) {
  std::string text = message;
  if (!text.empty()) text += "\n";
  return Fail(kExitUsage, text + UsageText());
}

Outcome NoSuchFile(const std::string& name) {
  return Fail(kExitUsage, "no such file " + name + "\r\n" + UsageText());
}

Outcome DescriptorError(const std::string& path, int error, const std::string& detail) {
  return Fail(kExitDescriptor, path + ": error " + std::to_string(error) + ": " + detail + "\n");
}

}  // namespace zpk
