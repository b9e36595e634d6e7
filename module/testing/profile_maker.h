#pragma once
// Test provisioning profiles and signing identities, made on the spot with OpenSSL.
//
// A provisioning profile is a property list (XML declaration, document type, then
// <plist>...</plist>) wrapped in a DER CMS signed envelope with the property list as its
// attached content, the same container the module cuts the property list out of and the
// iPhone packager unwraps. Nothing here reads a profile or keystore from elsewhere.
//
// Library `zaro_test_profiles` (OpenSSL only), usable by module, kit and end-to-end tests.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace zaro::testing {

// A private key with its self-signed certificate.
struct TestIdentity {
  std::string keyPem;
  std::string certificatePem;
  std::string certificateDer;
};

// A fresh 2048-bit RSA key and a self-signed certificate with the common name, valid from
// one day ago for `validDays` days (a negative count gives one that has already expired).
// Empty fields when OpenSSL failed.
TestIdentity MakeTestIdentity(const std::string& commonName, int validDays = 365);

// Writes the identity as a PKCS#12 keystore protected by `password`; false on failure.
bool WriteKeystore(const std::filesystem::path& path, const TestIdentity& identity, const std::string& password);

// What a profile states. Dates are seconds since the epoch, written as UTC plist dates.
struct ProfileContent {
  std::string name = "Test Profile";
  std::string teamPrefix = "ABCDE12345";
  // The entitlement `application-identifier`: team prefix, ".", bundle id or wildcard.
  std::string applicationIdentifier = "ABCDE12345.com.example.app";
  // DER certificates listed under DeveloperCertificates.
  std::vector<std::string> developerCertificates;
  // Device identifiers; none leaves the ProvisionedDevices key out (a store profile).
  std::vector<std::string> provisionedDevices;
  bool getTaskAllow = false;
  std::time_t creationDate = std::time(nullptr) - 86400;
  std::time_t expirationDate = std::time(nullptr) + 365L * 86400;
  // False writes every element directly after the previous one, with no white space
  // between them anywhere inside <plist>.
  bool indented = true;
};

// The property list text: XML declaration, document type and the <plist> element.
std::string ProfilePropertyList(const ProfileContent& content);

// Writes the property list, as the attached content of a DER CMS SignedData signed by a
// process-wide issuing identity, to `path`; false on failure.
bool WriteProfile(const std::filesystem::path& path, const ProfileContent& content);

}  // namespace zaro::testing
